// The uninstaller the installer writes next to a screensaver as <name>Uninst.exe, with
// an item container holding the installation's "GUID" at its end.
//
// It removes <name>.scr and (when the installation wrote it) <name>.txt from its own
// folder, with what a dead change to the installation left beside them, and then the
// uninstall registration <name> when that names this program; it removes nothing unless
// that registration names it. A file in use goes at the next restart (for one user it
// keeps the registration); the registration goes only once every file is gone or bound to
// go, so that it can be run again while anything is left. For everyone (the HKLM registration) that removal
// runs elevated, in a second run of this program ("/_remove"); for the current user alone (the HKCU
// registration) the user's own run does it. The run as the user asks and then resets
// that user's current-screensaver setting when it named this screensaver. The removal
// holds the lock one change to the installation holds while it works, and holds its
// folder open, refusing one reached through a link, and its own file, refusing one that
// is not the running image (another program put under its name). Then it removes itself:
// a running program's file cannot be deleted, so it copies that file, from the bytes it
// checked, into a fresh folder (for everyone: a private one under the Windows directory's
// Temp folder; for one user: under the user's %TEMP%) and starts the copy as a helper,
// handing it its own file as an open handle (never a path); the helper waits for this
// process and the user's run to end, deletes that file through the handle and, from a
// private folder, schedules its own removal (and its folder's) for the next restart.
//
// Paths stay UTF-16 here: they come from the wide API and go back to it only, and the
// temporary folder may hold characters that code page 932 has no form for.
//
// The program travels compressed inside every installer, so it is built without the C++
// runtime (no exceptions, no RTTI, no std::string or containers, no operator new) and
// without the C runtime's start-up (see UninstStart): text lives in TText, a growable
// buffer on the process heap, and the container at its end is read with the
// allocation-free walker of store/uItemLayout.h instead of ReadItems (which would bring
// zlib). Running out of memory ends the run with kExitIncomplete, as an uncaught
// allocation failure did when the runtime was there.
#include "UninstArgs.h"
#include "platform/uChangeLock.h"
#include "platform/uDllSearch.h"
#include "platform/uImageMatch.h"
#include "platform/uMachineClasses.h"
#include "platform/uSystemFolders.h"
#include "platform/uWinHandles.h"
#include "store/uChangeNames.h"
#include "store/uHexText.h"
#include "store/uItemLayout.h"
#include "store/uPayloadFormat.h"

#include <windows.h>

#include <shellapi.h>

#include <ntsecapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>

// The running image, as the loader mapped it: the linker's name for its first byte.
extern "C" const std::uint8_t __ImageBase[];

namespace {

using namespace std::string_view_literals;

// A view of a constant's text. Its length is known when compiled: the program has no C
// runtime to count it (wcslen), so texts reach std::wstring_view through this or as ""sv.
template <std::size_t N> constexpr std::wstring_view Text(const wchar_t (&s)[N]) {
    return std::wstring_view(s, N - 1);
}

constexpr auto& kDesktopKey = payload::kDesktopKeyW;
constexpr auto& kScreenSaverValue = payload::kScreenSaverValueW;
constexpr auto& kUninstallRoot = payload::kUninstallRootW;
// How long the helper keeps trying once the processes running the file have ended: its
// image may stay mapped for a moment after a process object is signalled. (The processes
// themselves are waited for without limit: the user's run may be showing its final
// message box.)
constexpr DWORD kDeleteRetryMs = 10000;
// What the removal step holds its own file open with, for the helper: deleting and moving
// it, reading it (its "GUID" item) and clearing its read-only attribute.
constexpr DWORD kHeldFileAccess =
    DELETE | FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;

enum TExitCode : int {
    kExitOk = 0,
    kExitCancelled = 1, // the user answered No
    // Not "<name>Uninst.exe", no "GUID" item, no registration naming it, or its folder
    // reached through a link: not an installed uninstaller; nothing removed.
    kExitNotInstalled = 2,
    kExitIncomplete = 3, // something could not be removed
    kExitBadArguments = 4,
    kExitNotElevated = 5, // the removal could not be started with administrator rights: nothing removed
    // The removal step only: another installation or removal of the same screensaver kept
    // its lock too long; nothing removed. The user's run then ends with kExitIncomplete.
    kExitChangeRunning = 6,
    // Everything removed, but a file in use goes only at the next restart (the code package
    // managers know as "restart required").
    kExitRestartNeeded = 3010,
};

// No memory for a text: the run cannot go on, and says so by its exit code.
[[noreturn]] void OutOfMemory() {
    ExitProcess(kExitIncomplete);
}

// A block of the process heap, zeroed, freed with its owner; null when it could not be had.
class THeapBlock {
public:
    THeapBlock() = default;
    explicit THeapBlock(std::size_t bytes)
        : FData(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1)) {}
    ~THeapBlock() {
        if (FData) HeapFree(GetProcessHeap(), 0, FData);
    }
    THeapBlock(const THeapBlock&) = delete;
    THeapBlock& operator=(const THeapBlock&) = delete;
    void* Get() const { return FData; }

private:
    void* FData = nullptr;
};

// Wide text of any length on the process heap, always NUL-terminated. Move-only: copies
// are made on purpose, by building a new one.
class TText {
public:
    TText() = default;
    explicit TText(std::wstring_view s) { Append(s); }
    ~TText() {
        if (FData) HeapFree(GetProcessHeap(), 0, FData);
    }
    TText(TText&& other) noexcept : FData(other.FData), FSize(other.FSize), FCapacity(other.FCapacity) {
        other.FData = nullptr;
        other.FSize = other.FCapacity = 0;
    }
    TText& operator=(TText&& other) noexcept {
        if (this != &other) {
            if (FData) HeapFree(GetProcessHeap(), 0, FData);
            FData = other.FData;
            FSize = other.FSize;
            FCapacity = other.FCapacity;
            other.FData = nullptr;
            other.FSize = other.FCapacity = 0;
        }
        return *this;
    }
    TText(const TText&) = delete;
    TText& operator=(const TText&) = delete;

    const wchar_t* c_str() const { return FData ? FData : L""; }
    std::size_t Size() const { return FSize; }
    bool Empty() const { return FSize == 0; }
    std::wstring_view View() const { return std::wstring_view(c_str(), FSize); }
    operator std::wstring_view() const { return View(); }

    // Room for at least chars characters (and the NUL behind them); the text is kept.
    void Reserve(std::size_t chars) {
        if (chars <= FCapacity && FData) return;
        const std::size_t bytes = (chars + 1) * sizeof(wchar_t);
        void* p =
            FData ? HeapReAlloc(GetProcessHeap(), 0, FData, bytes) : HeapAlloc(GetProcessHeap(), 0, bytes);
        if (!p) OutOfMemory();
        FData = static_cast<wchar_t*>(p);
        FCapacity = chars;
        FData[FSize] = L'\0';
    }
    // The buffer for a call that fills it: Capacity() characters and a NUL fit.
    wchar_t* Buffer() {
        Reserve(FCapacity);
        return FData;
    }
    std::size_t Capacity() const { return FCapacity; }
    // Keeps the first chars characters (at most Capacity()).
    void Resize(std::size_t chars) {
        Reserve(chars);
        FSize = chars;
        FData[FSize] = L'\0';
    }
    TText& Append(std::wstring_view s) {
        if (s.size() > FCapacity - FSize || !FData) Reserve(FSize + s.size() + FSize / 2);
        for (std::size_t i = 0; i < s.size(); ++i) FData[FSize + i] = s[i];
        FSize += s.size();
        FData[FSize] = L'\0';
        return *this;
    }
    TText& operator+=(std::wstring_view s) { return Append(s); }
    wchar_t Back() const { return FSize ? FData[FSize - 1] : L'\0'; }

private:
    wchar_t* FData = nullptr;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
};

// The parts, one after the other.
TText Cat(std::initializer_list<std::wstring_view> parts) {
    TText t;
    std::size_t size = 0;
    for (std::wstring_view p : parts) size += p.size();
    t.Reserve(size);
    for (std::wstring_view p : parts) t += p;
    return t;
}

std::size_t LastSlash(std::wstring_view path) {
    std::size_t i = path.size();
    while (i > 0 && path[i - 1] != L'\\' && path[i - 1] != L'/') --i;
    return i == 0 ? std::wstring_view::npos : i - 1;
}

std::wstring_view FolderOf(std::wstring_view path) {
    std::size_t slash = LastSlash(path);
    return slash == std::wstring_view::npos ? std::wstring_view() : std::wstring_view(path.data(), slash);
}

std::wstring_view FileNameOf(std::wstring_view path) {
    std::size_t slash = LastSlash(path);
    return slash == std::wstring_view::npos
               ? path
               : std::wstring_view(path.data() + slash + 1, path.size() - slash - 1);
}

bool StartsWith(std::wstring_view s, std::wstring_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (s[i] != prefix[i]) return false;
    }
    return true;
}

// Calls a "fill this buffer, or tell me the size" path function until the text fits.
template <typename F> TText PathCall(F call, const TText& in) {
    TText out;
    out.Reserve(MAX_PATH);
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD n = call(in.c_str(), out.Buffer(), static_cast<DWORD>(out.Capacity()));
        if (n == 0) return {};
        if (n < out.Capacity()) {
            out.Resize(n);
            return out;
        }
        out.Reserve(n);
    }
    return {};
}

// The full path of the running program, of any length; empty when it cannot be found.
TText ProgramPath() {
    TText path;
    path.Reserve(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.Buffer(), static_cast<DWORD>(path.Capacity()));
        if (n == 0) return {};
        if (n < path.Capacity()) {
            path.Resize(n);
            return path;
        }
        path.Reserve(path.Capacity() * 2);
    }
}

TText FullPath(const TText& path) {
    return PathCall(
        [](LPCWSTR in, LPWSTR out, DWORD size) { return GetFullPathNameW(in, size, out, nullptr); }, path);
}

// The long form of a path. A file that no longer exists keeps its name, under the long
// form of its folder.
TText LongForm(std::wstring_view path) {
    TText given(path);
    TText full = FullPath(given);
    if (full.Empty()) return given;
    TText longer = PathCall(GetLongPathNameW, full);
    if (!longer.Empty()) return longer;
    TText folder = PathCall(GetLongPathNameW, TText(FolderOf(full)));
    return folder.Empty() ? std::move(full) : Cat({folder, L"\\"sv, FileNameOf(full)});
}

TText ShortForm(std::wstring_view path) {
    return PathCall(GetShortPathNameW, TText(path));
}

bool SameText(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// Two names of the same file: equal as written, in their long forms or in their short
// (8.3) forms, ignoring case.
bool SamePath(std::wstring_view a, std::wstring_view b) {
    if (a.empty() || b.empty()) return false;
    if (SameText(a, b) || SameText(LongForm(a), LongForm(b))) return true;
    TText sa = ShortForm(a), sb = ShortForm(b);
    return !sa.Empty() && !sb.Empty() && SameText(sa, sb);
}

// A string value (REG_SZ, or REG_EXPAND_SZ expanded); false when it is missing or of
// another type.
bool ReadString(HKEY key, const wchar_t* name, TText& value) {
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    value.Resize(bytes / sizeof(wchar_t) + 1);
    bytes = static_cast<DWORD>(value.Size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.Buffer()), &bytes) !=
        ERROR_SUCCESS)
        return false;
    // The stored data need not end in a NUL, or may end in several.
    value.Resize(bytes / sizeof(wchar_t));
    while (!value.Empty() && value.Back() == L'\0') value.Resize(value.Size() - 1);
    if (type == REG_EXPAND_SZ) {
        TText expanded = PathCall(
            [](LPCWSTR in, LPWSTR out, DWORD size) { return ExpandEnvironmentStringsW(in, out, size); },
            value);
        // The count includes the terminating NUL.
        while (!expanded.Empty() && expanded.Back() == L'\0') expanded.Resize(expanded.Size() - 1);
        if (!expanded.Empty()) value = std::move(expanded);
    }
    return true;
}

// Reads exactly count bytes at offset; false on any shortfall.
bool ReadAt(HANDLE file, std::int64_t offset, void* buffer, std::size_t count) {
    LARGE_INTEGER at;
    at.QuadPart = offset;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
    auto* p = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD read = 0;
        if (!ReadFile(file, p, chunk, &read, nullptr) || read == 0) return false;
        p += read;
        count -= read;
    }
    return true;
}

// True when the file open as file carries an item container with a "GUID" item: only
// such a file was written by the installer, next to what it installed. A damaged container
// (any length, count or size that points past the bytes really there) is no installation
// record.
bool HasInstallationGuid(HANDLE file) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return false;
    const itemlayout::TContainerPlace place = itemlayout::LocateContainerIn(
        size.QuadPart, [&](std::int64_t offset, void* buffer, std::size_t count) {
            return ReadAt(file, offset, buffer, count);
        });
    if (place.Place != itemlayout::TPlace::Found) return false;
    if (static_cast<std::uint64_t>(place.BlockLength) > SIZE_MAX) return false;
    const auto length = static_cast<std::size_t>(place.BlockLength);
    THeapBlock block(length);
    if (!block.Get() || !ReadAt(file, place.BlockStart, block.Get(), length)) return false;
    return itemlayout::FindItem(static_cast<const std::uint8_t*>(block.Get()), length, payload::kGuid,
                                sizeof payload::kGuid - 1) == itemlayout::TFind::Present;
}

bool HasInstallationGuid(const TText& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && HasInstallationGuid(file.Get());
}

// The path of the file open as file, as "\\?\<drive>:\..."; empty when it has none.
TText FinalPath(HANDLE file) {
    return PathCall(
        [file](LPCWSTR, LPWSTR out, DWORD size) {
            return GetFinalPathNameByHandleW(file, out, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        },
        TText());
}

// Whether the handle is one of a file on a disk that is neither a folder nor a link (a
// reparse point).
bool IsPlainFile(HANDLE file) {
    FILE_ATTRIBUTE_TAG_INFO info;
    return GetFileType(file) == FILE_TYPE_DISK &&
           GetFileInformationByHandleEx(file, FileAttributeTagInfo, &info, sizeof info) &&
           !(info.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

// What one run could not remove, in words for the user: one indented line each.
struct TFailures {
    TText List;
    bool Any = false;
    void Add(std::wstring_view what) {
        List += L"  "sv;
        List += what;
        List += L"\n"sv;
        Any = true;
    }
};

// Clears the read-only attribute of a file found with attributes attr, so that it can be
// deleted. A link (a reparse point) is deleted as itself: setting attributes would reach
// through it and change its target's.
bool ClearReadOnly(const TText& path, DWORD attr) {
    if (!(attr & FILE_ATTRIBUTE_READONLY) || (attr & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    return SetFileAttributesW(path.c_str(), attr & ~FILE_ATTRIBUTE_READONLY);
}

// Why a deletion failed: some program has the file open or mapped (a running program's
// image refuses with ERROR_ACCESS_DENIED), which ends when it closes it, at the latest
// at the next restart.
bool InUse(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE;
}

// Whether the current-screensaver setting of the user running this names scrPath (in
// whatever form). Asked before the file is deleted: the short and long forms can only be
// resolved while it exists.
bool IsCurrentScreenSaver(const TText& scrPath) {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return false;
    TText current;
    return ReadString(key.Get(), kScreenSaverValue, current) && SamePath(ProgramPathOf(current), scrPath);
}

// Removes the current-screensaver setting of the user running this.
bool ResetScreenSaver() {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS)
        return false;
    return RegDeleteValueW(key.Get(), kScreenSaverValue) == ERROR_SUCCESS;
}

// Starts this program again with administrator rights (the shell's "runas": the consent
// prompt, when this process is not elevated) with parameters, its current folder the
// system directory, and waits for its end; false when it could not be started (the prompt
// refused, no administrator at hand), with the step's exit code in *exitCode otherwise.
bool RunElevated(const TText& self, const TText& parameters, DWORD* exitCode) {
    using TShellExecuteEx = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    HMODULE shell = LoadLibraryExW(L"shell32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const auto execute = shell ? reinterpret_cast<TShellExecuteEx>(
                                     reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteExW")))
                               : nullptr;
    if (!execute) return false;
    const sys::TSystemFolder system = sys::SystemFolder();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"runas";
    info.lpFile = self.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = system.Empty() ? nullptr : system.Path;
    info.nShow = SW_SHOWNORMAL;
    {
        const TMachineClassesOnly machineClasses;
        if (!machineClasses.InPlace() || !execute(&info) || !info.hProcess) return false;
    }
    UniqueHandle process(info.hProcess);
    WaitForSingleObject(info.hProcess, INFINITE);
    if (!GetExitCodeProcess(info.hProcess, exitCode)) *exitCode = kExitIncomplete;
    return true;
}

// True when "...\Uninstall\<name>" under root (HKLM: for everyone; HKCU: for the current
// user alone) exists and its "UninstallString" names this program: only then was this
// copy registered by the installer, and only then does it remove anything (a copy renamed
// after another screensaver must not delete that one's files). A key of that name that
// belongs to another product is not ours.
bool RegisteredAsSelf(HKEY root, std::wstring_view name, const TText& self) {
    TText subKey = Cat({Text(kUninstallRoot), name});
    TText command;
    UniqueHKey key;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) return false;
    return ReadString(key.Get(), payload::kUninstallStringW, command) &&
           SamePath(ProgramPathOf(command), self);
}

// Whether the installation wrote <name>.txt: its registration's "ReadMeInstalled" (a
// DWORD; see kReadMeInstalledUnread for one that cannot be read).
bool ReadMeInstalled(HKEY root, std::wstring_view name) {
    TText subKey = Cat({Text(kUninstallRoot), name});
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(root, subKey.c_str(), payload::kReadMeInstalledW, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        value = payload::kReadMeInstalledUnread;
    return value != 0;
}

// Deletes "...\Uninstall\<name>" under root (checked by RegisteredAsSelf before anything
// was removed). The tree call takes its subkeys and the key with its values, the key call
// the key where the tree call left it. Any call that fails, or a key still there, is a
// failure (false): a key removed in part is not removed.
bool DeleteUninstallKey(HKEY root, std::wstring_view name) {
    TText subKey = Cat({Text(kUninstallRoot), name});
    LSTATUS result = RegDeleteTreeW(root, subKey.c_str());
    if (result == ERROR_SUCCESS) result = RegDeleteKeyW(root, subKey.c_str());
    UniqueHKey check;
    return (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) &&
           RegOpenKeyExW(root, subKey.c_str(), 0, KEY_QUERY_VALUE, check.Put()) == ERROR_FILE_NOT_FOUND;
}

// The installation's folder held open from the removal's checks to its end: not shared
// for deleting, so that neither it nor a folder above it can be renamed or removed
// meanwhile, and opened as itself, never through a link. Held only when it is a folder
// and no link, and the system's own path of it (drive form, long, any case) is the path
// it was reached by: no junction or other link anywhere on the way, which could point the
// removal's names elsewhere.
class TPinnedFolder {
public:
    explicit TPinnedFolder(std::wstring_view folder) {
        TText path(folder);
        if (path.Back() == L':') path += L"\\"sv; // a drive's root
        FFolder.Reset(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        FILE_ATTRIBUTE_TAG_INFO tag;
        if (!FFolder ||
            !GetFileInformationByHandleEx(FFolder.Get(), FileAttributeTagInfo, &tag, sizeof tag) ||
            (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            !(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return;
        const TText resolved = FinalPath(FFolder.Get());
        std::wstring_view held = resolved;
        // "\\?\C:\..." as "C:\...": the folder is a drive path.
        if (StartsWith(held, L"\\\\?\\"sv) && held.size() > 6 && held[5] == L':') held.remove_prefix(4);
        FHeld = SameText(LongForm(held), LongForm(path));
    }
    bool Held() const { return FHeld; }

private:
    UniqueHandle FFolder;
    bool FHeld = false;
};

constexpr wchar_t kPrivatePrefix[] = L"~scrun";

// The Temp folder of the Windows directory, which only administrators and the system may
// change: never %TEMP%, which every process of the user may change (or point elsewhere).
TText SystemTempFolder() {
    const sys::TSystemFolder windows = sys::WindowsFolder();
    if (windows.Empty()) return {};
    return Cat({windows.View(), L"\\Temp"sv});
}

// The user's own temporary folder (%TEMP%), for a removal for the current user alone:
// everything there is the user's, as is everything that removal touches.
TText UserTempFolder() {
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return {};
    while (n > 0 && temp[n - 1] == L'\\') --n;
    return TText(std::wstring_view(temp, n));
}

// A new folder of our own for the helper copy, with a name from the system's random
// generator. For everyone (elevated): under SystemTempFolder(), with an access list
// (protected, inherited by what is put into it) given at creation that lets in only the
// system and administrators, so nobody else can place, swap or rename anything in it
// before the copy started from it runs elevated; empty when such a folder cannot be made,
// and the caller then falls back on deletion at the next restart, never on a weaker
// folder. For one user (perUser): under UserTempFolder(), as the user's own.
TText CreateHelperFolder(bool perUser) {
    TText temp = perUser ? UserTempFolder() : SystemTempFolder();
    if (temp.Empty()) return {};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!perUser && !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                        L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr))
        return {};
    struct TFree {
        PSECURITY_DESCRIPTOR D;
        ~TFree() {
            if (D) LocalFree(D);
        }
    } freeDescriptor{descriptor};
    SECURITY_ATTRIBUTES sa{sizeof sa, descriptor, FALSE};
    for (int attempt = 0; attempt < 8; ++attempt) {
        unsigned char random[16];
        if (!RtlGenRandom(random, sizeof random)) return {};
        wchar_t name[2 * sizeof random];
        hextext::Write(random, sizeof random, name, hextext::TLetters::Upper);
        TText folder =
            Cat({temp, L"\\"sv, Text(kPrivatePrefix), std::wstring_view(name, sizeof name / sizeof name[0])});
        if (CreateDirectoryW(folder.c_str(), perUser ? nullptr : &sa)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

// True when path lies directly in one of the private folders (for everyone).
bool InPrivateFolder(std::wstring_view path) {
    std::wstring_view folder = FolderOf(path);
    return StartsWith(FileNameOf(folder), Text(kPrivatePrefix)) &&
           SamePath(FolderOf(folder), SystemTempFolder());
}

// A number in decimal digits.
TText Decimal(std::uintptr_t v) {
    wchar_t digits[24];
    std::size_t i = sizeof digits / sizeof digits[0];
    do {
        digits[--i] = static_cast<wchar_t>(L'0' + v % 10);
        v /= 10;
    } while (v);
    return TText(std::wstring_view(digits + i, sizeof digits / sizeof digits[0] - i));
}

// A copy of h that a child process started with it in its handle list inherits, with the
// given access (0: the same as h's).
UniqueHandle InheritableCopy(HANDLE h, DWORD access) {
    UniqueHandle copy;
    DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), copy.Put(), access, TRUE,
                    access ? 0 : DUPLICATE_SAME_ACCESS);
    return copy;
}

// The process that started this one when it runs the program file at self: the user's
// first run, which keeps that file mapped while it shows its result. Null otherwise (this
// run was started some other way). Asked while the file is still at self.
UniqueHandle CallerRunningSelf(const TText& self) {
    DWORD callerId = 0;
    {
        UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry;
        entry.dwSize = sizeof entry;
        for (BOOL more = snapshot && Process32FirstW(snapshot.Get(), &entry); more;
             more = Process32NextW(snapshot.Get(), &entry))
            if (entry.th32ProcessID == GetCurrentProcessId()) callerId = entry.th32ParentProcessID;
    }
    UniqueHandle caller(
        callerId ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, callerId) : nullptr);
    if (!caller) return caller;
    const TText image = PathCall(
        [&caller](LPCWSTR, LPWSTR out, DWORD size) {
            DWORD n = size;
            if (QueryFullProcessImageNameW(caller.Get(), 0, out, &n)) return n;
            return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? 2 * size : 0;
        },
        TText());
    if (!SamePath(image, self)) caller.Reset();
    return caller;
}

// Starts the helper copy that deletes the file open as file once this process and the
// caller (when there is one) have ended. The helper inherits exactly those three handles
// and is told nothing but their values: it deletes the very file held here, wherever it
// is by then, and waits for these very processes even if their ids are reused meanwhile.
bool StartHelper(const TText& helper, HANDLE file, const UniqueHandle& caller, const TText& folder,
                 bool silent) {
    UniqueHandle target = InheritableCopy(file, 0), me = InheritableCopy(GetCurrentProcess(), SYNCHRONIZE),
                 user;
    if (caller) user = InheritableCopy(caller.Get(), SYNCHRONIZE);
    if (!target || !me) return false;
    HANDLE inherit[] = {target.Get(), me.Get(), user.Get()};
    const std::size_t count = user ? 3 : 2;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    THeapBlock listBuf(size);
    if (!listBuf.Get()) OutOfMemory();
    auto list = static_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBuf.Get());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return false;
    bool ok = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherit,
                                        count * sizeof(HANDLE), nullptr, nullptr);
    if (ok) {
        auto value = [](const UniqueHandle& h) { return Decimal(reinterpret_cast<std::uintptr_t>(h.Get())); };
        TText cmd = Cat({L"\""sv, helper, L"\" /_cleanup "sv, value(target), L" /_parent "sv, value(me)});
        if (user) cmd += Cat({L" /_caller "sv, value(user)});
        if (silent) cmd += L" /S"sv;
        STARTUPINFOEXW si{};
        si.StartupInfo.cb = sizeof si;
        si.lpAttributeList = list;
        PROCESS_INFORMATION pi{};
        // The helper works in its own folder, so it holds no handle on the installation
        // folder.
        ok = CreateProcessW(helper.c_str(), cmd.Buffer(), nullptr, nullptr, TRUE,
                            EXTENDED_STARTUPINFO_PRESENT, nullptr, folder.c_str(), &si.StartupInfo, &pi);
        if (ok) {
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
    }
    DeleteProcThreadAttributeList(list);
    return ok;
}

// Renames the file open as file to path (never over an existing file); false when it
// cannot be, as on another volume.
bool RenameByHandle(HANDLE file, const TText& path) {
    const std::size_t bytes = sizeof(FILE_RENAME_INFO) + path.Size() * sizeof(wchar_t);
    THeapBlock block(bytes);
    if (!block.Get()) OutOfMemory();
    auto* info = static_cast<FILE_RENAME_INFO*>(block.Get());
    info->FileNameLength = static_cast<DWORD>(path.Size() * sizeof(wchar_t));
    for (std::size_t i = 0; i < path.Size(); ++i) info->FileName[i] = path.c_str()[i];
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(bytes));
}

// This program's own file, held open (others may read it; nobody may write, rename or
// delete it) from the start of the removal to its end, for the helper, and its bytes, read
// once through that handle and checked against the running image (the appended container
// and a signature as they are). The helper's copy is written from these bytes, never from
// the path, which a process of the user may meanwhile have given to another program (a
// running program's file can be renamed).
class TOwnFile {
public:
    explicit TOwnFile(const TText& self)
        : FFile(CreateFileW(self.c_str(), kHeldFileAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr)),
          FSize(SizeOf(FFile.Get())), FBytes(FSize + ImageSize()) {
        if (!FFile) return;
        // The file's bytes, then a copy of the image to compare them with.
        auto* bytes = static_cast<std::uint8_t*>(FBytes.Get());
        const std::size_t imageSize = ImageSize();
        if (!bytes) OutOfMemory();
        for (std::size_t i = 0; i < imageSize; ++i) bytes[FSize + i] = __ImageBase[i];
        FOther = !ReadAt(FFile.Get(), 0, bytes, FSize) ||
                 !imagematch::FileHoldsImage(bytes, FSize, bytes + FSize, imageSize,
                                             reinterpret_cast<std::uintptr_t>(__ImageBase));
    }
    // Held, and this program: not when a program has it open without delete sharing (it
    // then goes at the next restart, with no helper).
    bool Held() const { return FFile && !FOther; }
    // Held, but another program than the one running: nothing may be done with it.
    bool Other() const { return FOther; }
    HANDLE Handle() const { return FFile.Get(); }

    // Writes the helper's copy as a new file at path, of the bytes checked.
    bool CopyTo(const TText& path) const {
        UniqueHandle copy(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        return copy && WriteFile(copy.Get(), FBytes.Get(), static_cast<DWORD>(FSize), &written, nullptr) &&
               written == FSize;
    }

private:
    static std::size_t ImageSize() {
        return reinterpret_cast<const IMAGE_NT_HEADERS*>(
                   __ImageBase + reinterpret_cast<const IMAGE_DOS_HEADER*>(__ImageBase)->e_lfanew)
            ->OptionalHeader.SizeOfImage;
    }
    static std::size_t SizeOf(HANDLE file) {
        LARGE_INTEGER size;
        return GetFileSizeEx(file, &size) ? static_cast<std::size_t>(size.QuadPart) : 0;
    }

    UniqueHandle FFile;
    std::size_t FSize;
    THeapBlock FBytes;
    bool FOther = false;
};

// Arranges the removal of this program's own file; false when not even a removal at the
// next restart could be arranged. For one user (perUser) the helper's folder is under the
// user's %TEMP%, and nothing is left to the restart (that needs administrator rights):
// false when the file cannot be handed to a helper.
//
// The file, held as own, is handed to the helper as that handle. A running program's file
// can be renamed though not deleted: on the same volume it is first moved into the
// private folder through the handle, so the installation folder is clean the moment this
// process ends and a caller waiting for it (a silent run) can check at once. Elsewhere the
// helper deletes it in place once this process and the user's run have ended. A file that
// could not be held (some program has it open without delete sharing) goes at the next
// restart.
bool RemoveSelf(const TOwnFile& own, const TText& self, std::wstring_view name, bool silent, bool perUser) {
    const auto atRestart = [perUser](const TText& path) {
        return !perUser && MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    };
    if (!own.Held()) return atRestart(self);
    TText folder = CreateHelperFolder(perUser);
    if (folder.Empty()) return atRestart(self);
    TText helper = Cat({folder, L"\\"sv, name, L"Cleanup.exe"sv});
    if (own.CopyTo(helper)) {
        const UniqueHandle caller = CallerRunningSelf(self);
        TText parked = Cat({folder, L"\\"sv, FileNameOf(self)});
        const bool isParked = RenameByHandle(own.Handle(), parked);
        if (StartHelper(helper, own.Handle(), caller, folder, silent)) return true;
        if (isParked) { // keep the parked file's removal with its folder's
            DeleteFileW(helper.c_str());
            const bool later = atRestart(parked);
            atRestart(folder);
            return later;
        }
    }
    DeleteFileW(helper.c_str());
    RemoveDirectoryW(folder.c_str());
    return atRestart(self);
}

class TUninstaller {
public:
    TUninstaller(bool silent, bool removeStep) : FSilent(silent), FRemoveStep(removeStep) {}

    int Run() {
        TText self = ProgramPath();
        FName = TText(ScreenSaverNameFromFileName(FileNameOf(self)));
        if (FName.Empty()) {
            Show(L"このプログラムのファイル名から、削除するスクリーンセーバーを判断できません。\n"
                 L"インストールされたときの名前 (スクリーンセーバー名 + 「Uninst.exe」) "
                 L"のまま実行してください。",
                 MB_ICONERROR, L"アンインストール");
            return kExitNotInstalled;
        }
        // The elevated step removes what the HKLM registration names, never an HKCU one
        // (the hive of whoever approved the prompt, which a process of the user may change).
        if (FRemoveStep) return Remove(self);
        if (!HasInstallationGuid(self)) {
            Show(L"このアンインストーラーにはインストール情報が含まれていません。\n"
                 L"スクリーンセーバーのインストーラーが作成したアンインストーラーを実行してください。",
                 MB_ICONERROR);
            return kExitNotInstalled;
        }
        // Registered for everyone, or else for the current user alone (HKCU): that one the
        // user's own run removes. Named by both, it is for everyone.
        if (!RegisteredAsSelf(HKEY_LOCAL_MACHINE, FName, self)) {
            FRoot = HKEY_CURRENT_USER;
            FPerUser = true;
        }
        if (!RegisteredAsSelf(FRoot, FName, self)) {
            Show(Cat({L"このアンインストーラーは「"sv, FName,
                      L"」の登録と一致しません。\n"
                      L"コントロール パネルのプログラムの一覧から削除してください。"sv}),
                 MB_ICONERROR);
            return kExitNotInstalled;
        }
        return RunAsUser(self);
    }

    // The helper copy's run: waits for the removal step and the user's run (caller, when
    // given) to end, then deletes the file it was handed, and schedules its own removal.
    // It is given handles only, never a path: it deletes the file the step held open for
    // it, and only when that is an installed uninstaller (named "<name>Uninst.exe", a
    // plain file carrying a "GUID" item), read through the same handle.
    int Cleanup(std::uintptr_t target, std::uintptr_t parent, std::uintptr_t caller) {
        UniqueHandle file(reinterpret_cast<HANDLE>(target)), step(reinterpret_cast<HANDLE>(parent)),
            user(reinterpret_cast<HANDLE>(caller));
        const HANDLE processes[] = {step.Get(), user.Get()};
        const DWORD count = caller ? 2 : 1;
        // Values that are no handles of this process end the wait at once.
        if (WaitForMultipleObjects(count, processes, TRUE, INFINITE) >= WAIT_OBJECT_0 + count)
            return kExitBadArguments;
        const TText path = FinalPath(file.Get());
        FName = TText(ScreenSaverNameFromFileName(FileNameOf(path)));
        if (FName.Empty() || !IsPlainFile(file.Get()) || !HasInstallationGuid(file.Get()))
            return kExitBadArguments;
        const bool deleted = DeleteByHandle(file.Get());
        // Last resort, for everyone only (a copy in a private folder): at the next restart,
        // by the name the file has now.
        const TText self = ProgramPath();
        const bool privateCopy = InPrivateFolder(self);
        const bool later =
            !deleted && privateCopy && MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        file.Reset(); // a file marked for deletion goes with its last handle
        std::wstring_view shown = path;
        if (StartsWith(shown, L"\\\\?\\"sv)) shown.remove_prefix(4);
        if (!deleted)
            Show(Cat({L"アンインストーラー\n  "sv, shown, L"\nを削除できませんでした。"sv,
                      later ? std::wstring_view(L"\nコンピューターの再起動後に削除されます。"sv)
                            : std::wstring_view(L"\n手動で削除してください。"sv)}),
                 MB_ICONWARNING);
        // A running program cannot delete its own file: the copy and its private folder
        // go at the next restart (the folder after the file, in that order). Only a copy
        // that really runs from such a folder does this, never one started elsewhere (for
        // one user, in %TEMP%: it and its folder stay there).
        if (privateCopy) {
            MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            MoveFileExW(TText(FolderOf(self)).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
        return deleted ? kExitOk : kExitIncomplete;
    }

private:
    // The removal itself, of the installation FRoot registers: in the elevated step for
    // everyone (HKLM), in the user's own run for one user (HKCU). It works only while no
    // installation or other removal of this screensaver does, and checks everything once
    // that one is done, with its folder held until the end.
    int Remove(const TText& self) {
        const TChangeLock lock(Cat({Text(payload::kChangeLockPrefixW), FName}).c_str());
        if (!lock.Held()) return kExitChangeRunning;
        // Its own file, held before anything is done with it (held, it can no longer be
        // renamed): another program under its name stops the removal.
        const TOwnFile own(self);
        const std::wstring_view folder = FolderOf(self);
        const TPinnedFolder pinned(folder);
        if (own.Other() || !pinned.Held() || !HasInstallationGuid(self) ||
            !RegisteredAsSelf(FRoot, FName, self) ||
            (FPerUser && RegisteredAsSelf(HKEY_LOCAL_MACHINE, FName, self)))
            return kExitNotInstalled;
        RemoveLeftovers(folder);
        RemoveFile(Cat({folder, L"\\"sv, FName, Text(payload::kScrSuffixW)}), true);
        // A <name>.txt of somebody else's, beside an installation without a ReadMe, stays.
        if (ReadMeInstalled(FRoot, FName))
            RemoveFile(Cat({folder, L"\\"sv, FName, Text(payload::kReadMeSuffixW)}), true);
        // All or nothing: while a file stays, so do the registration and this program, and
        // the uninstallation can be run again. A key that stays is listed by the user's
        // run, which looks.
        bool whole = !FFailed.Any && DeleteUninstallKey(FRoot, FName);
        if (whole && !RemoveSelf(own, self, FName, FSilent, FPerUser)) {
            FFailed.Add(self);
            whole = false;
        }
        return !whole ? kExitIncomplete : FScheduled ? kExitRestartNeeded : kExitOk;
    }

    // The part that belongs to the user who started the uninstaller: the question, then
    // the removal of the files and the entry (for everyone in an elevated run of this
    // program, which checks everything again itself; for one user here), then this user's
    // current screensaver reset when it named the screensaver that is gone now.
    int RunAsUser(const TText& self) {
        if (!FSilent &&
            Ask(Cat({L"「"sv, FName,
                     L"」スクリーンセーバーをコンピューターから削除します。\nよろしいですか?"sv})) != IDYES)
            return kExitCancelled;
        const TText scr = Cat({FolderOf(self), L"\\"sv, FName, Text(payload::kScrSuffixW)});
        const TText txt = Cat({FolderOf(self), L"\\"sv, FName, Text(payload::kReadMeSuffixW)});
        const bool current = IsCurrentScreenSaver(scr), readMe = ReadMeInstalled(FRoot, FName);
        DWORD code = kExitIncomplete;
        if (FPerUser)
            code = static_cast<DWORD>(Remove(self));
        else if (!RunElevated(self, FSilent ? TText(L"/_remove /S"sv) : TText(L"/_remove"sv), &code)) {
            Show(L"スクリーンセーバーの削除には管理者の権限が必要です。\n"
                 L"管理者の権限で削除を始められなかったため、何も削除していません。",
                 MB_ICONERROR);
            return kExitNotElevated;
        }
        if (code == kExitChangeRunning) {
            Show(Cat({L"「"sv, FName,
                      L"」の別のインストールまたはアンインストールが実行中のため、何も削除していません。\n"
                      L"それが終わってから、もう一度アンインストールしてください。"sv}),
                 MB_ICONWARNING);
            return kExitIncomplete;
        }
        if (code == kExitNotInstalled) {
            Show(L"アンインストーラーのフォルダーがリンク (ジャンクションなど) を経由しているか、"
                 L"登録と一致しないため、何も削除していません。",
                 MB_ICONERROR);
            return kExitNotInstalled;
        }
        // What is still there: as this run found it when it removed, or told by looking
        // (the elevated step shows nothing itself). When the step left a file in use to the
        // next restart, that file may still stand under its name.
        const bool restart = code == kExitRestartNeeded;
        TFailures failed;
        if (FPerUser)
            failed = std::move(FFailed);
        else if (!restart)
            for (const TText* file : {&scr, readMe ? &txt : nullptr})
                if (file && GetFileAttributesW(file->c_str()) != INVALID_FILE_ATTRIBUTES) failed.Add(*file);
        const TText key = Cat({Text(kUninstallRoot), FName});
        UniqueHKey left;
        const bool entryKept =
            RegOpenKeyExW(FRoot, key.c_str(), 0, KEY_QUERY_VALUE, left.Put()) == ERROR_SUCCESS;
        if (entryKept)
            failed.Add(Cat({FPerUser ? L"HKEY_CURRENT_USER\\"sv : L"HKEY_LOCAL_MACHINE\\"sv, key}));
        // The setting goes with the screensaver's file, once that is gone or bound to go,
        // even when something else stays behind.
        const bool scrGone = restart || GetFileAttributesW(scr.c_str()) == INVALID_FILE_ATTRIBUTES;
        if (current && scrGone && (code == kExitOk || code == kExitIncomplete || restart) &&
            !ResetScreenSaver())
            failed.Add(Cat({L"HKEY_CURRENT_USER\\"sv, Text(kDesktopKey), L"\\"sv, Text(kScreenSaverValue)}));
        if (code != kExitOk && !restart && !failed.Any) failed.Add(self);
        if (!failed.Any) {
            Show(Cat({L"「"sv, FName, L"」のアンインストールが完了しました。"sv,
                      restart ? L"\n使用中のファイルは、コンピューターの再起動後に削除されます。"sv : L""sv}),
                 MB_ICONINFORMATION);
            return restart ? kExitRestartNeeded : kExitOk;
        }
        Show(
            Cat({L"次の項目を削除できませんでした。\n\n"sv, failed.List,
                 entryKept
                     ? L"\nアンインストールの登録は残してあります。原因を取り除いてから、"
                       L"もう一度アンインストールしてください。"sv
                     : L"\n使用中の場合は、スクリーンセーバーの設定画面などを閉じてから手動で削除してください。"sv}),
            MB_ICONWARNING);
        return kExitIncomplete;
    }

    // Removes a file of the installation (setAside) or one a dead change left: deleted at
    // once or, while a program has it open or mapped, at the next restart. With setAside, a
    // file in use is first renamed "<file>.~<id>.old" in its folder (a running program's
    // file can be renamed though not deleted): its name is free at once, and what stays is
    // a leftover a later run recognises. A link is deleted as itself, never followed, and
    // never left to the restart.
    void RemoveFile(const TText& path, bool setAside) {
        const DWORD attr = GetFileAttributesW(path.c_str());
        if (attr == INVALID_FILE_ATTRIBUTES) {
            const DWORD err = GetLastError();
            if (err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND) FFailed.Add(path);
            return; // already gone
        }
        if (attr & FILE_ATTRIBUTE_DIRECTORY) { // not what the installer wrote: leave it
            FFailed.Add(path);
            return;
        }
        const bool cleared = ClearReadOnly(path, attr);
        if (DeleteFileW(path.c_str())) return;
        const TText* left = &path;
        TText aside;
        if (InUse(GetLastError()) && !(attr & FILE_ATTRIBUTE_REPARSE_POINT)) {
            if (setAside && ChangeId()) {
                aside =
                    Cat({path, Text(payload::kChangeMarkW), std::wstring_view(FId, payload::kChangeIdDigits),
                         Text(payload::kSetAsideSuffixW)});
                if (MoveFileExW(path.c_str(), aside.c_str(), 0)) left = &aside;
            }
            // Only the elevated removal leaves a file to the restart: that needs
            // administrator rights, and for one user the system would delete it by a name
            // in a folder the user may change. There a file set aside stays so, its name
            // free; the next run's sweep of leftovers takes it once it is closed.
            if (!FPerUser) {
                if (MoveFileExW(left->c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
                    FScheduled = true;
                    return;
                }
                // The installation stays, and with it the file under its own name.
                if (left == &aside && MoveFileExW(aside.c_str(), path.c_str(), 0)) left = &path;
            }
        }
        if (cleared) SetFileAttributesW(left->c_str(), attr);
        FFailed.Add(*left);
    }

    // Removes what a change to this installation left when it died: "<file>.~<id>" names
    // of its own three files and "<name>.~<id>.pending". Those of other screensavers in
    // the same folder, and every other name, stay.
    void RemoveLeftovers(std::wstring_view folder) {
        WIN32_FIND_DATAW found;
        const HANDLE find = FindFirstFileW(Cat({folder, L"\\*"sv}).c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return;
        do {
            const std::wstring_view name(found.cFileName,
                                         static_cast<std::size_t>(lstrlenW(found.cFileName)));
            const changenames::TLeftover<wchar_t> leftover = changenames::ParseLeftover<wchar_t>(name);
            // A change writes files only.
            if (leftover.Kind == changenames::TKind::None ||
                (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                continue;
            // The pending mark is named after the installation, the others after its files.
            const bool pending = leftover.Kind == changenames::TKind::Pending;
            bool ours = false;
            for (std::wstring_view suffix : {Text(payload::kScrSuffixW), Text(payload::kReadMeSuffixW),
                                             Text(payload::kUninstallerSuffixW), L""sv})
                ours = ours || (suffix.empty() == pending && SameText(leftover.File, Cat({FName, suffix})));
            if (ours) RemoveFile(Cat({folder, L"\\"sv, name}), false);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }

    // This run's change id in FId: kChangeIdDigits lowercase hex digits from the system's
    // random generator, drawn once. False when the generator fails.
    bool ChangeId() {
        if (FIdDrawn) return true;
        unsigned char random[payload::kChangeIdDigits / 2];
        if (!RtlGenRandom(random, sizeof random)) return false;
        hextext::Write(random, sizeof random, FId);
        return FIdDrawn = true;
    }

    // Deletes the file open as file (it goes with the last handle to it), retrying while
    // it is still mapped as the image of a process that has just ended. A read-only file
    // loses that attribute first.
    static bool DeleteByHandle(HANDLE file) {
        FILE_BASIC_INFO basic;
        if (GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) &&
            (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
            basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
            if (!basic.FileAttributes) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL; // 0 would keep them
            SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
        }
        FILE_DISPOSITION_INFO dispose{TRUE};
        const DWORD start = GetTickCount();
        while (!SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose)) {
            const DWORD err = GetLastError();
            if ((err != ERROR_ACCESS_DENIED && err != ERROR_SHARING_VIOLATION) ||
                GetTickCount() - start > kDeleteRetryMs)
                return false;
            Sleep(100);
        }
        return true;
    }

    TText Caption() const { return Cat({FName, L" のアンインストール"sv}); }

    void Show(const TText& text, UINT icon) const { Show(text.c_str(), icon); }
    // The removal step shows nothing: what the user sees comes from the user's own run.
    void Show(const wchar_t* text, UINT icon, const wchar_t* caption = nullptr) const {
        if (FSilent || FRemoveStep) return;
        MessageBoxW(nullptr, text, caption ? caption : Caption().c_str(), MB_OK | icon | MB_SETFOREGROUND);
    }

    int Ask(const TText& text) const {
        return MessageBoxW(nullptr, text.c_str(), Caption().c_str(),
                           MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND);
    }

    bool FSilent;
    bool FRemoveStep;
    TText FName;
    // The registration removed: HKLM for everyone, HKCU for the current user alone
    // (FPerUser), whose removal this process does itself.
    HKEY FRoot = HKEY_LOCAL_MACHINE;
    bool FPerUser = false;
    // The removal step's outcome: what stays, and whether anything waits for a restart.
    TFailures FFailed;
    bool FScheduled = false;
    wchar_t FId[payload::kChangeIdDigits];
    bool FIdDrawn = false;
};

int Main() {
    // A writable copy of the command line, split in place: the arguments are views of it.
    const wchar_t* commandLine = GetCommandLineW();
    TText line{std::wstring_view(commandLine, static_cast<std::size_t>(lstrlenW(commandLine)))};
    TArgSplitter args(line.Buffer(), line.Size());
    std::wstring_view program;
    args.Next(program);
    TUninstArgs parsed = ParseUninstArgs(args);
    if (!parsed.Valid) {
        if (!parsed.Silent) {
            TText text = Cat({L"コマンドラインが正しくありません。\n\n使い方: "sv, FileNameOf(ProgramPath()),
                              L" [/S]\n  /S  確認や結果を表示せずにアンインストールします。"sv});
            MessageBoxW(nullptr, text.c_str(), L"アンインストール", MB_OK | MB_ICONERROR);
        }
        return kExitBadArguments;
    }
    TUninstaller uninstaller(parsed.Silent, parsed.Remove);
    if (parsed.Cleanup) return uninstaller.Cleanup(parsed.Cleanup, parsed.Parent, parsed.Caller);
    return uninstaller.Run();
}

} // namespace

// The entry point, called by Windows itself: the program is linked without the C
// runtime's start-up code (-nostartfiles), which would only initialise what it does not
// use (C++ constructors, stdio, the C locale) and adds a third of its size. Nothing
// here may therefore rely on the C runtime being initialised.
extern "C" [[noreturn]] void UninstStart() {
    // Before anything can load a DLL: never from the program's own folder.
    sys::HardenDllSearch();
    ExitProcess(static_cast<UINT>(Main()));
}
