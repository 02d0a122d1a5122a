#pragma once
// The screensaver command line as Windows and the Display Properties dialog pass it:
//   /s          run full screen              /p HWND, /p:HWND   preview inside HWND
//   /c, /c:HWND settings (owned by HWND)      /a HWND            change password (Windows 9x)
//   nothing     settings
// The switch may start with '/' or '-' and is case-insensitive. Anything else opens the
// settings, as the system's own screensavers do.
#include <cstdint>
#include <string_view>

enum class TScrMode { Settings, Saver, Preview, Password };

struct TScrArgs {
    TScrMode Mode = TScrMode::Settings;
    std::uintptr_t Window = 0; // the window handle given after the switch, 0 when none
};

// The arguments of a full command line (GetCommandLineW): the program name, quoted or
// not, is skipped first.
inline std::wstring_view SkipProgramName(std::wstring_view cmd) {
    std::size_t i = 0;
    if (!cmd.empty() && cmd[0] == L'"') {
        i = cmd.find(L'"', 1);
        i = i == std::wstring_view::npos ? cmd.size() : i + 1;
    } else {
        while (i < cmd.size() && cmd[i] != L' ' && cmd[i] != L'\t') ++i;
    }
    return cmd.substr(i);
}

// Parses the arguments (without the program name).
inline TScrArgs ParseScrArgs(std::wstring_view args) {
    auto isSpace = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    std::size_t i = 0;
    while (i < args.size() && isSpace(args[i])) ++i;
    TScrArgs result;
    if (i + 1 >= args.size() || (args[i] != L'/' && args[i] != L'-')) return result;
    wchar_t letter = args[i + 1];
    if (letter >= L'A' && letter <= L'Z') letter = static_cast<wchar_t>(letter - L'A' + L'a');
    switch (letter) {
    case L's':
        result.Mode = TScrMode::Saver;
        break;
    case L'p':
        result.Mode = TScrMode::Preview;
        break;
    case L'a':
        result.Mode = TScrMode::Password;
        break;
    case L'c':
        result.Mode = TScrMode::Settings;
        break;
    default:
        return result; // anything unknown: settings without an owner
    }
    if (result.Mode == TScrMode::Saver) return result;

    // The window handle: after a colon or white space, in decimal. Stops at the first
    // non-digit; a value that does not fit a handle is treated as none.
    i += 2;
    if (i < args.size() && args[i] == L':') ++i;
    while (i < args.size() && isSpace(args[i])) ++i;
    std::uintptr_t value = 0;
    bool any = false;
    for (; i < args.size() && args[i] >= L'0' && args[i] <= L'9'; ++i) {
        std::uintptr_t digit = static_cast<std::uintptr_t>(args[i] - L'0');
        if (value > (UINTPTR_MAX - digit) / 10) return {result.Mode, 0};
        value = value * 10 + digit;
        any = true;
    }
    result.Window = any ? value : 0;
    return result;
}
