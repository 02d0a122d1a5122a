#include "platform/uElevation.h"

#include "platform/uMachineClasses.h"
#include "platform/uShellUtils.h"
#include "platform/uSysApi.h"
#include "platform/uWinHandles.h"

bool IsProcessElevated() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    UniqueHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(raw, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

TElevatedRun RunElevatedAndWait(const std::wstring& program, const std::wstring& parameters, HWND owner,
                                IElevatedRunWatcher* watcher) {
    TElevatedRun run;
    const std::wstring directory = sys::SystemDirectory();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // The process handle to wait on; no error boxes of the shell's own (the caller says
    // what went wrong); the start is complete when the call returns.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    // Never the installer's folder (a Downloads folder) as the step's current folder.
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = SW_HIDE;
    {
        const TMachineClassesOnly machineClasses;
        if (!machineClasses.InPlace()) {
            run.Error = machineClasses.Error();
            return run;
        }
        if (!sys::ShellExecuteExW(&info)) {
            run.Error = GetLastError();
            return run;
        }
    }
    if (!info.hProcess) {
        run.Error = ERROR_INVALID_HANDLE;
        return run;
    }
    UniqueHandle process(info.hProcess);
    run.Started = true;
    if (watcher) watcher->Started(info.hProcess);
    bool quit = false;
    WPARAM quitCode = 0;
    for (;;) {
        HANDLE handles[2] = {info.hProcess, watcher ? watcher->Event() : nullptr};
        const DWORD count = handles[1] ? 2 : 1;
        const DWORD wait = MsgWaitForMultipleObjects(count, handles, FALSE, INFINITE, QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0) break; // the process ended
        if (wait == WAIT_OBJECT_0 + 1 && count == 2) {
            watcher->Signalled();
            continue;
        }
        if (wait != WAIT_OBJECT_0 + count) {
            run.WaitError = GetLastError();
            if (run.WaitError == 0) run.WaitError = ERROR_INVALID_HANDLE;
            break;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = msg.wParam;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    if (!run.WaitError && !GetExitCodeProcess(info.hProcess, &run.ExitCode)) run.WaitError = GetLastError();
    return run;
}

namespace {

UniqueHandle gHeldProgram;

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    return GetFileInformationByHandle(a, &ia) && GetFileInformationByHandle(b, &ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

} // namespace

bool HoldProgramFile() {
    if (gHeldProgram) return true;
    const std::wstring path = sys::ProgramPath();
    if (path.empty()) return false;
    // Read sharing only: neither writing, nor renaming, nor deleting while it is held.
    gHeldProgram.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(gHeldProgram);
}

std::wstring HeldProgramPath() {
    return gHeldProgram ? FinalPathOf(gHeldProgram.Get()) : std::wstring();
}

bool RunsHeldProgram(HANDLE process) {
    if (!gHeldProgram) return false;
    std::wstring image(32768, L'\0');
    DWORD size = static_cast<DWORD>(image.size());
    if (!QueryFullProcessImageNameW(process, 0, image.data(), &size)) return false;
    image.resize(size);
    const UniqueHandle file(CreateFileW(image.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file && SameFile(file.Get(), gHeldProgram.Get());
}
