#pragma once
// The machine-wide step of an installation in its own elevated process: the user's
// process (wizard or "/S") starts the same program with the step's command line and waits;
// the step re-checks its own payload and binding, writes the files and the HKLM entry,
// and ends with the exit code of an unattended run. Its failure text comes back in a
// WM_COPYDATA message to a window of the starter: data flows only from the elevated
// process to the user's, never the other way.
#ifdef _WIN32
#include "app/uCommandLine.h"
#include "app/uInstall.h"

#include <windows.h>

#include <cstdint>
#include <string>

// Runs the step for destination (code page 932) and waits for it, serving this thread's
// windows meanwhile; owner owns the consent prompt. The outcome carries the step's own
// failure text (or a text of the exit code when none came).
TInstallOutcome RunMachineStep(const std::string& destination, HWND owner);

// The step's own process ("/STEP="): its log relayed to the starter's window, its payload
// read and checked again from this image, the starter's binding equal to this image's,
// then the installation; a failure's text goes to the starter's window. It creates no
// window and builds no form: the uninstaller it writes is read from the main window's
// stored definition directly.
TSetupExit RunStepProcess(const TSetupCommandLine& args);
#endif
