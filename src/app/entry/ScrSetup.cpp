// The installer's entry point.
#include "app/uCommandLine.h"
#include "app/uMain.h"
#include "components/uRegister.h"
#include "platform/uDllSearch.h"
#include "platform/uShellUtils.h"
#include "platform/uSysApi.h"
#include "platform/uText.h"

#include <windows.h>

#include <memory>

namespace {

// The box that lists the switches and exit codes ("/?" or a command line the wizard
// cannot use).
void ShowSwitches() {
    const std::wstring program = sys::ProgramPath();
    const std::string name = FromWide(program.substr(program.find_last_of(L"\\/") + 1));
    MessageBoxW(nullptr, ToWide(FormatMessageText(LoadResString(SSetupSwitches), name)).c_str(),
                ToWide(kDesignedCaption).c_str(), MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a DLL: only the system directory is searched, so a DLL
    // planted beside the installer (a Downloads folder) is never loaded.
    sys::HardenDllSearch();
    // No "insert a disk" boxes from the file-system probes of the start-up.
    SetErrorMode(SEM_FAILCRITICALERRORS);

    const TSetupCommandLine args = ParseSetupCommandLine(GetCommandLineW());
    // The machine-wide step never shows anything: its command line is the starter's.
    if (args.Step && (args.Help || args.Bad || !args.HasDestination))
        return static_cast<int>(TSetupExit::BadCommandLine);
    if (args.Silent && (args.Help || args.Bad)) return static_cast<int>(TSetupExit::BadCommandLine);
    if (args.Help || args.Bad) {
        ShowSwitches();
        return static_cast<int>(TSetupExit::BadCommandLine);
    }

    TComInit com; // for the whole run of the GUI thread
    RegisterToolkitClasses();
    RegisterSystemComponents();
    int exitCode = 0;
    if (args.Step) {
        try {
            auto form = std::make_unique<TfrmMain>(nullptr, true);
            exitCode = static_cast<int>(form->InstallMachineWide(args));
        } catch (...) {
            exitCode = static_cast<int>(TSetupExit::WriteFailed);
        }
        return exitCode;
    }
    if (args.Silent) {
        // Nothing is shown, not even an error that escaped.
        try {
            auto form = std::make_unique<TfrmMain>(nullptr);
            if (args.HasDestination) form->SetDestination(args.Destination);
            exitCode = static_cast<int>(form->InstallSilently());
        } catch (...) {
            exitCode = static_cast<int>(TSetupExit::WriteFailed);
        }
        return exitCode;
    }
    try {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        sys::InitCommonControlsEx(&icc);
        auto form = std::make_unique<TfrmMain>(nullptr);
        if (args.HasDestination) form->SetDestination(args.Destination);
        Application.MainForm = form.get();
        Application.Run();
    } catch (...) {
        Application.HandleException(std::current_exception());
        exitCode = 1;
    }
    return exitCode;
}
