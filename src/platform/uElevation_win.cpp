#include "platform/uElevation.h"

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

TElevatedRun RunElevatedAndWait(const std::wstring& program, const std::wstring& parameters, HWND owner) {
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
    if (!sys::ShellExecuteExW(&info)) {
        run.Error = GetLastError();
        return run;
    }
    if (!info.hProcess) {
        run.Error = ERROR_INVALID_HANDLE;
        return run;
    }
    UniqueHandle process(info.hProcess);
    run.Started = true;
    bool quit = false;
    WPARAM quitCode = 0;
    for (;;) {
        const DWORD wait = MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_ALLINPUT);
        if (wait != WAIT_OBJECT_0 + 1) break; // the process ended (or the wait failed)
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
    if (!GetExitCodeProcess(info.hProcess, &run.ExitCode)) run.ExitCode = static_cast<DWORD>(-1);
    return run;
}
