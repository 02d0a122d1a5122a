#include "RunTool.h"

#include "common/TestFiles.h"

#include <stdexcept>

#ifdef _WIN32
#include "platform/uWinHandles.h" // UniqueHandle

#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32

std::wstring Utf8ToWide(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

// Quoting that CommandLineToArgvW (and the C runtime) undo exactly.
void AppendQuoted(std::wstring& cmd, const std::wstring& arg) {
    cmd += L'"';
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        cmd.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        cmd += c;
    }
    cmd.append(backslashes * 2, L'\\');
    cmd += L'"';
}

std::filesystem::path ToolPath() {
    std::wstring buf(32768, L'\0');
    buf.resize(GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size())));
    return std::filesystem::path(buf).parent_path() / L"scrpack.exe";
}

UniqueHandle Inheritable(const std::filesystem::path& p, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return UniqueHandle(CreateFileW(p.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

#endif

} // namespace

TRunResult RunScrpack(const std::vector<std::string>& args) {
    TempDir io;
    const auto outPath = io / "stdout.bin", errPath = io / "stderr.txt";
    TRunResult r;
#ifdef _WIN32
    const auto tool = ToolPath();
    std::wstring cmd;
    AppendQuoted(cmd, tool.native());
    for (const auto& a : args) {
        cmd += L' ';
        AppendQuoted(cmd, Utf8ToWide(a));
    }
    {
        UniqueHandle in = Inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
        UniqueHandle out = Inheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
        UniqueHandle err = Inheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);
        if (!out || !err) throw std::runtime_error("cannot create the output files");
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in.Get();
        si.hStdOutput = out.Get();
        si.hStdError = err.Get();
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(tool.c_str(), cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                            nullptr, &si, &pi))
            throw std::runtime_error("cannot start scrpack.exe (error " + std::to_string(GetLastError()) +
                                     ")");
        UniqueHandle process(pi.hProcess), thread(pi.hThread);
        WaitForSingleObject(process.Get(), INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.Get(), &code);
        r.ExitCode = static_cast<int>(code);
    }
#else
    const std::string tool = std::string(SCR_BIN_DIR) + "/scrpack";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(tool.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
    r.Out = ReadText(outPath);
    r.Err = ReadText(errPath);
    return r;
}
