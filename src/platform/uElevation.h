#pragma once
// Administrator rights for one step: a second process of the program started through the
// shell's "runas" verb (the consent prompt, when this process is not elevated) and waited
// for while this thread's windows keep being served.
#ifdef _WIN32
#include <windows.h>

#include <string>

// The process runs with administrator rights in effect (an elevated token).
bool IsProcessElevated();

struct TElevatedRun {
    bool Started = false; // false: refused (the prompt was answered No) or not startable
    DWORD Error = 0;      // why it did not start (ERROR_CANCELLED for a refusal)
    DWORD ExitCode = 0;   // the step's exit code, when it started
};

// Starts program (a full path) with parameters elevated, its current folder the system
// directory, owner the prompt's owner; waits for its end, dispatching this thread's
// messages meanwhile (a quit message is kept for after the wait).
TElevatedRun RunElevatedAndWait(const std::wstring& program, const std::wstring& parameters, HWND owner);
#endif
