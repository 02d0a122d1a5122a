#pragma once
// System DLLs beyond kernel32, user32, gdi32 and advapi32 are never imported statically:
// a statically imported comctl32, shell32 or ole32 runs its start-up before the program's
// first line, and that start-up loads DLLs (uxtheme, version, ...) from the program's own
// folder: a Downloads folder may hold planted copies. These wrappers load each DLL from
// the system directory on first use and call through GetProcAddress. A function that
// cannot be found answers like a failed call (E_NOTIMPL, null, FALSE or 0).
#ifdef _WIN32
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <uxtheme.h>

#include <string>

namespace sys {

// The full path of the running program, of any length; empty when it cannot be found.
std::wstring ProgramPath();

// The system directory without a trailing "\"; empty when it cannot be found. The current
// folder of every program started for the user: never the installer's own folder.
std::wstring SystemDirectory();

// The module handle of a system DLL, loaded from the system directory and kept for the
// life of the process; null when it cannot be loaded.
HMODULE SystemLibrary(const wchar_t* name);

// ole32
HRESULT CoInitialize(LPVOID reserved);
void CoUninitialize();
void CoTaskMemFree(LPVOID p);
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out);

// shell32
// The browse and open calls initialise COM on the calling thread at the first of them and
// keep it to the end of the program: a start that opens nothing loads no COM for them.
// Meant for the one GUI thread.
HRESULT SHGetSpecialFolderLocation(HWND owner, int csidl, PIDLIST_ABSOLUTE* pidl);
BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE pidl, LPWSTR path);
PIDLIST_ABSOLUTE SHBrowseForFolderW(LPBROWSEINFOW bi);
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR params, LPCWSTR dir, INT show);
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info);

// version
DWORD GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle);
BOOL GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD len, LPVOID data);
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT len);

// comctl32
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* icc);
// The major version of the comctl32 the process uses (6 under a manifest asking for the
// visual-style controls); 0 when it cannot be told.
DWORD ComCtl32MajorVersion();

// uxtheme
BOOL IsThemeActive();
BOOL IsAppThemed();
HTHEME OpenThemeData(HWND hwnd, LPCWSTR classList);
HRESULT CloseThemeData(HTHEME theme);
HRESULT DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, LPCRECT rect, LPCRECT clip);
HRESULT DrawThemeText(HTHEME theme, HDC dc, int part, int state, LPCWSTR text, int len, DWORD flags,
                      DWORD flags2, LPCRECT rect);
HRESULT GetThemeBackgroundContentRect(HTHEME theme, HDC dc, int part, int state, LPCRECT bounds,
                                      LPRECT content);
HRESULT DrawThemeParentBackground(HWND hwnd, HDC dc, RECT* rect);

} // namespace sys
#endif
