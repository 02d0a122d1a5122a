// The installer's entry point.
#include "app/uMain.h"
#include "components/uRegister.h"
#include "platform/uDllSearch.h"
#include "platform/uShellUtils.h"
#include "platform/uSysApi.h"

#include <windows.h>

#include <memory>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a DLL: only the system directory is searched, so a DLL
    // planted beside the installer (a Downloads folder) is never loaded.
    sys::HardenDllSearch();
    // No "insert a disk" boxes from the file-system probes of the start-up.
    SetErrorMode(SEM_FAILCRITICALERRORS);

    TComInit com; // for the whole run of the GUI thread
    RegisterToolkitClasses();
    RegisterSystemComponents();
    int exitCode = 0;
    try {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        sys::InitCommonControlsEx(&icc);
        auto form = std::make_unique<TfrmMain>(nullptr);
        Application.MainForm = form.get();
        Application.Run();
    } catch (...) {
        Application.HandleException(std::current_exception());
        exitCode = 1;
    }
    return exitCode;
}
