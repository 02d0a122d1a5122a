#include "platform/uSysApi.h"

#include "platform/uSystemFolders.h"

#include <string>

namespace sys {

std::wstring ProgramPath() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

std::wstring SystemDirectory() {
    const TSystemFolder system = SystemFolder();
    return std::wstring(system.View());
}

HMODULE SystemLibrary(const wchar_t* name) {
    HMODULE h = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!h) {
        // Systems without the LOAD_LIBRARY_SEARCH flags: load by full path instead.
        std::wstring path = SystemDirectory();
        if (path.empty()) return nullptr;
        path += L'\\';
        path += name;
        h = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return h;
}

namespace {
// Looks up a function once; the DLL stays loaded for the life of the process.
template <typename F> F Proc(const wchar_t* dll, const char* name) {
    HMODULE h = SystemLibrary(dll);
    return h ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(h, name))) : nullptr;
}
} // namespace

#define SCR_PROC(dll, fn) static const auto p = Proc<decltype(&::fn)>(dll, #fn);

HRESULT CoInitialize(LPVOID reserved) {
    SCR_PROC(L"ole32.dll", CoInitialize);
    return p ? p(reserved) : E_NOTIMPL;
}
void CoUninitialize() {
    SCR_PROC(L"ole32.dll", CoUninitialize);
    if (p) p();
}
void CoTaskMemFree(LPVOID mem) {
    SCR_PROC(L"ole32.dll", CoTaskMemFree);
    if (p) p(mem);
}

namespace {
// COM for the shell's calls, on the thread of the first of them (the GUI thread), from then
// to the program's end (S_FALSE, already initialised, also counts and is balanced).
void ComNeeded() {
    struct TKeptCom {
        bool Initialised = SUCCEEDED(CoInitialize(nullptr));
        ~TKeptCom() {
            if (Initialised) CoUninitialize();
        }
    };
    static TKeptCom com;
}
} // namespace

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out) {
    SCR_PROC(L"ole32.dll", CoCreateInstance);
    if (out) *out = nullptr;
    return p ? p(clsid, outer, context, iid, out) : E_NOTIMPL;
}

HRESULT SHGetSpecialFolderLocation(HWND owner, int csidl, PIDLIST_ABSOLUTE* pidl) {
    SCR_PROC(L"shell32.dll", SHGetSpecialFolderLocation);
    if (pidl) *pidl = nullptr;
    return p ? p(owner, csidl, pidl) : E_NOTIMPL;
}
BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE pidl, LPWSTR path) {
    SCR_PROC(L"shell32.dll", SHGetPathFromIDListW);
    return p ? p(pidl, path) : FALSE;
}
PIDLIST_ABSOLUTE SHBrowseForFolderW(LPBROWSEINFOW bi) {
    ComNeeded();
    SCR_PROC(L"shell32.dll", SHBrowseForFolderW);
    return p ? p(bi) : nullptr;
}
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR params, LPCWSTR dir, INT show) {
    ComNeeded();
    SCR_PROC(L"shell32.dll", ShellExecuteW);
    // SE_ERR_NOASSOC-like failure when shell32 is unavailable.
    return p ? p(owner, verb, file, params, dir, show)
             : reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(31));
}

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) {
    ComNeeded();
    SCR_PROC(L"shell32.dll", ShellExecuteExW);
    if (!p) SetLastError(ERROR_PROC_NOT_FOUND);
    return p ? p(info) : FALSE;
}

DWORD GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle) {
    SCR_PROC(L"version.dll", GetFileVersionInfoSizeW);
    return p ? p(file, handle) : 0;
}
BOOL GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD len, LPVOID data) {
    SCR_PROC(L"version.dll", GetFileVersionInfoW);
    return p ? p(file, handle, len, data) : FALSE;
}
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT len) {
    SCR_PROC(L"version.dll", VerQueryValueW);
    return p ? p(block, subBlock, buffer, len) : FALSE;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* icc) {
    SCR_PROC(L"comctl32.dll", InitCommonControlsEx);
    return p ? p(icc) : FALSE;
}

DWORD ComCtl32MajorVersion() {
    // DllGetVersion is exported by name only; the DLLVERSIONINFO layout is the documented
    // one (size, major, minor, build, platform).
    struct VersionInfo {
        DWORD cbSize, dwMajorVersion, dwMinorVersion, dwBuildNumber, dwPlatformID;
    };
    using Fn = HRESULT(CALLBACK*)(VersionInfo*);
    static const auto p = Proc<Fn>(L"comctl32.dll", "DllGetVersion");
    if (!p) return 0;
    VersionInfo info{sizeof(VersionInfo), 0, 0, 0, 0};
    return SUCCEEDED(p(&info)) ? info.dwMajorVersion : 0;
}

BOOL IsThemeActive() {
    SCR_PROC(L"uxtheme.dll", IsThemeActive);
    return p ? p() : FALSE;
}
BOOL IsAppThemed() {
    SCR_PROC(L"uxtheme.dll", IsAppThemed);
    return p ? p() : FALSE;
}
HTHEME OpenThemeData(HWND hwnd, LPCWSTR classList) {
    SCR_PROC(L"uxtheme.dll", OpenThemeData);
    return p ? p(hwnd, classList) : nullptr;
}
HRESULT CloseThemeData(HTHEME theme) {
    SCR_PROC(L"uxtheme.dll", CloseThemeData);
    return p ? p(theme) : E_NOTIMPL;
}
HRESULT DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, LPCRECT rect, LPCRECT clip) {
    SCR_PROC(L"uxtheme.dll", DrawThemeBackground);
    return p ? p(theme, dc, part, state, rect, clip) : E_NOTIMPL;
}
HRESULT DrawThemeText(HTHEME theme, HDC dc, int part, int state, LPCWSTR text, int len, DWORD flags,
                      DWORD flags2, LPCRECT rect) {
    SCR_PROC(L"uxtheme.dll", DrawThemeText);
    return p ? p(theme, dc, part, state, text, len, flags, flags2, rect) : E_NOTIMPL;
}
HRESULT GetThemeBackgroundContentRect(HTHEME theme, HDC dc, int part, int state, LPCRECT bounds,
                                      LPRECT content) {
    SCR_PROC(L"uxtheme.dll", GetThemeBackgroundContentRect);
    return p ? p(theme, dc, part, state, bounds, content) : E_NOTIMPL;
}
HRESULT DrawThemeParentBackground(HWND hwnd, HDC dc, RECT* rect) {
    SCR_PROC(L"uxtheme.dll", DrawThemeParentBackground);
    return p ? p(hwnd, dc, rect) : E_NOTIMPL;
}

#undef SCR_PROC
} // namespace sys
