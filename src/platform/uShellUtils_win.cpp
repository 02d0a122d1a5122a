#include "platform/uShellUtils.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/uSysApi.h"
#include "platform/uSystemFolders.h"
#include "platform/uWinHandles.h"
#include "store/uText.h"

// ---- Registry -------------------------------------------------------------------------------

namespace {
// The value's data as text. The size is asked first so that values of any length are read
// whole; the value may grow between the two calls, hence the loop.
std::string QueryValueText(HKEY root, std::string_view keyPath, std::string_view valueName) {
    UniqueHKey key;
    if (RegOpenKeyExW(root, ToWide(keyPath).c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return {};
    const std::wstring name = ToWide(valueName);
    std::vector<BYTE> data;
    DWORD size = 0;
    LONG rc = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 4 && rc == ERROR_MORE_DATA; ++attempt) {
        size = 0;
        if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
            return {};
        data.resize(size);
        rc = RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, data.data(), &size);
    }
    if (rc != ERROR_SUCCESS) return {};
    // REG_SZ data need not end with a NUL: take what was read and stop at the first NUL.
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    text.resize(std::min(text.size(), text.find(L'\0')));
    return Trim(FromWide(text));
}
} // namespace

std::string ReadRegistryDefault(HKEY root, std::string_view keyPath) {
    return QueryValueText(root, ExcludeTrailingBackslash932(keyPath), "");
}

std::string ReadRegistryString(HKEY root, std::string_view valuePath) {
    auto [keyPath, valueName] = SplitValuePath(valuePath);
    return QueryValueText(root, keyPath, valueName);
}

namespace {
// Creates the key of valuePath and sets its value; the registry's code.
LONG SetRegistryValue(HKEY root, std::string_view valuePath, DWORD type, const void* data, DWORD bytes) {
    auto [keyPath, valueName] = SplitValuePath(valuePath);
    UniqueHKey key;
    LONG rc = RegCreateKeyExW(root, ToWide(keyPath).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_SET_VALUE, nullptr, key.Put(), nullptr);
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExW(key.Get(), ToWide(valueName).c_str(), 0, type, static_cast<const BYTE*>(data),
                            bytes);
    return rc;
}
bool Succeeded(LONG rc, LONG* status) {
    if (status) *status = rc;
    return rc == ERROR_SUCCESS;
}
} // namespace

bool WriteRegistryString(HKEY root, std::string_view valuePath, std::string_view text, LONG* status) {
    const std::wstring data = ToWide(text);
    const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)); // with its NUL
    return Succeeded(SetRegistryValue(root, valuePath, REG_SZ, data.c_str(), bytes), status);
}

bool WriteRegistryDword(HKEY root, std::string_view valuePath, DWORD number, LONG* status) {
    return Succeeded(SetRegistryValue(root, valuePath, REG_DWORD, &number, sizeof number), status);
}

// ---- Files and environment --------------------------------------------------------------------

namespace {
DWORD Attributes(std::string_view path) {
    return GetFileAttributesW(ToWide(path).c_str());
}
} // namespace

bool FileExists932(std::string_view path) {
    DWORD a = Attributes(path);
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists932(std::string_view path) {
    DWORD a = Attributes(path);
    return !path.empty() && a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ExpandEnvironment(std::string_view text) {
    const std::wstring source = ToWide(text);
    std::wstring out(source.size() + 64, L'\0');
    // The answer is the size needed (with the NUL) when the buffer is too small.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD n = ExpandEnvironmentStringsW(source.c_str(), out.data(), static_cast<DWORD>(out.size()));
        if (n == 0) return {};
        if (n <= out.size()) {
            out.resize(n - 1);
            return FromWide(out);
        }
        out.resize(n);
    }
    return {};
}

namespace {
// The result of a path call, in a buffer of the longest path there is; empty when it fails.
std::wstring PathCall(DWORD(WINAPI* call)(LPCWSTR, LPWSTR, DWORD), const std::wstring& in) {
    constexpr DWORD kLongest = 32768;
    std::wstring out(kLongest, L'\0');
    const DWORD n = call(in.c_str(), out.data(), kLongest);
    out.resize(n < kLongest ? n : 0);
    return out;
}
DWORD WINAPI FullPathCall(LPCWSTR in, LPWSTR out, DWORD size) {
    return GetFullPathNameW(in, size, out, nullptr);
}
} // namespace

bool SameFileName(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

std::wstring FullPathOf(const std::wstring& path) {
    return PathCall(FullPathCall, path);
}

std::wstring LongPathOf(const std::wstring& path) {
    std::wstring longer = PathCall(GetLongPathNameW, path);
    if (!longer.empty()) return longer;
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return path;
    longer = PathCall(GetLongPathNameW, path.substr(0, slash + 1));
    return longer.empty() ? path : longer + path.substr(slash + 1);
}

std::wstring FinalPathOf(HANDLE handle) {
    constexpr DWORD kLongest = 32768;
    std::wstring path(kLongest, L'\0');
    const DWORD n =
        GetFinalPathNameByHandleW(handle, path.data(), kLongest, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    path.resize(n < kLongest ? n : 0);
    // "\\?\UNC\server\..." as "\\server\..." and "\\?\C:\..." as "C:\...": the forms the programs use.
    if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\" + path.substr(7);
    if (path.starts_with(L"\\\\?\\")) path.erase(0, 4);
    return path;
}

bool SamePathAnyForm(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) return false;
    if (SameFileName(a, b) || SameFileName(LongPathOf(a), LongPathOf(b))) return true;
    const std::wstring sa = PathCall(GetShortPathNameW, a), sb = PathCall(GetShortPathNameW, b);
    return !sa.empty() && !sb.empty() && SameFileName(sa, sb);
}

std::string GetShortPath(std::string_view path) {
    const std::wstring longPath = ToWide(path);
    std::wstring buffer(longPath.size() + 1, L'\0');
    // A short form can be longer than the long one ("a.b.c" -> "ABC~1.C"); when the buffer is
    // too small the answer is the size needed, with the NUL.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD n = GetShortPathNameW(longPath.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) break;
        if (n < buffer.size()) {
            buffer.resize(n);
            std::string shortPath = Trim(FromWide(buffer));
            return shortPath.empty() ? std::string(path) : shortPath;
        }
        buffer.resize(n);
    }
    return std::string(path);
}

// ---- Shell ------------------------------------------------------------------------------------

std::string PidlToPath(PCIDLIST_ABSOLUTE itemIdList) {
    if (!itemIdList) return {};
    wchar_t buffer[MAX_PATH] = {}; // the call's own limit
    if (!sys::SHGetPathFromIDListW(itemIdList, buffer)) return {};
    // Some shells (Wine's) answer a virtual folder with its parsing name "::{CLSID}", which
    // is no file-system path.
    if (buffer[0] == L':' && buffer[1] == L':') return {};
    return Trim(FromWide(buffer));
}

std::string PidlToFolder(PCIDLIST_ABSOLUTE itemIdList) {
    std::string path = PidlToPath(itemIdList);
    return path.empty() ? path : IncludeTrailingBackslash932(path);
}

// The Windows directory from %windir%, Program Files from the registry.
std::string GetSpecialFolderFallback(TSpecialFolder folder) {
    if (folder == TSpecialFolder::Windows) {
        std::string windir = ExpandEnvironment("%windir%");
        return windir == "%windir%" ? std::string() : windir; // unset: no folder
    }
    if (folder == TSpecialFolder::ProgramFiles) return ExpandSystemVariables("%ProgramFiles%");
    return {};
}

std::string GetSpecialFolderPath(TSpecialFolder folder, HWND owner) {
    UniquePidl pidl;
    std::string path;
    if (SUCCEEDED(sys::SHGetSpecialFolderLocation(owner, SpecialFolderCsidl(folder), pidl.Put())))
        path = PidlToFolder(pidl.Get());
    if (path.empty()) path = GetSpecialFolderFallback(folder);
    return path.empty() ? path : IncludeTrailingBackslash932(path);
}

// ---- Folder browsing --------------------------------------------------------------------------

namespace {
// Upper case by the system's rules (full-width letters too), as folder names compare.
std::string UpperCaseLocale(std::string_view s) {
    std::wstring w = ToWide(s);
    if (!w.empty()) CharUpperBuffW(w.data(), static_cast<DWORD>(w.size()));
    return FromWide(w);
}

// A choice is refused when it cannot be made the current directory (a virtual folder, a
// drive that is not ready) or when it is one of the excluded special folders.
bool IsChoiceAllowed(PCIDLIST_ABSOLUTE item, const TSpecialFolders& excluded) {
    const std::string choice = PidlToFolder(item);
    if (choice.empty() || !SetCurrentDirectoryW(ToWide(choice).c_str())) return false;
    const std::string upperChoice = UpperCaseLocale(choice);
    for (int i = 0; i < kSpecialFolderCount; ++i) {
        auto folder = static_cast<TSpecialFolder>(i);
        if (excluded.Contains(folder) && UpperCaseLocale(GetSpecialFolderPath(folder)) == upperChoice)
            return false;
    }
    return true;
}

// Disables the thread's other enabled, visible top-level windows for the object's life, so
// that the modal dialog is the only way forward; the owner is left to the dialog itself,
// which disables and re-activates it.
class TThreadWindowsDisabler {
public:
    explicit TThreadWindowsDisabler(HWND owner) : FOwner(owner) {
        EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this));
        for (HWND w : FWindows) EnableWindow(w, FALSE);
    }
    ~TThreadWindowsDisabler() {
        for (HWND w : FWindows) {
            if (IsWindow(w)) EnableWindow(w, TRUE);
        }
    }
    TThreadWindowsDisabler(const TThreadWindowsDisabler&) = delete;
    TThreadWindowsDisabler& operator=(const TThreadWindowsDisabler&) = delete;

private:
    static BOOL CALLBACK Collect(HWND w, LPARAM self) {
        auto* me = reinterpret_cast<TThreadWindowsDisabler*>(self);
        try {
            if (w != me->FOwner && IsWindowVisible(w) && IsWindowEnabled(w)) me->FWindows.push_back(w);
        } catch (...) {
            return FALSE; // out of memory: stop collecting, the windows listed are restored
        }
        return TRUE;
    }
    HWND FOwner;
    std::vector<HWND> FWindows;
};

// Sets the process error mode for the object's life (no "drive not ready" boxes while the
// user browses removable drives).
class TErrorModeGuard {
public:
    explicit TErrorModeGuard(UINT mode) : FPrevious(SetErrorMode(mode)) {}
    ~TErrorModeGuard() { SetErrorMode(FPrevious); }
    TErrorModeGuard(const TErrorModeGuard&) = delete;
    TErrorModeGuard& operator=(const TErrorModeGuard&) = delete;

private:
    UINT FPrevious;
};
} // namespace

int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM param, LPARAM data) {
    try {
        const auto* cb = reinterpret_cast<const TCallBackData*>(data);
        if (!cb) return 0;
        if (message == BFFM_INITIALIZED && !cb->InitialFolder.empty()) {
            const std::wstring folder = ToWide(cb->InitialFolder);
            SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
        } else if (message == BFFM_SELCHANGED && param) {
            if (!IsChoiceAllowed(reinterpret_cast<PCIDLIST_ABSOLUTE>(param), cb->Excluded))
                SendMessageW(window, BFFM_ENABLEOK, 0, 0);
        }
    } catch (...) {
        // Nothing may unwind through the shell's dialog; the dialog keeps its state.
    }
    return 0;
}

bool BrowseForFolder(std::string_view title, std::uint8_t options, const TSpecialFolders& excluded,
                     std::string& folder, HWND owner) {
    if (!DirectoryExists932(folder)) folder.clear();
    TCallBackData data{options, folder, excluded};
    UniquePidl root;
    if (options & boDontGoBelowDomain) sys::SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, root.Put());

    wchar_t displayName[MAX_PATH] = {};
    const std::wstring wideTitle = ToWide(title);
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = root.Get();
    info.pszDisplayName = displayName;
    info.lpszTitle = wideTitle.c_str();
    info.ulFlags = BrowseFlags(options);
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(&data);

    UniquePidl chosen;
    {
        TThreadWindowsDisabler disabled(owner);
        TErrorModeGuard errorMode(SEM_FAILCRITICALERRORS);
        chosen.Reset(sys::SHBrowseForFolderW(&info));
    }
    if (!chosen) return false;
    folder = PidlToPath(chosen.Get());
    return true;
}

// ---- Associated programs ----------------------------------------------------------------------

// The program's file is looked for as it would be started: with the system's variables only.
std::string CleanAssociatedCommand(std::string_view registeredCommand) {
    return CleanAssociatedCommand(
        registeredCommand, [](std::string_view path) { return FileExists932(ExpandSystemVariables(path)); });
}

// The machine-wide registrations only: HKEY_CLASSES_ROOT merges in the user's own
// HKCU\Software\Classes, which any process of the user may change, and the program found
// here is started with this process's (administrator) token.
std::string GetAssociatedCommand(std::string_view extension) {
    const std::string fileClass =
        ReadRegistryDefault(HKEY_LOCAL_MACHINE, kMachineClasses + NormalizeExtension(extension));
    if (fileClass.empty()) return {};
    return CleanAssociatedCommand(
        ReadRegistryDefault(HKEY_LOCAL_MACHINE, kMachineClasses + fileClass + "\\shell\\open\\command"));
}

namespace {
// A variable's value as the system defines it, never from this process's environment
// (which the user's own HKCU\Environment feeds); empty for any other variable.
std::string SystemVariable(std::string_view name) {
    const std::string upper = UpperAscii932(name);
    if (upper == "SYSTEMROOT" || upper == "WINDIR" || upper == "SYSTEMDRIVE") {
        const sys::TSystemFolder folder = sys::WindowsFolder();
        if (folder.Size < 2) return {};
        const std::string windows = FromWide(folder.View());
        return upper == "SYSTEMDRIVE" ? windows.substr(0, 2) : windows;
    }
    static constexpr std::pair<std::string_view, const char*> kFolders[] = {
        {"PROGRAMFILES", "ProgramFilesDir"},
        {"PROGRAMFILES(X86)", "ProgramFilesDir (x86)"},
        {"PROGRAMW6432", "ProgramW6432Dir"},
        {"COMMONPROGRAMFILES", "CommonFilesDir"},
        {"COMMONPROGRAMFILES(X86)", "CommonFilesDir (x86)"},
        {"COMMONPROGRAMW6432", "CommonW6432Dir"},
    };
    for (const auto& [variable, value] : kFolders) {
        if (upper == variable)
            return ReadRegistryString(HKEY_LOCAL_MACHINE,
                                      std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\") + value);
    }
    return {};
}
} // namespace

std::string ExpandSystemVariables(std::string_view text) {
    std::string out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t open = FindChar932(text, '%', from);
        if (open == std::string_view::npos) return out.append(text.substr(from));
        const std::size_t close = FindChar932(text, '%', open + 1);
        if (close == std::string_view::npos) return {};
        const std::string value = SystemVariable(text.substr(open + 1, close - open - 1));
        if (value.empty()) return {};
        out.append(text.substr(from, open - from)).append(value);
        from = close + 1;
    }
}

bool StartCommandLine(std::string_view commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION info{};
    // CreateProcessW may write into the command line, so it gets its own copy.
    std::wstring line = ToWide(commandLine);
    // The started program's current folder is the system directory, never the installer's
    // (a Downloads folder, where a planted DLL would be found first).
    const std::wstring directory = sys::SystemDirectory();
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info))
        return false;
    // The program runs on by itself; only our handles to it are closed.
    UniqueHandle process(info.hProcess), thread(info.hThread);
    return true;
}

bool OpenWithAssociatedProgram(std::string_view fileName, std::string_view extension) {
    if (!FileExists932(fileName)) return false;
    const std::string ext = extension.empty() ? ExtractFileExt932(fileName) : std::string(extension);
    if (ext.empty()) return false;
    // Only the registered command is expanded: a '%' in the file name is part of the name.
    const std::string command = ExpandSystemVariables(GetAssociatedCommand(ext));
    if (command.empty()) return false;
    const std::string line = Trim(command + " \"" + std::string(fileName) + "\"");
    return StartCommandLine(line);
}

// ---- COM --------------------------------------------------------------------------------------

// S_FALSE (already initialised on this thread) also counts and must be balanced.
TComInit::TComInit() : FInitialized(SUCCEEDED(sys::CoInitialize(nullptr))) {}

TComInit::~TComInit() {
    if (FInitialized) sys::CoUninitialize();
}
