#pragma once
// Helpers shared by the Windows tests of the platform module.
#ifdef _WIN32
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

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

// A REG_SZ value read straight from the registry; "<missing>" when it cannot be read.
inline std::wstring RawRegString(HKEY root, const wchar_t* key, const wchar_t* value) {
    wchar_t buffer[4096];
    DWORD size = sizeof buffer;
    if (RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return buffer;
}

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

// The folder of the running test program (helper programs are built beside it).
inline std::filesystem::path TestBinDir() {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::filesystem::path(std::wstring(buffer, n)).parent_path();
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
#endif
