// The wizard at 96 and 144 DPI and under high contrast: the window and its button row scale
// with the system DPI, a change of DPI lays it out again, every text stays readable under
// high contrast, and a screenshot of every page is written to build/win/screenshots/<dpi>/
// (and high-contrast/) for people to look at.
#include "Screenshot.h"
#include "StandInPlayer.h"
#include "TestFiles.h"
#include "WinDriver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using namespace windriver;
namespace fs = std::filesystem;

namespace {

fs::path BinFile(const std::wstring& name) {
    return fs::path(BesideTestProgram(name));
}

// Sets the system DPI that programs started from now on see.
class TDpiSetting {
public:
    explicit TDpiSetting(DWORD dpi) {
        Set(HKEY_CURRENT_USER, L"Control Panel\\Desktop", dpi);
        Set(HKEY_CURRENT_CONFIG, L"Software\\Fonts", dpi);
    }
    ~TDpiSetting() {
        Set(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 96);
        Set(HKEY_CURRENT_CONFIG, L"Software\\Fonts", 96);
    }

private:
    static void Set(HKEY root, const wchar_t* key, DWORD dpi) {
        HKEY k;
        if (RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr) != ERROR_SUCCESS)
            return;
        RegSetValueExW(k, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
        RegCloseKey(k);
    }
};

RECT ClientRectOf(HWND h, HWND relativeTo) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, relativeTo, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// From the options page: installs into folder, without making it the current screensaver,
// and waits for the finish page.
void InstallToFinish(HWND main, const fs::path& folder) {
    HWND edit = FindControl(main, L"TEdit", L"");
    Click(FindControl(main, L"TCheckBox", L"インストール先を変更する(&I)"));
    ASSERT_TRUE(WaitFor([&] { return IsEnabled(edit); }));
    SetText(edit, folder.wstring());
    Click(FindControl(main, L"TCheckBox", L"このスクリーンセーバーを現在のスクリーンセーバーに設定する(&T)"));
    Click(FindControl(main, L"TButton", L"インストール(&N)"));
    ASSERT_TRUE(WaitFor([&] { return FindControl(main, L"TButton", L"完了(&N)") != nullptr; }));
}

struct TScreens {
    int Dpi;
    bool HighContrast; // turned on in the running wizard
};
void PrintTo(const TScreens& p, std::ostream* os) {
    *os << p.Dpi << (p.HighContrast ? " high contrast" : "");
}
class ScreensTest : public ::testing::TestWithParam<TScreens> {};

// The system colours the high-contrast run changes: put back however the test ends, since
// the change reaches every program of the session.
class TSchemeKept {
public:
    TSchemeKept() {
        for (int i = 0; i < kCount; ++i) FSaved[i] = GetSysColor(kElements[i]);
    }
    ~TSchemeKept() { SetSysColors(kCount, kElements, FSaved); }
    TSchemeKept(const TSchemeKept&) = delete;
    TSchemeKept& operator=(const TSchemeKept&) = delete;

private:
    static constexpr int kCount = 8;
    static constexpr int kElements[kCount] = {COLOR_WINDOW,   COLOR_WINDOWTEXT, COLOR_BTNFACE,
                                              COLOR_BTNTEXT,  COLOR_HIGHLIGHT,  COLOR_HIGHLIGHTTEXT,
                                              COLOR_GRAYTEXT, COLOR_3DFACE};
    COLORREF FSaved[kCount];
};

// An installer of the sample screensaver built into dir by scrpack.exe with options.
fs::path BuildScreensInstaller(const TempDir& dir, const wchar_t* name, const std::wstring& options) {
    Process pack(L"\"" + BinFile(L"scrpack.exe").wstring() + L"\" build --stub \"" +
                 BinFile(L"scrsetup.exe").wstring() + L"\" --scr \"" +
                 BinFile(L"OrvaneSample.scr").wstring() + L"\" --name Screens " + options + L" -o \"" +
                 (dir.Path() / name).wstring() + L"\"");
    EXPECT_EQ(pack.Wait(60000), 0u);
    return dir.Path() / name;
}

const std::wstring kWithLicence = L"--eula \"Z:" SCR_SOURCE_DIR L"/samples/EULA.txt\" --flash-version 7";

// Every control of the window: its class and its rectangle in the window's client area.
std::vector<std::pair<std::wstring, std::vector<LONG>>> Layout(HWND main) {
    std::vector<std::pair<std::wstring, std::vector<LONG>>> layout;
    for (HWND h : Descendants(main)) {
        const RECT r = ClientRectOf(h, main);
        layout.push_back({ClassOf(h), {r.left, r.top, r.right, r.bottom}});
    }
    return layout;
}

// Sends WM_DPICHANGED as the system does when the window moves to a monitor of dpi: the
// suggested rectangle (the window's own, scaled) lives in the program's memory, since the
// message's pointer is not carried across processes.
void ChangeDpi(const Process& p, HWND main, int from, int to) {
    RECT r;
    GetWindowRect(main, &r);
    const RECT suggested{r.left, r.top, r.left + MulDiv(r.right - r.left, to, from),
                         r.top + MulDiv(r.bottom - r.top, to, from)};
    void* remote =
        VirtualAllocEx(p.Handle(), nullptr, sizeof suggested, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(remote, nullptr);
    ASSERT_TRUE(WriteProcessMemory(p.Handle(), remote, &suggested, sizeof suggested, nullptr));
    SendMessageW(main, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(remote));
    VirtualFreeEx(p.Handle(), remote, 0, MEM_RELEASE);
}

// From the welcome page to the options page, as the user goes.
void ToOptions(HWND main) {
    // Next comes on once the start-up's verdict is in.
    HWND welcomeNext = nullptr;
    ASSERT_TRUE(
        WaitFor([&] { return IsEnabled(welcomeNext = FindControl(main, L"TButton", L"次へ(&N) >")); }));
    Click(welcomeNext);
    HWND agree = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] { return (agree = FindControl(main, L"TRadioButton", L"使用許諾契約に同意する")) != nullptr; }));
    Click(agree);
    HWND next = FindControl(main, L"TButton", L"次へ(&N) >");
    ASSERT_TRUE(WaitFor([&] { return IsEnabled(next); }));
    Click(next);
    ASSERT_TRUE(WaitFor([&] { return FindControl(main, L"TButton", L"インストール(&N)") != nullptr; }));
}

void BackToWelcome(HWND main) {
    for (int i = 0; i < 2; ++i) Click(FindControl(main, L"TButton", L"< 戻る（&B）"));
    ASSERT_TRUE(WaitFor([&] {
        return FindControl(main, L"TRadioButton", L"使用許諾契約に同意する") == nullptr &&
               FindControl(main, L"TButton", L"次へ(&N) >") != nullptr;
    }));
}

} // namespace

// Moved to a monitor of another DPI: the running wizard lays every control out as a start
// at that DPI does, the page on show at once and the pages shown later, and as before when
// it comes back.
TEST(DpiChange, LaysTheWizardOutAsAStartAtThatDpi) {
    TComScope com;
    TStandInRegistration player(BesideTestProgram(L"standin_player_new.dll"));
    TempDir dir;
    const fs::path exe = BuildScreensInstaller(dir, L"setup.exe", kWithLicence);
    using TLayout = decltype(Layout(nullptr));
    TLayout welcome144, options144;
    {
        TDpiSetting setting(144);
        Process p(L"\"" + exe.wstring() + L"\"");
        HWND main = WaitTop(p.Id(), L"TfrmMain");
        ASSERT_TRUE(main);
        welcome144 = Layout(main);
        ToOptions(main);
        options144 = Layout(main);
    }
    Process p(L"\"" + exe.wstring() + L"\"");
    HWND main = WaitTop(p.Id(), L"TfrmMain");
    ASSERT_TRUE(main);
    const TLayout welcome96 = Layout(main);
    ASSERT_GT(welcome96.size(), 10u);
    ASSERT_NE(welcome96, welcome144);
    ToOptions(main);
    ChangeDpi(p, main, 96, 144);
    EXPECT_EQ(Layout(main), options144);
    BackToWelcome(main);
    EXPECT_EQ(Layout(main), welcome144);
    ChangeDpi(p, main, 144, 96);
    EXPECT_EQ(Layout(main), welcome96);
}

namespace {

// How far the lightest and the darkest pixel of the control's area on screen lie apart
// (0: one flat colour, nothing readable there; 1: black on white).
double LuminanceSpread(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    BITMAPINFOHEADER bi;
    const std::vector<std::uint8_t> pixels = ScreenPixels(r, bi);
    const std::size_t stride = (static_cast<std::size_t>(bi.biWidth) * 3 + 3) / 4 * 4;
    int lo = 255, hi = 0;
    for (LONG y = 0; y < bi.biHeight; ++y)
        for (LONG x = 0; x < bi.biWidth; ++x) {
            const std::uint8_t* p = pixels.data() + y * stride + x * 3; // blue, green, red
            const int l = (p[2] * 30 + p[1] * 59 + p[0] * 11) / 100;
            lo = std::min(lo, l);
            hi = std::max(hi, l);
        }
    return hi >= lo ? (hi - lo) / 255.0 : 0.0;
}

// Loads helpers/high_contrast.dll into the running program (its colour change reaches the
// windows as WM_SYSCOLORCHANGE) and tells them that the high-contrast setting changed, as
// Windows does when the user turns high contrast on.
void TurnOnHighContrast(const Process& p, HWND main) {
    const std::wstring dll = BinFile(L"high_contrast.dll").wstring();
    const SIZE_T bytes = (dll.size() + 1) * sizeof(wchar_t);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, L"scrtest-high-contrast-done");
    void* remote = VirtualAllocEx(p.Handle(), nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(remote, nullptr);
    ASSERT_TRUE(WriteProcessMemory(p.Handle(), remote, dll.c_str(), bytes, nullptr));
    const auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
    HANDLE thread = CreateRemoteThread(p.Handle(), nullptr, 0, load, remote, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    VirtualFreeEx(p.Handle(), remote, 0, MEM_RELEASE);
    ASSERT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0) << "high contrast was not turned on";
    CloseHandle(done);
    SendMessageW(main, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
}

// Every text the user must read on the page: the memos, labels, check boxes and radio
// buttons on show each have light and dark pixels in their area.
void ExpectReadable(HWND main, const wchar_t* page) {
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300);
    int texts = 0;
    for (HWND h : Descendants(main)) {
        const std::wstring cls = ClassOf(h);
        if (!IsWindowVisible(h) ||
            (cls != L"TMemo" && cls != L"TLabel" && cls != L"TCheckBox" && cls != L"TRadioButton"))
            continue;
        ++texts;
        // Painted in its own time by the installer's thread: looked at until it shows.
        WaitFor([&] { return LuminanceSpread(h) > 0.5; }, std::chrono::seconds(5));
        EXPECT_GT(LuminanceSpread(h), 0.5)
            << fs::path(page).string() << ": " << fs::path(cls).string() << " #" << texts;
    }
    EXPECT_GT(texts, 0) << fs::path(page).string();
}

} // namespace

// High contrast turned on while the wizard is open (the high-contrast run): it repaints in
// the system's colours, and every title, text, header and check-box label on every page can
// be read (the designed white panels would leave white system text invisible).
TEST_P(ScreensTest, EveryPageScaledAndCaptured) {
    const int dpi = GetParam().Dpi;
    const bool highContrast = GetParam().HighContrast;
    TSchemeKept scheme;
    TComScope com;
    TStandInRegistration player(BesideTestProgram(L"standin_player_new.dll"));
    TDpiSetting setting(static_cast<DWORD>(dpi));
    TempDir dir;
    const fs::path exe = BuildScreensInstaller(dir, L"setup.exe", kWithLicence);
    const fs::path shots = fs::path("Z:" SCR_BIN_DIR).parent_path() / "screenshots" /
                           (highContrast ? std::string("high-contrast") : std::to_string(dpi));
    // Each page captured, and under high contrast every text on it readable.
    const auto capture = [&](HWND window, const wchar_t* page) {
        if (highContrast) ExpectReadable(window, page);
        EXPECT_TRUE(SaveScreenshot(window, shots / (std::wstring(page) + L".bmp")));
    };

    Process p(L"\"" + exe.wstring() + L"\"");
    HWND main = WaitTop(p.Id(), L"TfrmMain");
    ASSERT_TRUE(main);
    if (highContrast) TurnOnHighContrast(p, main);

    // The client area is the designed 580 x 335 scaled by the DPI.
    RECT client;
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, MulDiv(580, dpi, 96));
    EXPECT_EQ(client.bottom, MulDiv(335, dpi, 96));

    const wchar_t* pages[] = {L"1-welcome", L"2-licence", L"3-options"};
    for (int i = 0; i < 3; ++i) {
        HWND next = FindControl(main, L"TButton", i == 2 ? L"インストール(&N)" : L"次へ(&N) >");
        ASSERT_TRUE(next);
        // The welcome page's Next comes on with the start-up's verdict.
        ASSERT_TRUE(i != 0 || WaitFor([&] { return IsEnabled(next); }));
        // The button row keeps its designed place, scaled, inside the client area.
        RECT nr = ClientRectOf(next, main);
        EXPECT_EQ(nr.left, MulDiv(382, dpi, 96));
        EXPECT_EQ(nr.right - nr.left, MulDiv(88, dpi, 96));
        EXPECT_LE(nr.bottom, client.bottom);
        capture(main, pages[i]);
        if (i == 1) {
            Click(FindControl(main, L"TRadioButton", L"使用許諾契約に同意する"));
            ASSERT_TRUE(WaitFor([&] { return IsEnabled(next); }));
        }
        if (i < 2) {
            Click(next);
            ASSERT_TRUE(WaitFor([&] {
                return FindControl(main, L"TButton", i == 1 ? L"インストール(&N)" : L"次へ(&N) >") &&
                       (i == 1 || FindControl(main, L"TRadioButton", L"使用許諾契約に同意する"));
            }));
        }
    }
    // Install into the temporary folder and capture the finish page.
    InstallToFinish(main, dir.Path());
    capture(main, L"4-finish");
    Click(FindControl(main, L"TCheckBox", L"ReadMe.txt を読む(&R)"));
    Click(FindControl(main, L"TButton", L"完了(&N)"));
    EXPECT_EQ(p.Wait(20000), 0u);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Screens");

    // The failure page: an installer that needs a newer player.
    Process f(L"\"" + BuildScreensInstaller(dir, L"failing.exe", L"--flash-version 99").wstring() + L"\"");
    HWND fmain = WaitTop(f.Id(), L"TfrmMain");
    ASSERT_TRUE(fmain);
    ASSERT_TRUE(WaitFor([&] { return FindControl(fmain, L"TButton", L"終了(&N)") != nullptr; }));
    if (highContrast) TurnOnHighContrast(f, fmain);
    capture(fmain, L"5-failure");
    Click(FindControl(fmain, L"TButton", L"終了(&N)"));
    EXPECT_EQ(f.Wait(20000), 0u);
}

INSTANTIATE_TEST_SUITE_P(Dpi, ScreensTest,
                         ::testing::Values(TScreens{96, false}, TScreens{144, false}, TScreens{96, true}));
