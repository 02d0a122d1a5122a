// The uninstaller the installer writes next to a screensaver as <name>Uninst.exe, with
// an item container holding the installation's "GUID" at its end.
//
// It removes <name>.scr and <name>.txt from its own folder, the current-screensaver
// setting when that names this screensaver, and the uninstall registration <name> when
// that names this program. Then it removes itself: a running program's file cannot be
// deleted, so it copies itself into a fresh private folder under %TEMP% and starts the
// copy as a helper, which waits for this process to end, deletes the original and
// schedules its own removal (and its folder's) for the next restart.
//
// Paths stay UTF-16 here: they come from the wide API and go back to it only, and the
// temporary folder may hold characters that code page 932 has no form for.
#include "UninstArgs.h"
#include "platform/uSysApi.h"
#include "platform/uWinHandles.h"
#include "store/uExeAdder.h"

#include <windows.h>

#include <sddl.h>

#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kUninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kScreenSaverValue[] = L"SCRNSAVE.EXE";
// How long the helper keeps trying once the first run has ended: its image may stay
// mapped for a moment after the process object is signalled. (The first run itself is
// waited for without limit: it may be showing its final message box.)
constexpr DWORD kDeleteRetryMs = 10000;

enum TExitCode : int {
    kExitOk = 0,
    kExitCancelled = 1,    // the user answered No
    kExitNotInstalled = 2, // not "<name>Uninst.exe", or no "GUID" item: not an installed uninstaller
    kExitIncomplete = 3,   // something could not be removed
    kExitBadArguments = 4,
};

std::wstring FolderOf(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring FileNameOf(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Calls a "fill this buffer, or tell me the size" path function until the text fits.
template <typename F> std::wstring PathCall(F call, const std::wstring& in) {
    std::wstring out(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD n = call(in.c_str(), out.data(), static_cast<DWORD>(out.size()));
        if (n == 0) return {};
        if (n < out.size()) {
            out.resize(n);
            return out;
        }
        out.resize(n);
    }
    return {};
}

std::wstring FullPath(const std::wstring& path) {
    return PathCall(
        [](LPCWSTR in, LPWSTR out, DWORD size) { return GetFullPathNameW(in, size, out, nullptr); }, path);
}

// The long form of a path. A file that no longer exists keeps its name, under the long
// form of its folder.
std::wstring LongForm(const std::wstring& path) {
    std::wstring full = FullPath(path);
    if (full.empty()) return path;
    std::wstring longer = PathCall(GetLongPathNameW, full);
    if (!longer.empty()) return longer;
    std::wstring folder = PathCall(GetLongPathNameW, FolderOf(full));
    return folder.empty() ? full : folder + L"\\" + FileNameOf(full);
}

std::wstring ShortForm(const std::wstring& path) {
    return PathCall(GetShortPathNameW, path);
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// Two names of the same file: equal as written, in their long forms or in their short
// (8.3) forms, ignoring case.
bool SamePath(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) return false;
    if (SameText(a, b) || SameText(LongForm(a), LongForm(b))) return true;
    std::wstring sa = ShortForm(a), sb = ShortForm(b);
    return !sa.empty() && !sb.empty() && SameText(sa, sb);
}

// A string value (REG_SZ, or REG_EXPAND_SZ expanded); nothing when it is missing or of
// another type.
std::optional<std::wstring> ReadString(HKEY key, const wchar_t* name) {
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes) !=
        ERROR_SUCCESS)
        return std::nullopt;
    // The stored data need not end in a NUL, or may end in several.
    value.resize(bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    if (type == REG_EXPAND_SZ) {
        std::wstring expanded = PathCall(
            [](LPCWSTR in, LPWSTR out, DWORD size) { return ExpandEnvironmentStringsW(in, out, size); },
            value);
        // The count includes the terminating NUL.
        while (!expanded.empty() && expanded.back() == L'\0') expanded.pop_back();
        if (!expanded.empty()) value = expanded;
    }
    return value;
}

// True when the program's own file carries an item container with a "GUID" item: only
// such a file was written by the installer, next to what it installed.
bool HasInstallationGuid(const std::wstring& path) {
    try {
        TItemTypes items;
        ReadItems(path, items);
        for (const TItemType& item : items) {
            if (item.Name == "GUID") return true;
        }
    } catch (const std::exception&) {
        // A damaged container is no installation record.
    }
    return false;
}

// What one run could not remove, in words for the user.
using TFailures = std::vector<std::wstring>;

void DeleteInstalledFile(const std::wstring& path, TFailures& failed) {
    DWORD attr = GetFileAttributesW(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) {
        DWORD err = GetLastError();
        if (err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND) failed.push_back(path);
        return; // already gone
    }
    if (attr & FILE_ATTRIBUTE_DIRECTORY) { // not what the installer wrote: leave it
        failed.push_back(path);
        return;
    }
    if (attr & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attr & ~FILE_ATTRIBUTE_READONLY);
    if (!DeleteFileW(path.c_str())) {
        if (attr & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attr);
        failed.push_back(path);
    }
}

// Removes the current-screensaver setting when it names scrPath (in whatever form);
// another screensaver stays. Runs before the file is deleted: the short and long forms
// can only be resolved while it exists.
void ResetScreenSaver(const std::wstring& scrPath, TFailures& failed) {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Put()) !=
        ERROR_SUCCESS)
        return;
    std::optional<std::wstring> current = ReadString(key.Get(), kScreenSaverValue);
    if (!current || !SamePath(ProgramPathOf(*current), scrPath)) return;
    if (RegDeleteValueW(key.Get(), kScreenSaverValue) != ERROR_SUCCESS)
        failed.push_back(std::wstring(L"HKEY_CURRENT_USER\\") + kDesktopKey + L"\\" + kScreenSaverValue);
}

// Deletes HKLM "...\Uninstall\<name>" when its "UninstallString" names this program; a
// key of that name that belongs to another product stays.
void DeleteUninstallKey(const std::wstring& name, const std::wstring& self, TFailures& failed) {
    std::wstring subKey = kUninstallRoot + name;
    std::wstring shown = L"HKEY_LOCAL_MACHINE\\" + subKey;
    std::optional<std::wstring> command;
    {
        UniqueHKey key;
        LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_QUERY_VALUE, key.Put());
        if (rc == ERROR_FILE_NOT_FOUND) return;
        if (rc != ERROR_SUCCESS) {
            failed.push_back(shown);
            return;
        }
        command = ReadString(key.Get(), L"UninstallString");
    }
    if (!command || !SamePath(ProgramPathOf(*command), self)) return;
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, subKey.c_str());
    if (RegDeleteKeyW(HKEY_LOCAL_MACHINE, subKey.c_str()) != ERROR_SUCCESS) {
        UniqueHKey check;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_QUERY_VALUE, check.Put()) !=
            ERROR_FILE_NOT_FOUND)
            failed.push_back(shown);
    }
}

constexpr wchar_t kPrivatePrefix[] = L"~scrun";

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return {};
    std::wstring folder(temp, n);
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

// A new folder of our own under %TEMP%: created here, so nobody else placed files in it.
// The copy started from it runs elevated, while %TEMP% is writable by every process of the
// user, elevated or not: the folder's access list (inherited by what is put into it) lets
// in only administrators, the system and the folder's owner, so a non-elevated process
// cannot swap the copy before it starts. (An elevated run's objects are owned by the
// administrators group, not by the user.)
std::wstring CreatePrivateFolder() {
    std::wstring temp = TempFolder();
    if (temp.empty()) return {};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, FALSE};
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FA;;;OW)", SDDL_REVISION_1, &descriptor, nullptr))
        sa.lpSecurityDescriptor = descriptor;
    struct TFree {
        PSECURITY_DESCRIPTOR D;
        ~TFree() { LocalFree(D); }
    } freeDescriptor{descriptor};
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    auto seed = static_cast<std::uint32_t>(t.QuadPart) ^ (GetCurrentProcessId() << 16) ^ GetTickCount();
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 1664525u + 1013904223u;
        wchar_t name[16];
        wsprintfW(name, L"%08X", seed);
        std::wstring folder = temp + L"\\" + kPrivatePrefix + name;
        if (CreateDirectoryW(folder.c_str(), &sa)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

// True when path lies directly in one of those private folders.
bool InPrivateFolder(const std::wstring& path) {
    std::wstring folder = FolderOf(path);
    return FileNameOf(folder).starts_with(kPrivatePrefix) && SamePath(FolderOf(folder), TempFolder());
}

// Starts the helper copy that deletes target after this process has ended. The helper
// inherits a handle to this process (only that one handle), so it waits on this very
// process even if its id is reused meanwhile.
bool StartHelper(const std::wstring& helper, const std::wstring& target, const std::wstring& folder,
                 bool silent) {
    UniqueHandle me;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), me.Put(), SYNCHRONIZE,
                         TRUE, 0))
        return false;
    HANDLE inherit[] = {me.Get()};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> listBuf(size);
    auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBuf.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return false;
    bool ok = UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherit, sizeof inherit,
                                        nullptr, nullptr);
    if (ok) {
        std::wstring cmd = L"\"" + helper + L"\" /_cleanup \"" + target + L"\" /_parent " +
                           std::to_wstring(reinterpret_cast<std::uintptr_t>(me.Get()));
        if (silent) cmd += L" /S";
        STARTUPINFOEXW si{};
        si.StartupInfo.cb = sizeof si;
        si.lpAttributeList = list;
        PROCESS_INFORMATION pi{};
        // The helper works in its own folder, so it holds no handle on the installation
        // folder.
        ok = CreateProcessW(helper.c_str(), cmd.data(), nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT,
                            nullptr, folder.c_str(), &si.StartupInfo, &pi);
        if (ok) {
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
    }
    DeleteProcThreadAttributeList(list);
    return ok;
}

// Arranges the removal of this program's own file; false when not even a removal at the
// next restart could be arranged.
//
// A running program's file can be renamed though not deleted. On the same volume it is
// first moved into the private folder: the installation folder is then clean the moment
// this process ends, and a caller waiting for it (a silent run) can check at once.
// Elsewhere the helper deletes it in place shortly after this process has ended.
bool RemoveSelf(const std::wstring& self, const std::wstring& name, bool silent) {
    std::wstring folder = CreatePrivateFolder();
    if (folder.empty()) return MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    std::wstring helper = folder + L"\\" + name + L"Cleanup.exe";
    std::wstring parked = folder + L"\\" + FileNameOf(self);
    if (CopyFileW(self.c_str(), helper.c_str(), TRUE)) {
        std::wstring target = MoveFileExW(self.c_str(), parked.c_str(), 0) ? parked : self;
        if (StartHelper(helper, target, folder, silent)) return true;
        DeleteFileW(helper.c_str());
        if (target == parked) { // keep the parked file's removal with its folder's
            bool later = MoveFileExW(parked.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            return later;
        }
    }
    RemoveDirectoryW(folder.c_str());
    return MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

class TUninstaller {
public:
    explicit TUninstaller(bool silent) : FSilent(silent) {}

    int Run() {
        std::wstring self = sys::ProgramPath();
        FName = ScreenSaverNameFromFileName(FileNameOf(self));
        if (FName.empty()) {
            Show(L"このプログラムのファイル名から、削除するスクリーンセーバーを判断できません。\n"
                 L"インストールされたときの名前 (スクリーンセーバー名 + 「Uninst.exe」) "
                 L"のまま実行してください。",
                 MB_ICONERROR, L"アンインストール");
            return kExitNotInstalled;
        }
        if (!HasInstallationGuid(self)) {
            Show(L"このアンインストーラーにはインストール情報が含まれていません。\n"
                 L"スクリーンセーバーのインストーラーが作成したアンインストーラーを実行してください。",
                 MB_ICONERROR);
            return kExitNotInstalled;
        }
        if (!FSilent &&
            Ask(L"「" + FName + L"」スクリーンセーバーをコンピューターから削除します。\nよろしいですか?") !=
                IDYES)
            return kExitCancelled;

        std::wstring folder = FolderOf(self);
        std::wstring scr = folder + L"\\" + FName + L".scr";
        TFailures failed;
        ResetScreenSaver(scr, failed);
        DeleteInstalledFile(scr, failed);
        DeleteInstalledFile(folder + L"\\" + FName + L".txt", failed);
        DeleteUninstallKey(FName, self, failed);
        if (!RemoveSelf(self, FName, FSilent)) failed.push_back(self);

        if (failed.empty()) {
            Show(L"「" + FName + L"」のアンインストールが完了しました。", MB_ICONINFORMATION);
            return kExitOk;
        }
        std::wstring list;
        for (const auto& f : failed) list += L"  " + f + L"\n";
        Show(L"次の項目を削除できませんでした。\n\n" + list +
                 L"\n使用中の場合は、スクリーンセーバーの設定画面などを閉じてから手動で削除してください。",
             MB_ICONWARNING);
        return kExitIncomplete;
    }

    // The helper copy's run: waits for the first run to end, deletes its file, and
    // schedules its own removal. It only ever deletes an installed uninstaller.
    int Cleanup(const std::wstring& target, std::uintptr_t parent) {
        std::wstring self = sys::ProgramPath();
        FName = ScreenSaverNameFromFileName(FileNameOf(target));
        bool allowed = !FName.empty() && !SamePath(target, self) && HasInstallationGuid(target);
        if (parent) {
            UniqueHandle process(reinterpret_cast<HANDLE>(parent));
            if (allowed) WaitForSingleObject(process.Get(), INFINITE);
        }
        int result = kExitBadArguments;
        if (allowed) {
            result = DeleteWhenUnlocked(target) ? kExitOk : kExitIncomplete;
            if (result != kExitOk) {
                // Last resort: at the next restart.
                bool later = MoveFileExW(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
                Show(L"アンインストーラー\n  " + target + L"\nを削除できませんでした。" +
                         (later ? L"\nコンピューターの再起動後に削除されます。"
                                : L"\n手動で削除してください。"),
                     MB_ICONWARNING);
            }
        }
        // A running program cannot delete its own file: the copy and its private folder
        // go at the next restart (the folder after the file, in that order). Only a copy
        // that really runs from such a folder does this, never one started elsewhere.
        if (allowed && InPrivateFolder(self)) {
            MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            MoveFileExW(FolderOf(self).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
        return result;
    }

private:
    static bool DeleteWhenUnlocked(const std::wstring& path) {
        DWORD start = GetTickCount();
        while (true) {
            DWORD attr = GetFileAttributesW(path.c_str());
            if (attr == INVALID_FILE_ATTRIBUTES) return true;
            if (attr & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesW(path.c_str(), attr & ~FILE_ATTRIBUTE_READONLY);
            if (DeleteFileW(path.c_str())) return true;
            DWORD err = GetLastError();
            if (err != ERROR_ACCESS_DENIED && err != ERROR_SHARING_VIOLATION) return false;
            if (GetTickCount() - start > kDeleteRetryMs) return false;
            Sleep(100);
        }
    }

    std::wstring Caption() const { return FName + L" のアンインストール"; }

    void Show(const std::wstring& text, UINT icon, const std::wstring& caption = {}) const {
        if (FSilent) return;
        MessageBoxW(nullptr, text.c_str(), caption.empty() ? Caption().c_str() : caption.c_str(),
                    MB_OK | icon | MB_SETFOREGROUND);
    }

    int Ask(const std::wstring& text) const {
        return MessageBoxW(nullptr, text.c_str(), Caption().c_str(),
                           MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND);
    }

    bool FSilent;
    std::wstring FName;
};

int Main() {
    std::vector<std::wstring> all = SplitCommandLine(GetCommandLineW());
    TUninstArgs args =
        ParseUninstArgs(std::vector<std::wstring>(all.begin() + (all.empty() ? 0 : 1), all.end()));
    if (!args.Valid) {
        if (!args.Silent) {
            std::wstring text = L"コマンドラインが正しくありません。\n\n使い方: " + FileNameOf(sys::ProgramPath()) +
                                L" [/S]\n  /S  確認や結果を表示せずにアンインストールします。";
            MessageBoxW(nullptr, text.c_str(), L"アンインストール", MB_OK | MB_ICONERROR);
        }
        return kExitBadArguments;
    }
    TUninstaller uninstaller(args.Silent);
    if (!args.CleanupTarget.empty()) return uninstaller.Cleanup(args.CleanupTarget, args.Parent);
    return uninstaller.Run();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a DLL: never from the program's own folder.
    sys::HardenDllSearch();
    try {
        return Main();
    } catch (...) {
        return kExitIncomplete;
    }
}
