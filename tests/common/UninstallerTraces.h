#pragma once
// What a run of the uninstaller leaves behind on purpose: its helper copy in a folder named
// "~scrun..." (private, under the Windows directory's Temp folder, for everyone; in the
// user's %TEMP% for one user), and for everyone the deletions of that copy and folder
// scheduled for the next restart in the session manager's pending file operations. Tests
// that run the uninstaller find those traces here and remove them afterwards.
#ifdef _WIN32
#include "WinDriver.h"

#include <windows.h>

#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

namespace uninstallertraces {

namespace fs = std::filesystem;

inline const std::wstring kSessionManager = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

inline bool EndsWithNoCase(const std::wstring& s, const std::wstring& tail) {
    return s.size() >= tail.size() &&
           CompareStringOrdinal(s.c_str() + s.size() - tail.size(), static_cast<int>(tail.size()),
                                tail.c_str(), static_cast<int>(tail.size()), TRUE) == CSTR_EQUAL;
}

// The entries of the pending file operations (source, target pairs).
inline std::vector<std::wstring> PendingOperations() {
    HKEY k;
    std::vector<std::wstring> entries;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS)
        return entries;
    DWORD bytes = 0, type = 0;
    if (RegQueryValueExW(k, L"PendingFileRenameOperations", nullptr, &type, nullptr, &bytes) ==
            ERROR_SUCCESS &&
        type == REG_MULTI_SZ) {
        std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
        RegQueryValueExW(k, L"PendingFileRenameOperations", nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &bytes);
        data.resize(bytes / sizeof(wchar_t));
        // Pairs of NUL-terminated strings; the target of a deletion is empty.
        std::size_t i = 0;
        while (i < data.size()) {
            std::size_t end = data.find(L'\0', i);
            if (end == std::wstring::npos) end = data.size();
            entries.push_back(data.substr(i, end - i));
            i = end + 1;
        }
        while (entries.size() % 2) entries.pop_back(); // the list's closing empty string
    }
    RegCloseKey(k);
    return entries;
}

inline bool DeletionPending(const std::wstring& path) {
    auto ops = PendingOperations();
    for (std::size_t i = 0; i + 1 < ops.size(); i += 2) {
        if (ops[i + 1].empty() && EndsWithNoCase(ops[i], path)) return true;
    }
    return false;
}

// Drops the pending operations whose source lies in folder (a test's helper folder).
inline void ForgetPendingUnder(const std::wstring& folder) {
    auto ops = PendingOperations();
    std::wstring kept;
    for (std::size_t i = 0; i + 1 < ops.size(); i += 2) {
        std::wstring src = ops[i];
        bool ours = EndsWithNoCase(src, folder) ||
                    src.find(fs::path(folder).filename().wstring()) != std::wstring::npos;
        if (!ours) kept += src + L'\0' + ops[i + 1] + L'\0';
    }
    HKEY k;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager.c_str(), 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS)
        return;
    if (kept.empty()) {
        RegDeleteValueW(k, L"PendingFileRenameOperations");
    } else {
        kept += L'\0';
        RegSetValueExW(k, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(kept.data()),
                       static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
    }
    RegCloseKey(k);
}

// The Windows directory's Temp folder, where the uninstaller makes its private folders.
inline fs::path SystemTempFolder() {
    wchar_t windows[MAX_PATH];
    UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return fs::path(std::wstring(windows, n < MAX_PATH ? n : 0)) / L"Temp";
}

// The user's temporary folder (%TEMP%), where a removal for one user makes its helper's.
inline fs::path UserTempFolder() {
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    return fs::path(std::wstring(temp, n <= MAX_PATH ? n : 0));
}

// The uninstaller's helper folders: private ones (for everyone) and those in %TEMP% (for
// one user).
inline std::set<fs::path> HelperFolders() {
    std::set<fs::path> found;
    for (const fs::path& base : {SystemTempFolder(), UserTempFolder()}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(base, ec)) {
            if (e.is_directory() && e.path().filename().wstring().starts_with(L"~scrun"))
                found.insert(e.path().lexically_normal());
        }
    }
    return found;
}

// Notes the helper folders that exist when made; when it goes away, removes the ones
// added since (waiting for their helpers to end) and forgets their pending deletions.
class HelperCleanup {
public:
    HelperCleanup() : FBefore(HelperFolders()) {}
    ~HelperCleanup() {
        for (const auto& folder : NewFolders()) {
            windriver::WaitFor([&] {
                std::error_code ec;
                fs::remove_all(folder, ec);
                return !fs::exists(folder);
            });
            ForgetPendingUnder(folder.wstring());
        }
    }
    HelperCleanup(const HelperCleanup&) = delete;
    HelperCleanup& operator=(const HelperCleanup&) = delete;

    std::vector<fs::path> NewFolders() const {
        std::vector<fs::path> added;
        for (const auto& f : HelperFolders()) {
            if (!FBefore.contains(f)) added.push_back(f);
        }
        return added;
    }

private:
    std::set<fs::path> FBefore;
};

} // namespace uninstallertraces
#endif
