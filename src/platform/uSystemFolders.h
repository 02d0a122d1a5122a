#pragma once
// The system's own folders, asked of the system, never of the environment (which the
// user's HKCU\Environment feeds). Header-only and free of the C++ runtime, so that the
// uninstaller, which links none of the project's libraries, shares it.
#include <windows.h>

#include <string_view>

namespace sys {

// A folder's full path without a trailing "\", in a terminated buffer of its own; empty
// when the system cannot tell it. Filled in place and never copied: the uninstaller has no
// memset or memcpy to clear or copy it with.
struct TSystemFolder {
    wchar_t Path[MAX_PATH];
    UINT Size = 0;
    bool Empty() const { return Size == 0; }
    std::wstring_view View() const { return std::wstring_view(Path, Size); }
};

namespace detail {
inline TSystemFolder AskSystemFolder(UINT(WINAPI* ask)(LPWSTR, UINT)) {
    TSystemFolder folder;
    UINT n = ask(folder.Path, MAX_PATH);
    if (n >= MAX_PATH) n = 0; // longer than the buffer: not told
    while (n > 0 && folder.Path[n - 1] == L'\\') --n;
    folder.Path[n] = L'\0';
    folder.Size = n;
    return folder;
}
} // namespace detail

// The system directory (System32).
inline TSystemFolder SystemFolder() {
    return detail::AskSystemFolder(GetSystemDirectoryW);
}

// The system's Windows directory, not a per-user one a terminal session may give.
inline TSystemFolder WindowsFolder() {
    return detail::AskSystemFolder(GetSystemWindowsDirectoryW);
}

} // namespace sys
