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
    DWORD ExitCode = 0;   // the step's exit code, when it started and was waited for
    DWORD WaitError = 0;  // the wait for its end failed: no exit code
};

// What a caller does while the elevated process runs, on the waiting thread: it learns the
// process as soon as it is started, and may wait on one handle of its own beside it.
class IElevatedRunWatcher {
public:
    virtual ~IElevatedRunWatcher() = default;
    virtual void Started(HANDLE process) = 0;
    // The handle to wait on (null: none); Signalled is called each time it is signalled.
    virtual HANDLE Event() = 0;
    virtual void Signalled() = 0;
};

// Starts program (a full path) with parameters elevated, its current folder the system
// directory, owner the prompt's owner; waits for its end, dispatching this thread's
// messages meanwhile (a quit message is kept for after the wait). A wait that fails ends
// it with its error and no exit code.
TElevatedRun RunElevatedAndWait(const std::wstring& program, const std::wstring& parameters, HWND owner,
                                IElevatedRunWatcher* watcher = nullptr);

// This program's own file, held open from the start of the run to its end: others may read
// it but nobody can write, rename or delete it while it is held, so the program started
// again for the elevated step is the file that is running, not whatever a process of the
// user put under its name meanwhile. False when it cannot be held.
bool HoldProgramFile();
// The held file's path as the system resolves it through the handle (no "\\?\" prefix for
// a drive path); empty when the file is not held.
std::wstring HeldProgramPath();
// Whether process runs the held file itself (the same file on the same volume).
bool RunsHeldProgram(HANDLE process);
#endif
