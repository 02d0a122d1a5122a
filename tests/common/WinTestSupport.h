#pragma once
// Helpers shared by the Windows tests: registry values read, written and put back, the
// test program's folder, programs run and waited for, and installers built by scrpack.exe.
#ifdef _WIN32
#include "WinDriver.h"

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

// A registry key (with everything below it) deleted when the test ends, also when the key
// was only created by the code under test.
class ScopedRegTree {
public:
    ScopedRegTree(HKEY root, std::wstring subKey) : FRoot(root), FSubKey(std::move(subKey)) { Delete(); }
    ~ScopedRegTree() { Delete(); }
    ScopedRegTree(const ScopedRegTree&) = delete;
    ScopedRegTree& operator=(const ScopedRegTree&) = delete;

private:
    void Delete() { RegDeleteTreeW(FRoot, FSubKey.c_str()); }
    HKEY FRoot;
    std::wstring FSubKey;
};

// For the object's life HKEY_CLASSES_ROOT shows HKCU\Software\Classes, as Windows merges
// the user's own classes into it (Wine's does not): a look-up that reads the user's
// registrations through that root is caught.
class ScopedUserClassesRoot {
public:
    ScopedUserClassesRoot() {
        HKEY user = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_READ, &user) != ERROR_SUCCESS)
            return;
        FOk = RegOverridePredefKey(HKEY_CLASSES_ROOT, user) == ERROR_SUCCESS;
        RegCloseKey(user);
    }
    ~ScopedUserClassesRoot() { RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr); }
    ScopedUserClassesRoot(const ScopedUserClassesRoot&) = delete;
    ScopedUserClassesRoot& operator=(const ScopedUserClassesRoot&) = delete;
    bool Ok() const { return FOk; }

private:
    bool FOk = false;
};

// What RawRegString gives for a value that cannot be read; SetRegString deletes the value.
inline const std::wstring kMissing = L"<missing>";

// A REG_SZ value read straight from the registry (value null: the key's default value).
inline std::wstring RawRegString(HKEY root, const std::wstring& key, const wchar_t* value) {
    wchar_t buffer[4096];
    DWORD size = sizeof buffer;
    if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return kMissing;
    return buffer;
}

// Writes a REG_SZ value (its key made when missing); kMissing deletes it.
inline void SetRegString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    if (value == kMissing)
        RegDeleteKeyValueW(root, key.c_str(), name);
    else
        RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// A REG_DWORD value; 0xFFFFFFFF when it cannot be read.
inline DWORD RegNumber(HKEY root, const std::wstring& key, const wchar_t* name) {
    DWORD value = 0, size = sizeof value;
    return RegGetValueW(root, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS
               ? value
               : 0xFFFFFFFF;
}

inline bool RegKeyExists(HKEY root, const std::wstring& key) {
    HKEY k;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

// For its life one value (of any type) may change: then it is as it was before, or gone
// with its key when the key was made meanwhile (name empty: the key's default value).
class ScopedRegValue {
public:
    ScopedRegValue(HKEY root, std::wstring key, std::wstring name)
        : FRoot(root), FKey(std::move(key)), FName(std::move(name)), FNewKey(!RegKeyExists(root, FKey)) {
        DWORD size = 0;
        if (RegGetValueW(FRoot, FKey.c_str(), Name(), kAny, &FType, nullptr, &size) != ERROR_SUCCESS) return;
        FOld.resize(size);
        FHad = RegGetValueW(FRoot, FKey.c_str(), Name(), kAny, nullptr, FOld.data(), &size) == ERROR_SUCCESS;
        FOld.resize(size);
    }
    ~ScopedRegValue() {
        if (FHad)
            RegSetKeyValueW(FRoot, FKey.c_str(), Name(), FType, FOld.data(), static_cast<DWORD>(FOld.size()));
        else
            RegDeleteKeyValueW(FRoot, FKey.c_str(), Name());
        if (FNewKey) RegDeleteKeyW(FRoot, FKey.c_str());
    }
    ScopedRegValue(const ScopedRegValue&) = delete;
    ScopedRegValue& operator=(const ScopedRegValue&) = delete;

private:
    static constexpr DWORD kAny = RRF_RT_ANY | RRF_NOEXPAND;
    const wchar_t* Name() const { return FName.empty() ? nullptr : FName.c_str(); }
    HKEY FRoot;
    std::wstring FKey, FName;
    bool FNewKey, FHad = false;
    DWORD FType = REG_NONE;
    std::vector<BYTE> FOld;
};

// The user's current screensaver (kMissing: none).
inline const std::wstring kDesktopKey = L"Control Panel\\Desktop";
inline std::wstring CurrentScreenSaver() {
    return RawRegString(HKEY_CURRENT_USER, kDesktopKey, L"SCRNSAVE.EXE");
}
inline void SetCurrentScreenSaver(const std::wstring& path) {
    SetRegString(HKEY_CURRENT_USER, kDesktopKey, L"SCRNSAVE.EXE", path);
}
// The user's current screensaver, put back when the test ends.
class ScopedScreenSaver : ScopedRegValue {
public:
    ScopedScreenSaver() : ScopedRegValue(HKEY_CURRENT_USER, kDesktopKey, L"SCRNSAVE.EXE") {}
};

// Restores an environment variable of this process when the test ends.
class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const wchar_t* value) : FName(name) {
        wchar_t buffer[32768];
        DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
        FHad = n > 0 && n < 32768;
        if (FHad) FOld.assign(buffer, n);
        SetEnvironmentVariableW(name, value);
    }
    ~ScopedEnv() { SetEnvironmentVariableW(FName.c_str(), FHad ? FOld.c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::wstring FName, FOld;
    bool FHad = false;
};

// The folder of the running test program (the programs under test and the helper programs
// are built beside it), and a file there.
inline std::filesystem::path TestBinDir() {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::filesystem::path(std::wstring(buffer, n)).parent_path();
}
inline std::filesystem::path BinFile(const std::wstring& name) {
    return TestBinDir() / name;
}

// Waits up to timeout for a file to appear.
inline bool WaitForFile(const std::filesystem::path& p, std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (std::filesystem::exists(p)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::filesystem::exists(p);
}

// Case-insensitive comparison of Windows paths.
inline bool SamePath(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The short (8.3) form of an existing path; empty when there is none.
inline std::wstring ShortPathOf(const std::filesystem::path& p) {
    wchar_t buf[MAX_PATH];
    DWORD n = GetShortPathNameW(p.c_str(), buf, MAX_PATH);
    return std::wstring(buf, n < MAX_PATH ? n : 0);
}

// A path in double quotes, as a command line takes it.
inline std::wstring Quoted(const std::filesystem::path& p) {
    return L"\"" + p.wstring() + L"\"";
}

// Runs a command line and waits up to ms for its end: its exit code, or STILL_ACTIVE.
inline DWORD RunAndWait(const std::wstring& commandLine, DWORD ms = 30000) {
    return windriver::Process(commandLine).Wait(ms);
}

// Builds an installer at out with scrpack.exe onto the installer program (scrsetup.exe)
// from the screensaver scr and the further options given; true when scrpack succeeded.
inline bool PackInstaller(const std::filesystem::path& out, const std::wstring& options,
                          const std::filesystem::path& scr = BinFile(L"OrvaneSample.scr")) {
    return RunAndWait(Quoted(BinFile(L"scrpack.exe")) + L" build --stub " + Quoted(BinFile(L"scrsetup.exe")) +
                          L" --scr " + Quoted(scr) + L" " + options + L" -o " + Quoted(out),
                      60000) == 0;
}
#endif
