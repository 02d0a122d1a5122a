// Walks an installer's wizard as a user would and saves a screenshot of every page:
//
//   wizard_tour.exe INSTALLER.exe OUTDIR [DESTINATION]
//
// Welcome, licence (agreed), options (DESTINATION typed in when given), the installation,
// finish (ReadMe and Display Properties left unchecked); or the failure page when the
// installer stops there. Screenshots: OUTDIR\1-welcome.bmp ... Exit code 0 when the
// installer ended normally.
#include "Screenshot.h"
#include "WinDriver.h"

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

using namespace windriver;
namespace fs = std::filesystem;

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "wizard_tour: %s\n", what);
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return Fail("usage: wizard_tour INSTALLER.exe OUTDIR [DESTINATION]");
    const fs::path out = argv[2];
    Process p(L"\"" + std::wstring(argv[1]) + L"\"");
    if (!p.Started()) return Fail("the installer could not be started");
    // A cold Wine prefix takes a while to show the first window.
    HWND main = WaitTop(p.Id(), L"TfrmMain", L"", std::chrono::seconds(90));
    if (!main) {
        EnumWindows(
            [](HWND h, LPARAM pid) -> BOOL {
                DWORD owner = 0;
                GetWindowThreadProcessId(h, &owner);
                RECT r{};
                GetWindowRect(h, &r);
                if (owner == static_cast<DWORD>(pid))
                    std::fprintf(
                        stderr,
                        "wizard_tour: window of the installer: class %ls, visible %d, %ld,%ld-%ld,%ld\n",
                        ClassOf(h).c_str(), IsWindowVisible(h) ? 1 : 0, r.left, r.top, r.right, r.bottom);
                return TRUE;
            },
            static_cast<LPARAM>(p.Id()));
        return Fail(p.Wait(0) == STILL_ACTIVE ? "no wizard window" : "the installer ended early");
    }

    auto button = [&](const wchar_t* caption) { return FindControl(main, L"TButton", caption); };
    auto shot = [&](const wchar_t* name) { SaveScreenshot(main, out / (std::wstring(name) + L".bmp")); };
    auto next = [&](const wchar_t* caption, const std::function<bool()>& arrived) {
        Click(button(caption));
        return WaitFor(arrived);
    };

    // The welcome page may come up before the start-up's verdict: Next comes on with it.
    WaitFor([&] { return IsEnabled(button(L"次へ(&N) >")) || button(L"終了(&N)"); });
    if (button(L"終了(&N)")) {
        shot(L"5-failure");
        Click(button(L"終了(&N)"));
        return p.Wait(20000) == 0 ? 0 : Fail("the installer did not end");
    }
    shot(L"1-welcome");
    HWND agree = nullptr;
    if (!next(L"次へ(&N) >", [&] {
            agree = FindControl(main, L"TRadioButton", L"使用許諾契約に同意する");
            return agree || button(L"インストール(&N)");
        }))
        return Fail("the welcome page did not lead on");
    if (agree) {
        Click(agree);
        WaitFor([&] { return IsEnabled(button(L"次へ(&N) >")); });
        shot(L"2-licence");
        if (!next(L"次へ(&N) >", [&] { return button(L"インストール(&N)") != nullptr; }))
            return Fail("the licence page did not lead on");
    }
    if (argc > 3) {
        HWND edit = FindControl(main, L"TEdit", L"");
        Click(FindControl(main, L"TCheckBox", L"インストール先を変更する(&I)"));
        WaitFor([&] { return IsEnabled(edit); });
        SetText(edit, argv[3]);
    }
    shot(L"3-options");
    if (!next(L"インストール(&N)", [&] { return button(L"完了(&N)") || button(L"終了(&N)"); }))
        return Fail("the installation did not finish");
    if (button(L"終了(&N)")) {
        shot(L"5-failure");
        Click(button(L"終了(&N)"));
        return p.Wait(20000) == 0 ? 0 : Fail("the installer did not end");
    }
    HWND readMe = FindControl(main, L"TCheckBox", L"ReadMe.txt を読む(&R)");
    if (readMe && IsChecked(readMe)) {
        Click(readMe); // no text editor in a headless demo
        WaitFor([&] { return !IsChecked(readMe); });
    }
    shot(L"4-finish");
    Click(button(L"完了(&N)"));
    return p.Wait(20000) == 0 ? 0 : Fail("the installer did not end");
}
