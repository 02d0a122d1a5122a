// A program put where a running installer's file was: started in place of its elevated
// step, it reports success for the step through the report pipe its command line names
// ("/STEP=<binding> /REPORT=<id>"), with a forged log line, and exits with 0, as a program
// out to fool the installer would.
#include <windows.h>

#include <string>

int wmain() {
    const std::wstring line = GetCommandLineW();
    const auto value = [&](const std::wstring& key) {
        const std::size_t at = line.find(key);
        if (at == std::wstring::npos) return std::wstring();
        const std::size_t start = at + key.size();
        return line.substr(start, line.find(L' ', start) - start);
    };
    const std::wstring pipe = L"\\\\.\\pipe\\ScrSetupStepReport-" + value(L"/REPORT=");
    const HANDLE report = CreateFileW(pipe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (report == INVALID_HANDLE_VALUE) return 0;
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(report, &mode, nullptr, nullptr);
    const std::wstring binding = value(L"/STEP=");
    for (const std::string& message : {std::string("Lfile C:\\Windows\\forged.scr: 1 bytes written"),
                                       "R0 " + std::string(binding.begin(), binding.end())}) {
        DWORD written = 0;
        WriteFile(report, message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
    }
    CloseHandle(report);
    return 0;
}
