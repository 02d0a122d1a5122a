#pragma once
// How the shell starts a program "as administrator" (the "runas" verb of its class) is
// read from HKEY_CLASSES_ROOT, which lays the user's own classes (HKCU\Software\Classes)
// over the machine's. Any process of the user can write there: pointed at another
// program, the consent prompt would ask for that one and our step would never run. For
// its life, this process's HKEY_CLASSES_ROOT is the machine's classes alone, which only an
// administrator can change. Header-only: the uninstaller uses it without the libraries.
#ifdef _WIN32
#include <windows.h>

#include "platform/uWinHandles.h"

class TMachineClassesOnly {
public:
    TMachineClassesOnly() {
        FError = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes", 0, KEY_READ, FClasses.Put());
        if (FError == ERROR_SUCCESS) FError = RegOverridePredefKey(HKEY_CLASSES_ROOT, FClasses.Get());
    }
    ~TMachineClassesOnly() {
        if (InPlace()) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    }
    TMachineClassesOnly(const TMachineClassesOnly&) = delete;
    TMachineClassesOnly& operator=(const TMachineClassesOnly&) = delete;

    // False: the user's classes could still decide what starts; nothing is started then,
    // and Error says why (the registry's code).
    bool InPlace() const { return FError == ERROR_SUCCESS; }
    DWORD Error() const { return static_cast<DWORD>(FError); }

private:
    UniqueHKey FClasses;
    LSTATUS FError = ERROR_SUCCESS;
};
#endif
