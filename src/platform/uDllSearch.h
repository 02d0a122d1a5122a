#pragma once
// The hardened start-up every shipped program runs first. Header-only and free of the C++
// runtime, so that the uninstaller, which links none of the project's libraries, shares it.
#include <windows.h>

namespace sys {

// Restricts the process's DLL search to the system directory. Call first thing in the
// program's entry; later LoadLibrary calls without a full path then never look beside the
// exe (an installer run from a Downloads folder must not load a DLL planted there).
inline void HardenDllSearch() {
    // SetDefaultDllDirectories is looked up because it is missing on unpatched Windows 7.
    using Fn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto setDefault = kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(
                                   GetProcAddress(kernel, "SetDefaultDllDirectories")))
                             : nullptr;
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Also drop the current directory from the legacy search order.
    SetDllDirectoryW(L"");
}

} // namespace sys
