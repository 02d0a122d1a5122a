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

// In the step: hands the failure text to the starter's window, when it is a window.
void SendStepReport(std::uintptr_t window, const std::string& text);
// In the step: the install log's lines go to the starter's window, which writes them into
// its own log (the step writes no file of its own).
void RelayLogTo(std::uintptr_t window);
#endif
