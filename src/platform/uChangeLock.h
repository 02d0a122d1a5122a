#pragma once
// One change to an installation at a time: the installer while it installs, and the
// uninstaller's removal from before its checks until the entry and the program are gone,
// hold the named mutex payload::kChangeLockPrefix + the screensaver's name. A second
// change waits for the first, instead of taking its names for a dead run's; a mutex a dead
// run left (abandoned) is the next one's to take, with what that run left. Header-only and
// free of the C++ runtime: the uninstaller shares it.
#include <windows.h>

#include "platform/uWinHandles.h"

class TChangeLock {
public:
    // Waits a minute at most for the mutex of that whole name.
    explicit TChangeLock(const wchar_t* mutexName) : FMutex(CreateMutexW(nullptr, FALSE, mutexName)) {
        if (!FMutex) return;
        const DWORD wait = WaitForSingleObject(FMutex.Get(), kWaitMs);
        FHeld = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~TChangeLock() {
        if (FHeld) ReleaseMutex(FMutex.Get());
    }
    TChangeLock(const TChangeLock&) = delete;
    TChangeLock& operator=(const TChangeLock&) = delete;

    // False when the lock could not be had in time: nothing may be changed then.
    bool Held() const { return FHeld; }

private:
    static constexpr DWORD kWaitMs = 60000;

    UniqueHandle FMutex;
    bool FHeld = false;
};
