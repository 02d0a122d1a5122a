#pragma once
// The uninstaller's command line and naming rules. No Win32 calls here, so the tests
// check them directly.
//
//   <name>Uninst.exe [/S]                                   uninstall (/S: silently)
//   <copy> /_cleanup "<original>" /_parent <handle> [/S]     the helper copy's run
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::wstring_view kUninstSuffix = L"Uninst.exe";

inline wchar_t FoldAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

inline bool EqualsAsciiNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

// Splits a command line into arguments: white space separates them, double quotes group
// and are removed. Backslashes are taken literally (paths never hold a quote).
inline std::vector<std::wstring> SplitCommandLine(std::wstring_view cmd) {
    std::vector<std::wstring> args;
    std::size_t i = 0;
    while (true) {
        while (i < cmd.size() && (cmd[i] == L' ' || cmd[i] == L'\t')) ++i;
        if (i >= cmd.size()) break;
        std::wstring arg;
        bool quoted = false;
        for (; i < cmd.size() && (quoted || (cmd[i] != L' ' && cmd[i] != L'\t')); ++i) {
            if (cmd[i] == L'"') {
                quoted = !quoted;
            } else {
                arg += cmd[i];
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

struct TUninstArgs {
    bool Valid = true;          // false for an unknown switch or a switch without its value
    bool Silent = false;        // "/S": no questions, no message boxes, result in the exit code
    std::wstring CleanupTarget; // "/_cleanup <path>": this run is the helper copy
    std::uintptr_t Parent = 0;  // "/_parent <n>": the first run's process handle, inherited
};

// Parses the arguments that follow the program name. Switches are case-insensitive and
// may start with '/' or '-'.
inline TUninstArgs ParseUninstArgs(const std::vector<std::wstring>& args) {
    TUninstArgs r;
    auto isSwitch = [](const std::wstring& a, std::wstring_view name) {
        return a.size() == name.size() + 1 && (a[0] == L'/' || a[0] == L'-') &&
               EqualsAsciiNoCase(std::wstring_view(a).substr(1), name);
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        if (isSwitch(a, L"s")) {
            r.Silent = true;
        } else if (isSwitch(a, L"_cleanup") && i + 1 < args.size() && !args[i + 1].empty()) {
            r.CleanupTarget = args[++i];
        } else if (isSwitch(a, L"_parent") && i + 1 < args.size()) {
            const std::wstring& n = args[++i];
            std::uintptr_t v = 0;
            for (wchar_t c : n) {
                if (c < L'0' || c > L'9' || v > (UINTPTR_MAX - 9) / 10) {
                    r.Valid = false;
                    break;
                }
                v = v * 10 + static_cast<std::uintptr_t>(c - L'0');
            }
            r.Parent = n.empty() ? 0 : v;
            if (n.empty()) r.Valid = false;
        } else {
            r.Valid = false;
        }
    }
    // The handle only means something to the helper copy.
    if (r.Parent && r.CleanupTarget.empty()) r.Valid = false;
    return r;
}

// The screensaver's name from the uninstaller's file name "<name>Uninst.exe" (the suffix
// in any case); empty when the name does not have that form or <name> is empty.
inline std::wstring ScreenSaverNameFromFileName(std::wstring_view fileName) {
    if (fileName.size() <= kUninstSuffix.size()) return {};
    std::wstring_view tail = fileName.substr(fileName.size() - kUninstSuffix.size());
    if (!EqualsAsciiNoCase(tail, kUninstSuffix)) return {};
    return std::wstring(fileName.substr(0, fileName.size() - kUninstSuffix.size()));
}

// The program path in a command or path value ("UninstallString", "SCRNSAVE.EXE"): the text between the first
// pair of quotes when it starts with one, otherwise the whole value (an unquoted path may hold spaces),
// without surrounding white space.
inline std::wstring ProgramPathOf(std::wstring_view value) {
    auto trim = [](std::wstring_view s) {
        while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) s.remove_prefix(1);
        while (!s.empty() && (s.back() == L' ' || s.back() == L'\t')) s.remove_suffix(1);
        return s;
    };
    value = trim(value);
    if (!value.empty() && value.front() == L'"') {
        std::size_t end = value.find(L'"', 1);
        return std::wstring(
            trim(value.substr(1, end == std::wstring_view::npos ? std::wstring_view::npos : end - 1)));
    }
    return std::wstring(value);
}
