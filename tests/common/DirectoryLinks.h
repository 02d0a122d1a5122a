#pragma once
// Directory links for the tests, under Wine as on Windows. Wine 8's CreateSymbolicLinkW
// reports success and makes nothing, so there a Unix symbolic link stands in for it.
#include "WinDriver.h"

#include <windows.h>

#include <filesystem>
#include <initializer_list>
#include <string>

namespace directorylinks {

namespace fs = std::filesystem;

// The Unix path of a Windows path, from Wine's own mapping of its drives; empty outside
// Wine. (Wine's paths of the test folders are ASCII.)
inline std::wstring UnixPath(const fs::path& path) {
    using TUnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<TUnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(path.c_str()) : nullptr;
    if (!name) return L"";
    const std::string narrow(name);
    HeapFree(GetProcessHeap(), 0, name);
    return std::wstring(narrow.begin(), narrow.end());
}

// Runs a Unix program under Wine (which starts one given by its Unix path) with the Unix
// names of the given Windows paths as its arguments, and waits until done() holds; false
// outside Wine or when it does not come true.
template <typename F>
inline bool RunUnixOnPaths(const wchar_t* program, std::initializer_list<std::wstring> options,
                           std::initializer_list<fs::path> paths, F done) {
    std::wstring cmd = program;
    for (const std::wstring& option : options) cmd += L" " + option;
    for (const fs::path& path : paths) {
        const std::wstring name = UnixPath(path);
        if (name.empty()) return false;
        cmd += L" \"" + name + L"\"";
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW((L"Z:" + std::wstring(program)).c_str(), cmd.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return windriver::WaitFor(done);
}

// A directory link at link that points to target; false when none can be made here. Wine 8's
// CreateSymbolicLinkW reports success and makes nothing: there a Unix symbolic link is
// made (by /bin/ln), which Wine follows as Windows follows a directory link.
inline bool MakeDirectoryLink(const fs::path& link, const fs::path& target) {
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) && fs::exists(link))
        return true;
    return RunUnixOnPaths(L"/bin/ln", {L"-s"}, {target, link}, [&] { return fs::exists(link); });
}

// Removes the directory link itself, never what it points to. Wine's RemoveDirectoryW
// would remove the folder a Unix link points to (when empty), not the link: there /bin/rm
// does it.
inline void RemoveDirectoryLink(const fs::path& link) {
    if (!RunUnixOnPaths(L"/bin/rm", {}, {link}, [&] { return !fs::exists(fs::symlink_status(link)); }))
        RemoveDirectoryW(link.c_str());
}

} // namespace directorylinks
