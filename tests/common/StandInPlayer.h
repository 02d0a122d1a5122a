#pragma once
// Registration of the stand-in Flash player (tests/platform/standin) in the test prefix,
// undone when the object goes out of scope. The DLLs are built beside the test programs.
// Test programs that register it hold the CTest resource lock "scr_player_class", so
// no two of them change the class's key at the same time.
#ifdef _WIN32
#include "WinTestSupport.h"

#include <windows.h>

#include <objbase.h>

#include <string>

inline constexpr wchar_t kStandInClsidKey[] = L"CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}";

// Full path of a file beside the running test program.
inline std::wstring BesideTestProgram(const std::wstring& name) {
    return BinFile(name).wstring();
}

// Registers serverPath as the player's in-process server, with the given value type
// (REG_SZ, or REG_EXPAND_SZ for a path holding %variables%). Written through
// HKEY_CLASSES_ROOT, that is for the machine: Wine 8 neither looks up COM classes nor
// reads HKEY_CLASSES_ROOT under HKCU\Software\Classes.
class TStandInRegistration {
public:
    explicit TStandInRegistration(const std::wstring& serverPath, DWORD type = REG_SZ) {
        HKEY key = nullptr;
        std::wstring sub = std::wstring(kStandInClsidKey) + L"\\InprocServer32";
        FOk = RegCreateKeyExW(HKEY_CLASSES_ROOT, sub.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr) == ERROR_SUCCESS;
        if (!FOk) return;
        auto bytes = static_cast<DWORD>((serverPath.size() + 1) * sizeof(wchar_t));
        FOk = RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(serverPath.c_str()),
                             bytes) == ERROR_SUCCESS;
        const wchar_t model[] = L"Apartment";
        FOk = FOk && RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                                    sizeof(model)) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~TStandInRegistration() { RegDeleteTreeW(HKEY_CLASSES_ROOT, kStandInClsidKey); }
    TStandInRegistration(const TStandInRegistration&) = delete;
    TStandInRegistration& operator=(const TStandInRegistration&) = delete;
    bool Ok() const { return FOk; }

private:
    bool FOk = false;
};

// COM initialised for one test, and the servers it loaded unloaded afterwards.
class TComScope {
public:
    TComScope() : FHr(CoInitialize(nullptr)) {}
    ~TComScope() {
        if (SUCCEEDED(FHr)) {
            CoFreeUnusedLibraries();
            CoUninitialize();
        }
    }
    TComScope(const TComScope&) = delete;
    TComScope& operator=(const TComScope&) = delete;
    bool Ok() const { return SUCCEEDED(FHr); }

private:
    HRESULT FHr;
};
#endif
