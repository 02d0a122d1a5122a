// The wizard at 96 and 144 DPI and under high contrast: the window and its button row scale
// with the system DPI, a change of DPI lays it out again, every text stays readable under
// high contrast, and a screenshot of every page is written to build/win/screenshots/<dpi>/
// (and high-contrast/) for people to look at.
#include "Screenshot.h"
#include "StandInPlayer.h"
#include "TestFiles.h"
#include "WinTestSupport.h"
#include "WizardDriver.h"

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

using namespace e2e;
namespace fs = std::filesystem;

namespace {

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
    EXPECT_TRUE(PackInstaller(dir.Path() / name, L"--name Screens " + options));
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
        TWizard w(exe);
        ASSERT_TRUE(w.Main());
        ASSERT_TRUE(WaitFor([&] { return w.OnWelcome(); }));
        welcome144 = Layout(w.Main());
        w.ToOptions();
        options144 = Layout(w.Main());
    }
    TWizard w(exe);
    ASSERT_TRUE(w.Main());
    ASSERT_TRUE(WaitFor([&] { return w.OnWelcome(); }));
    const TLayout welcome96 = Layout(w.Main());
    ASSERT_GT(welcome96.size(), 10u);
    ASSERT_NE(welcome96, welcome144);
    w.ToOptions();
    ChangeDpi(w.Proc(), w.Main(), 96, 144);
    EXPECT_EQ(Layout(w.Main()), options144);
    w.ClickAndWait(w.Button(kBack), [&] { return w.OnLicence(); });
    w.ClickAndWait(w.Button(kBack), [&] { return w.OnWelcome(); });
    EXPECT_EQ(Layout(w.Main()), welcome144);
    ChangeDpi(w.Proc(), w.Main(), 144, 96);
    EXPECT_EQ(Layout(w.Main()), welcome96);
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

    ScopedRegTree entry(HKEY_LOCAL_MACHINE,
                        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Screens");
    TWizard w(exe);
    const HWND main = w.Main();
    ASSERT_TRUE(main);
    if (highContrast) TurnOnHighContrast(w.Proc(), main);

    // The client area is the designed 580 x 335 scaled by the DPI.
    RECT client;
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, MulDiv(580, dpi, 96));
    EXPECT_EQ(client.bottom, MulDiv(335, dpi, 96));
    // Each page on the way captured; its Next button keeps its designed place, scaled,
    // inside the client area.
    const auto page = [&](const std::wstring& next, const wchar_t* name) {
        const HWND button = w.Button(next);
        ASSERT_TRUE(button);
        const RECT nr = ClientRectOf(button, main);
        EXPECT_EQ(nr.left, MulDiv(382, dpi, 96));
        EXPECT_EQ(nr.right - nr.left, MulDiv(88, dpi, 96));
        EXPECT_LE(nr.bottom, client.bottom);
        capture(main, name);
    };
    ASSERT_TRUE(WaitFor([&] { return w.OnWelcome(); }));
    page(kNext, L"1-welcome");
    w.ClickAndWait(w.Button(kNext), [&] { return w.OnLicence(); });
    page(kNext, L"2-licence");
    Click(w.Radio(kAgree));
    ASSERT_TRUE(WaitFor([&] { return IsEnabled(w.Button(kNext)); }));
    w.ClickAndWait(w.Button(kNext), [&] { return w.OnOptions(); });
    page(kInstall, L"3-options");
    // Install into the temporary folder, not as the current screensaver, and capture the
    // finish page.
    w.TypeDestination(dir.Path().wstring());
    w.SetCheck(kSetCurrent, false);
    ASSERT_TRUE(w.Install());
    capture(main, L"4-finish");
    w.Finish(false);

    // The failure page: an installer that needs a newer player.
    TWizard f(BuildScreensInstaller(dir, L"failing.exe", L"--flash-version 99"));
    ASSERT_TRUE(WaitFor([&] { return f.OnFailure(); }));
    if (highContrast) TurnOnHighContrast(f.Proc(), f.Main());
    capture(f.Main(), L"5-failure");
    f.Finish();
}

INSTANTIATE_TEST_SUITE_P(Dpi, ScreensTest,
                         ::testing::Values(TScreens{96, false}, TScreens{144, false}, TScreens{96, true}));
