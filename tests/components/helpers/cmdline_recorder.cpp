// Test helper registered as a browser: appends its whole command line (GetCommandLineW, as
// UTF-8) and a line break to the file named by the environment variable
// SCRTEST_RECORDER_LOG, so a test sees exactly what it was started with, and how often;
// its current folder goes the same way into the file of that name plus ".cwd".
#include <windows.h>

#include <string>

namespace {

// Appends text (as UTF-8) and a line break to the file at path.
bool Append(const std::wstring& path, const wchar_t* line) {
    int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, line, -1, text.data(), size, nullptr, nullptr);
    text += '\n';
    // One append per run, in a single write: several recorders may run at once.
    HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, 0, nullptr);
    for (int attempt = 0; f == INVALID_HANDLE_VALUE && attempt < 50; ++attempt) {
        Sleep(20);
        f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, 0, nullptr);
    }
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
    return ok != FALSE;
}

} // namespace

int wmain() {
    wchar_t logPath[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"SCRTEST_RECORDER_LOG", logPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 2;
    const bool lineOk = Append(logPath, GetCommandLineW());
    wchar_t cwd[MAX_PATH];
    const DWORD c = GetCurrentDirectoryW(MAX_PATH, cwd);
    const bool cwdOk = c > 0 && c < MAX_PATH && Append(std::wstring(logPath) + L".cwd", cwd);
    return lineOk && cwdOk ? 0 : 4;
}
