// The sample screensaver run for real under Wine: a preview inside a window of this
// test, the full-screen saver ended by simulated input, the settings box, and the files
// that travel with it.
#include "PeImports.h"
#include "TestFiles.h"
#include "WinDriver.h"
#include "store/uText.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace fs = std::filesystem;
using windriver::Process;

namespace {

constexpr wchar_t kSaverClass[] = L"OrvaneSampleSaver";

fs::path BinDir() {
    std::string dir = SCR_BIN_DIR;
    return fs::path(dir.starts_with("/") ? "Z:" + dir : dir);
}

fs::path SourceDir() {
    std::string dir = SCR_SOURCE_DIR;
    return fs::path(dir.starts_with("/") ? "Z:" + dir : dir);
}

std::wstring Saver(const std::wstring& args) {
    return L"\"" + (BinDir() / "OrvaneSample.scr").wstring() + L"\" " + args;
}

// A plain white top-level window of this test, to host the preview or own the settings box.
class THostWindow {
public:
    THostWindow() {
        static const ATOM cls = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            wc.lpszClassName = L"ScrTestHost";
            return RegisterClassW(&wc);
        }();
        FWnd =
            CreateWindowExW(0, MAKEINTATOM(cls), L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE,
                            50, 50, 260, 220, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~THostWindow() {
        if (IsWindow(FWnd)) DestroyWindow(FWnd);
    }
    THostWindow(const THostWindow&) = delete;
    THostWindow& operator=(const THostWindow&) = delete;
    HWND Get() const { return FWnd; }
    std::wstring Number() const { return std::to_wstring(reinterpret_cast<std::uintptr_t>(FWnd)); }

private:
    HWND FWnd;
};

DWORD ProcessOf(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    return pid;
}

// Waits (pumping this thread's messages) for the process to end; its exit code, or
// STILL_ACTIVE.
DWORD WaitEnd(const Process& p, DWORD ms = 10000) {
    windriver::WaitFor([&] { return WaitForSingleObject(p.Handle(), 0) == WAIT_OBJECT_0; },
                       std::chrono::milliseconds(ms));
    return p.Wait(0);
}

// Text drawn black on white in the system's message font, the font of message boxes.
std::vector<std::uint32_t> InMessageFont(const wchar_t* text) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 48;
    bi.bmiHeader.biHeight = -32;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    HGDIOBJ oldBitmap = SelectObject(dc, dib), oldFont = SelectObject(dc, font);
    RECT all{0, 0, 48, 32};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 4, 4, text, static_cast<int>(wcslen(text)));
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    std::vector<std::uint32_t> pixels(p, p + 48 * 32);
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(font);
    DeleteObject(dib);
    DeleteDC(dc);
    return pixels;
}

std::wstring BoxText(HWND box) {
    std::wstring text;
    for (HWND h : windriver::Descendants(box)) {
        if (windriver::ClassOf(h) == L"Static") text += windriver::TextOf(h);
    }
    return text;
}

TEST(SamplePreview, DrawsAsAChildOfTheGivenWindowAndEndsWithIt) {
    THostWindow host;
    ASSERT_TRUE(host.Get());
    Process p(Saver(L"/p " + host.Number()));
    ASSERT_TRUE(p.Started());
    HWND child = nullptr;
    ASSERT_TRUE(windriver::WaitFor([&] { return (child = GetWindow(host.Get(), GW_CHILD)) != nullptr; }));
    EXPECT_EQ(ProcessOf(child), p.Id());
    EXPECT_EQ(windriver::ClassOf(child), kSaverClass);
    EXPECT_TRUE(GetWindowLongW(child, GWL_STYLE) & WS_CHILD);
    RECT hostRc, childRc;
    GetClientRect(host.Get(), &hostRc);
    GetClientRect(child, &childRc);
    EXPECT_EQ(childRc.right, hostRc.right);
    EXPECT_EQ(childRc.bottom, hostRc.bottom);
    // Still running a while later: a preview has no input to end it.
    EXPECT_EQ(WaitEnd(p, 500), STILL_ACTIVE);

    DestroyWindow(host.Get());
    EXPECT_EQ(WaitEnd(p), 0u);
}

TEST(SamplePreview, RefusesAMissingOrDeadWindow) {
    THostWindow gone;
    std::wstring number = gone.Number();
    DestroyWindow(gone.Get());
    for (const std::wstring& args : {std::wstring(L"/p"), L"/p " + number, std::wstring(L"/p:0")}) {
        Process p(Saver(args));
        ASSERT_TRUE(p.Started());
        EXPECT_EQ(WaitEnd(p), 1u);
    }
}

// The full-screen saver of a started process, once it is up.
HWND WaitSaverWindow(const Process& p) {
    HWND w = windriver::WaitTop(p.Id(), kSaverClass);
    if (w) windriver::WaitFor([] { return false; }, std::chrono::milliseconds(300)); // let it settle
    return w;
}

TEST(SampleFullScreen, CoversTheVirtualScreenOnTopAndEndsOnAKey) {
    Process p(Saver(L"/s"));
    ASSERT_TRUE(p.Started());
    HWND w = WaitSaverWindow(p);
    ASSERT_TRUE(w);
    EXPECT_TRUE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(GetWindowLongW(w, GWL_STYLE) & WS_CAPTION);
    RECT rc;
    GetWindowRect(w, &rc);
    EXPECT_EQ(rc.left, GetSystemMetrics(SM_XVIRTUALSCREEN));
    EXPECT_EQ(rc.top, GetSystemMetrics(SM_YVIRTUALSCREEN));
    EXPECT_EQ(rc.right - rc.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(rc.bottom - rc.top, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    // Painted: glows only add light to the night sky, so no point is black, and some
    // point shows the bare sky (blue above red and green). Read once the first frame is
    // up; a busy machine may take a while to paint it.
    int black = 0, sky = 0;
    auto painted = [&] {
        HDC screen = GetDC(nullptr);
        black = sky = 0;
        for (int i = 1; i <= 3; ++i) {
            for (int j = 1; j <= 3; ++j) {
                COLORREF c = GetPixel(screen, rc.left + (rc.right - rc.left) * i / 4,
                                      rc.top + (rc.bottom - rc.top) * j / 4);
                int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
                black += c == RGB(0, 0, 0);
                sky += b >= 20 && b <= 70 && r < b && g < b;
            }
        }
        ReleaseDC(nullptr, screen);
        return black == 0 && sky > 0;
    };
    windriver::WaitFor(painted, std::chrono::seconds(30));
    EXPECT_EQ(WaitEnd(p, 0), STILL_ACTIVE);
    EXPECT_EQ(black, 0);
    EXPECT_GT(sky, 0);
    PostMessageW(w, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(WaitEnd(p), 0u);
}

TEST(SampleFullScreen, IgnoresMouseJitterButEndsOnARealMoveOrAClick) {
    POINT cursor;
    ASSERT_TRUE(GetCursorPos(&cursor));
    auto at = [&](HWND w, int dx, int dy) {
        RECT rc;
        GetWindowRect(w, &rc);
        return MAKELPARAM(cursor.x - rc.left + dx, cursor.y - rc.top + dy);
    };
    {
        Process p(Saver(L"/s"));
        ASSERT_TRUE(p.Started());
        HWND w = WaitSaverWindow(p);
        ASSERT_TRUE(w);
        PostMessageW(w, WM_MOUSEMOVE, 0, at(w, 0, 0));
        PostMessageW(w, WM_MOUSEMOVE, 0, at(w, 3, -2));
        EXPECT_EQ(WaitEnd(p, 500), STILL_ACTIVE);
        PostMessageW(w, WM_MOUSEMOVE, 0, at(w, 40, 30));
        EXPECT_EQ(WaitEnd(p), 0u);
    }
    {
        Process p(Saver(L"-S"));
        ASSERT_TRUE(p.Started());
        HWND w = WaitSaverWindow(p);
        ASSERT_TRUE(w);
        PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, at(w, 0, 0));
        EXPECT_EQ(WaitEnd(p), 0u);
    }
}

TEST(SampleSettings, ShowsAJapaneseBoxOwnedByTheGivenWindow) {
    // Message boxes draw in the message font: real Japanese glyphs, not one empty box for
    // every character.
    EXPECT_TRUE(InMessageFont(L"夜") != InMessageFont(L"空")) << "the message font has no Japanese glyphs";
    THostWindow owner;
    for (const std::wstring& args : {std::wstring(), std::wstring(L"/c"), L"/c:" + owner.Number()}) {
        Process p(Saver(args));
        ASSERT_TRUE(p.Started());
        HWND box = nullptr;
        ASSERT_TRUE(windriver::WaitFor([&] { return (box = windriver::FindMessageBox(p.Id())) != nullptr; }));
        EXPECT_NE(BoxText(box).find(L"このスクリーンセーバーには変更できる設定はありません。"),
                  std::wstring::npos);
        EXPECT_EQ(windriver::TextOf(box), L"Orvane サンプル");
        EXPECT_EQ(GetWindow(box, GW_OWNER), args.starts_with(L"/c:") ? owner.Get() : nullptr);
        windriver::AnswerMessageBox(box, IDOK);
        EXPECT_EQ(WaitEnd(p), 0u);
    }
}

TEST(SampleImage, NamesItselfForTheScreenSaverListAndImportsOnlyCoreDlls) {
    fs::path scr = BinDir() / "OrvaneSample.scr";
    HMODULE image =
        LoadLibraryExW(scr.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(image);
    wchar_t name[64] = {};
    int n = LoadStringW(image, 1, name, 64);
    FreeLibrary(image);
    EXPECT_EQ(std::wstring(name, n > 0 ? n : 0), L"Orvane サンプル");
    ASSERT_FALSE(peimports::ImportedDlls(scr).empty());
    EXPECT_EQ(peimports::ImportsOutside(scr, {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll"}),
              std::vector<std::string>{});
}

// The ReadMe and licence are kept as UTF-8 with CRLF line ends; the packer converts them
// to code page 932, so every character must have a form there.
TEST(SampleTexts, AreUtf8WithCrLfAndConvertToCodePage932) {
    for (const char* file : {"ReadMe.txt", "EULA.txt"}) {
        std::vector<std::uint8_t> bytes = ReadBytes(SourceDir() / "samples" / file);
        ASSERT_GT(bytes.size(), 200u) << file;
        std::string text(bytes.begin(), bytes.end());
        std::string sjis, bad;
        EXPECT_TRUE(Utf8ToCp932(text, sjis, &bad)) << file << ": " << bad;
        std::string back;
        ASSERT_TRUE(Cp932ToUtf8(sjis, back));
        EXPECT_EQ(back, text) << file;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << file << " at byte " << i;
            }
        }
        EXPECT_NE(text.find("Orvane"), std::string::npos);
    }
}

} // namespace
