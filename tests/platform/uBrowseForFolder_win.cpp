#include <windows.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/TestFiles.h"
#include "common/WinTestSupport.h"
#include "platform/uShellUtils.h"
#include "store/uText.h"

namespace {
// A real window that records the browse-dialog messages the callback sends to it.
struct TRecorded {
    UINT Message;
    WPARAM WParam;
    LPARAM LParam;
    std::wstring Text; // the folder of BFFM_SETSELECTIONW
};

std::vector<TRecorded> gRecorded;

LRESULT CALLBACK RecorderProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg >= WM_USER) {
        TRecorded r{msg, wp, lp, {}};
        if (msg == BFFM_SETSELECTIONW && lp) r.Text = reinterpret_cast<const wchar_t*>(lp);
        gRecorded.push_back(r);
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

class BrowseCallbackWin : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc{};
        wc.lpfnWndProc = RecorderProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ScrTestBrowseRecorder";
        RegisterClassW(&wc);
        FWindow = CreateWindowW(L"ScrTestBrowseRecorder", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                wc.hInstance, nullptr);
        ASSERT_NE(FWindow, nullptr);
        gRecorded.clear();
        GetCurrentDirectoryW(MAX_PATH, FOldDirectory);
    }
    void TearDown() override {
        SetCurrentDirectoryW(FOldDirectory); // a choice becomes the current directory
        DestroyWindow(FWindow);
    }
    // Delivers BFFM_SELCHANGED for the item at path.
    void SelChanged(const std::wstring& path, const TCallBackData& data) {
        PIDLIST_ABSOLUTE pidl = nullptr;
        ASSERT_EQ(SHParseDisplayName(path.c_str(), nullptr, &pidl, 0, nullptr), S_OK) << path.size();
        BrowseCallback(FWindow, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(pidl),
                       reinterpret_cast<LPARAM>(&data));
        CoTaskMemFree(pidl);
    }
    static bool OnlyEnableOkOff() {
        return gRecorded.size() == 1 && gRecorded[0].Message == BFFM_ENABLEOK && gRecorded[0].LParam == 0;
    }

    HWND FWindow = nullptr;
    wchar_t FOldDirectory[MAX_PATH] = {};
    TempDir FDir; // removed after TearDown has left it as current directory
};

std::wstring WindowsDirectory() {
    wchar_t buffer[MAX_PATH];
    return std::wstring(buffer, GetWindowsDirectoryW(buffer, MAX_PATH));
}
} // namespace

TEST_F(BrowseCallbackWin, FontsFolderDisablesOk) {
    TCallBackData data{11, "", InstallerExcludedFolders()};
    PIDLIST_ABSOLUTE pidl = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_FONTS, &pidl), S_OK);
    BrowseCallback(FWindow, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(pidl), reinterpret_cast<LPARAM>(&data));
    CoTaskMemFree(pidl);
    EXPECT_TRUE(OnlyEnableOkOff()) << gRecorded.size();

    // The same folder reached by its path, spelt in lower case.
    gRecorded.clear();
    std::wstring fonts = WindowsDirectory() + L"\\fonts";
    CharLowerBuffW(fonts.data(), static_cast<DWORD>(fonts.size()));
    SelChanged(fonts, data);
    EXPECT_TRUE(OnlyEnableOkOff()) << gRecorded.size();

    // Not excluded: allowed.
    gRecorded.clear();
    SelChanged(fonts, TCallBackData{11, "", TSpecialFolders{TSpecialFolder::Windows}});
    EXPECT_TRUE(gRecorded.empty());
}

TEST_F(BrowseCallbackWin, PlainFolderSendsNothingAndBecomesCurrent) {
    const auto folder = FDir.Path() / PathFromCp932("\x95\x5C\x8E\xA6 folder"); // "表示 folder"
    std::filesystem::create_directories(folder);
    TCallBackData data{11, "", InstallerExcludedFolders()};
    SelChanged(folder.wstring(), data);
    EXPECT_TRUE(gRecorded.empty());
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_TRUE(SamePath(current, folder.wstring())) << PathToCp932(current);
}

TEST_F(BrowseCallbackWin, FolderThatCannotBeMadeCurrentDisablesOk) {
    TCallBackData data{11, "", TSpecialFolders{}};
    PIDLIST_ABSOLUTE pidl = nullptr;
    const auto folder = FDir / "vanishing";
    std::filesystem::create_directories(folder);
    ASSERT_EQ(SHParseDisplayName(folder.c_str(), nullptr, &pidl, 0, nullptr), S_OK);
    std::filesystem::remove(folder); // gone now, while its item ID list still names it
    BrowseCallback(FWindow, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(pidl), reinterpret_cast<LPARAM>(&data));
    CoTaskMemFree(pidl);
    EXPECT_TRUE(OnlyEnableOkOff()) << gRecorded.size();

    // A virtual folder (no file-system path) cannot be made current either.
    gRecorded.clear();
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_PRINTERS, &pidl), S_OK);
    BrowseCallback(FWindow, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(pidl), reinterpret_cast<LPARAM>(&data));
    CoTaskMemFree(pidl);
    EXPECT_TRUE(OnlyEnableOkOff()) << gRecorded.size();
}

TEST_F(BrowseCallbackWin, InitializedSelectsTheInitialFolder) {
    const std::string initial = "C:\\\x95\x5C\x8E\xA6\\dir"; // "C:\表示\dir"
    TCallBackData data{11, initial, {}};
    EXPECT_EQ(BrowseCallback(FWindow, BFFM_INITIALIZED, 0, reinterpret_cast<LPARAM>(&data)), 0);
    ASSERT_EQ(gRecorded.size(), 1u);
    EXPECT_EQ(gRecorded[0].Message, static_cast<UINT>(BFFM_SETSELECTIONW));
    EXPECT_EQ(gRecorded[0].WParam, static_cast<WPARAM>(TRUE));
    EXPECT_EQ(gRecorded[0].Text, L"C:\\\u8868\u793A\\dir");

    gRecorded.clear();
    TCallBackData none{11, "", {}};
    BrowseCallback(FWindow, BFFM_INITIALIZED, 0, reinterpret_cast<LPARAM>(&none));
    EXPECT_TRUE(gRecorded.empty());
}

TEST_F(BrowseCallbackWin, NoDataOrNoItemDoesNothing) {
    TCallBackData data{11, "C:\\", InstallerExcludedFolders()};
    EXPECT_EQ(BrowseCallback(FWindow, BFFM_INITIALIZED, 0, 0), 0);
    EXPECT_EQ(BrowseCallback(FWindow, BFFM_SELCHANGED, 0, reinterpret_cast<LPARAM>(&data)), 0);
    EXPECT_TRUE(gRecorded.empty());
}

// ---- The dialog itself, answered by a second thread ----------------------------------------

namespace {
struct TDialogProbe {
    DWORD GuiThread = 0;
    HWND Other = nullptr; // another window of the GUI thread
    int Button = IDOK;
    std::atomic<bool> OtherWasDisabled{false};
    std::atomic<UINT> ErrorModeDuring{0};
    std::atomic<bool> Finished{false}; // the browse call has returned
    std::atomic<bool> TimedOut{false}; // the dialog did not come, or did not go, in time
};

HWND FindDialog(DWORD thread) {
    HWND found = nullptr;
    EnumThreadWindows(
        thread,
        [](HWND w, LPARAM out) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(w, cls, 16);
            if (IsWindowVisible(w) && wcscmp(cls, L"#32770") == 0) {
                *reinterpret_cast<HWND*>(out) = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Waits for the dialog, notes the state around it, then presses a button. A dialog that
// does not come or go in time is closed, as is any later one, so that the browse call
// returns and the test fails instead of hanging.
void AnswerDialog(TDialogProbe& probe) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool answered = false;
    while (!probe.Finished) {
        HWND dialog = FindDialog(probe.GuiThread);
        if (std::chrono::steady_clock::now() >= deadline) {
            probe.TimedOut = true;
            if (dialog) PostMessageW(dialog, WM_CLOSE, 0, 0);
        } else if (dialog && !answered) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300)); // let the selection settle
            probe.OtherWasDisabled = !IsWindowEnabled(probe.Other);
            probe.ErrorModeDuring = GetErrorMode();
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(probe.Button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, probe.Button)));
            answered = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

class BrowseForFolderWin : public ::testing::Test {
protected:
    void SetUp() override {
        FOther = CreateWindowW(L"STATIC", L"other", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(FOther, nullptr);
        GetCurrentDirectoryW(MAX_PATH, FOldDirectory);
    }
    void TearDown() override {
        SetCurrentDirectoryW(FOldDirectory); // the dialog made its selection current
        DestroyWindow(FOther);
        std::error_code ec;
        std::filesystem::remove_all(FTop, ec);
    }
    bool Browse(std::string& folder, int button, TDialogProbe& probe) {
        probe.GuiThread = GetCurrentThreadId();
        probe.Other = FOther;
        probe.Button = button;
        std::thread answer(AnswerDialog, std::ref(probe));
        bool chosen =
            BrowseForFolder("\x83\x65\x83\x58\x83\x67", 11, InstallerExcludedFolders(), folder); // "テスト"
        probe.Finished = true;
        answer.join();
        EXPECT_FALSE(probe.TimedOut) << "the folder browser did not appear or close in time";
        return chosen;
    }
    HWND FOther = nullptr;
    wchar_t FOldDirectory[MAX_PATH] = {};
    // Not below the temporary folder: the dialog does not open hidden folders such as AppData.
    const std::filesystem::path FTop = L"C:\\scrtest-browse";
};
} // namespace

TEST_F(BrowseForFolderWin, OkReturnsTheInitialFolderWithoutTrailingBackslash) {
    const auto folder = FTop / "chosen folder";
    std::filesystem::create_directories(folder);
    const UINT before = GetErrorMode();
    std::string result = PathToCp932(folder) + "\\";
    TDialogProbe probe;
    EXPECT_TRUE(Browse(result, IDOK, probe));
    EXPECT_TRUE(SamePath(ToWide(result), folder.wstring())) << result;
    EXPECT_NE(result.back(), '\\');
    EXPECT_TRUE(probe.OtherWasDisabled);
    EXPECT_TRUE(probe.ErrorModeDuring & SEM_FAILCRITICALERRORS);
    EXPECT_EQ(GetErrorMode(), before);
    EXPECT_TRUE(IsWindowEnabled(FOther));
}

TEST_F(BrowseForFolderWin, CancelKeepsTheFolderOrClearsAMissingOne) {
    std::filesystem::create_directories(FTop);
    std::string existing = PathToCp932(FTop);
    TDialogProbe first;
    EXPECT_FALSE(Browse(existing, IDCANCEL, first));
    EXPECT_EQ(existing, PathToCp932(FTop));

    std::string missing = PathToCp932(FTop / "missing");
    TDialogProbe second;
    EXPECT_FALSE(Browse(missing, IDCANCEL, second));
    EXPECT_EQ(missing, "");
    EXPECT_TRUE(IsWindowEnabled(FOther));
}
