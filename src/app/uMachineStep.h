#pragma once
// The machine-wide step of an installation in its own elevated process: the user's
// process (wizard or "/S") starts the same program with the step's command line and waits;
// the step re-checks its own payload and binding, writes the files and the HKLM entry,
// and ends with the exit code of an unattended run. Its log lines, its failure text and
// its result come back through a pipe of the starter's that takes them only from the
// process it started, running this very program file: data flows only from the elevated
// process to the user's, never the other way.
#ifdef _WIN32
#include "app/uCommandLine.h"
#include "app/uInstall.h"

#include <windows.h>

#include <cstdint>
#include <string>

// Runs the step for destination (code page 932) from this program's held file and waits
// for it, serving this thread's windows meanwhile; owner owns the consent prompt. Success
// only when the step reports it with the binding it was given (else StepUnconfirmed); the
// outcome carries the step's own failure text (or a text of the exit code when none came).
TInstallOutcome RunMachineStep(const std::string& destination, HWND owner);

// The step's own process ("/STEP="): its log relayed to the starter's pipe (without one it
// runs unreported; with one it cannot reach it does nothing), its payload read and checked
// again from this image, the starter's binding equal to this image's, then the
// installation; its failure text and its result go to the starter's pipe. It creates no
// window and builds no form: the uninstaller it writes is read from the main window's
// stored definition directly.
TSetupExit RunStepProcess(const TSetupCommandLine& args);
#endif
