#pragma once
// Watching which programs a process starts, for the tests that count the elevated runs.
#include "WinDriver.h"

#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>

// Counts, while it watches, the programs a process starts from a file of the given name
// (the machine-wide step is the installer started again): every one that lives long
// enough to be seen once in the system's process list, which a step always does.
class TChildWatch {
public:
    TChildWatch(DWORD parent, std::wstring fileName) : FParent(parent), FName(std::move(fileName)) {
        FThread = std::thread([this] {
            while (!FStop) {
                Poll();
                Sleep(2);
            }
        });
    }
    ~TChildWatch() { Stop(); }
    // Stops watching; how many such programs were seen.
    std::size_t Stop() {
        FStop = true;
        if (FThread.joinable()) FThread.join();
        return FSeen.size();
    }

private:
    void Poll() {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE) return;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
            if (entry.th32ParentProcessID == FParent && _wcsicmp(entry.szExeFile, FName.c_str()) == 0)
                FSeen.insert(entry.th32ProcessID);
        CloseHandle(snapshot);
    }
    DWORD FParent;
    std::wstring FName;
    std::set<DWORD> FSeen;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

// Runs a command line (started suspended, so that no early child is missed) and waits up to
// ms for its end: its exit code, or STILL_ACTIVE; children tells how many programs of the
// file childName it started meanwhile.
inline DWORD RunWatchingChildren(const std::wstring& commandLine, const std::wstring& childName,
                                 std::size_t& children, DWORD ms = 60000) {
    windriver::Process run(commandLine, nullptr, true);
    TChildWatch watch(run.Id(), childName);
    run.Resume();
    const DWORD code = run.Wait(ms);
    children = watch.Stop();
    return code;
}
