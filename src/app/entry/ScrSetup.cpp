// The installer's entry point.
#include "app/uCommandLine.h"
#include "app/uInstallLog.h"
#include "app/uMachineStep.h"
#include "app/uMain.h"
#include "components/uRegister.h"
#include "platform/uDllSearch.h"
#include "platform/uElevation.h"
#include "platform/uShellUtils.h"
#include "platform/uSysApi.h"
#include "store/uStreams.h"
#include "store/uText.h"

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

// An error that escaped (memory that ran out, a system error, anything): logged with its
// cause; the user's text for it.
std::string Unexpected(std::exception_ptr error) {
    const unsigned long code = SystemErrorOf(error);
    installlog::Line("error: system error " + std::to_string(code));
    LogOutcome(TInstallResult::Unexpected);
    return OutcomeText(TInstallResult::Unexpected, {}, code);
}

// Runs an unattended part (the step, "/S"): nothing is shown, not even an error that
// escaped, which ends it with its exit code.
template <typename F> int Unattended(F run) {
    try {
        return static_cast<int>(run());
    } catch (...) {
        Unexpected(std::current_exception());
        return static_cast<int>(TSetupExit::Unexpected);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a DLL: only the system directory is searched, so a DLL
    // planted beside the installer (a Downloads folder) is never loaded.
    sys::HardenDllSearch();
    // No "insert a disk" boxes from the file-system probes of the start-up.
    SetErrorMode(SEM_FAILCRITICALERRORS);

    TSetupCommandLine args = ParseSetupCommandLine(GetCommandLineW());
    // The machine-wide step never shows anything and keeps no log: its command line is
    // the starter's, which writes the log.
    if (args.Step && (args.Help || args.Bad || !args.HasDestination || !args.Log.empty() || args.CurrentUser))
        return static_cast<int>(TSetupExit::BadCommandLine);
    // A log that cannot be written is a bad command line, before anything is installed.
    if (!args.Log.empty() && !installlog::Open(args.Log)) args.Bad = true;
    if (args.Silent && (args.Help || args.Bad)) return static_cast<int>(TSetupExit::BadCommandLine);
    if (args.Help || args.Bad) {
        ShowSwitches();
        return static_cast<int>(TSetupExit::BadCommandLine);
    }

    // The step needs no window, no COM and no toolkit: only its payload and the files.
    if (args.Step) return Unattended([&] { return RunStepProcess(args); });
    // Held from here to the end: the step is started from this very file (a failure to
    // hold it is told when the step would start).
    HoldProgramFile();
    // No COM here: the player check and the shell's calls initialise it when they first
    // need it (a payload that needs no player opens the welcome page without it).
    RegisterToolkitClasses();
    RegisterSystemComponents();
    installlog::Line(args.Silent ? "installer: unattended (/S)" : "installer: wizard");
    const TInstallScope scope = args.CurrentUser ? TInstallScope::CurrentUser : TInstallScope::AllUsers;
    if (args.Silent) {
        return Unattended([&] {
            auto form = std::make_unique<TfrmMain>(nullptr, TRunMode::Unattended, scope);
            if (args.HasDestination) form->SetDestination(args.Destination);
            return form->InstallSilently();
        });
    }
    // An error escaping a window's handler: a box in the user's language, and the run ends
    // with the unexpected-error code (what the wizard was doing cannot be trusted to go on).
    static int handlerExit = 0;
    Application.OnException = [](std::exception_ptr error) {
        Application.ShowErrorBox(Unexpected(error));
        handlerExit = static_cast<int>(TSetupExit::Unexpected);
        Application.Terminate();
        PostQuitMessage(handlerExit);
    };
    int exitCode = 0;
    try {
        auto form = std::make_unique<TfrmMain>(nullptr, TRunMode::Wizard, scope);
        if (args.HasDestination) form->SetDestination(args.Destination);
        Application.MainForm = form.get();
        Application.Run();
    } catch (...) {
        Application.HandleException(std::current_exception());
        exitCode = static_cast<int>(TSetupExit::Unexpected);
    }
    return exitCode ? exitCode : handlerExit;
}
