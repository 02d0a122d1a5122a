#pragma once
// The uninstaller's command line and naming rules. No Win32 calls here, so the tests
// check them directly.
//
//   <name>Uninst.exe [/S]                                   uninstall (/S: silently)
//   <name>Uninst.exe /_remove [/S]                          the elevated removal step
//   <copy> /_cleanup <handle> /_parent <handle> [/_caller <handle>] [/S]
//                                                           the helper copy's run
//
// The helper's values are handles it inherited, in decimal, never paths: a path on an
// elevated program's command line could name any file.
//
// The uninstaller is built without the C++ runtime: nothing here allocates or can throw.
// Results are views of the text they were taken from; of std::wstring_view only the
// members that cannot throw are used (no substr, at or copy).
#include <cstddef>
#include <cstdint>
#include <string_view>

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
//
// Works in place on a writable copy of the command line: an argument's characters, its
// quotes dropped, are moved to the front of where it started, so each argument is a view
// of that buffer and stays valid while the buffer lives (later arguments are only ever
// written behind the text already read).
class TArgSplitter {
public:
    TArgSplitter(wchar_t* text, std::size_t length) : FText(text), FLength(length) {}

    // The next argument; false when there is none left.
    bool Next(std::wstring_view& arg) {
        while (FRead < FLength && (FText[FRead] == L' ' || FText[FRead] == L'\t')) ++FRead;
        if (FRead >= FLength) return false;
        const std::size_t start = FRead;
        std::size_t write = start;
        bool quoted = false;
        for (; FRead < FLength && (quoted || (FText[FRead] != L' ' && FText[FRead] != L'\t')); ++FRead) {
            if (FText[FRead] == L'"') {
                quoted = !quoted;
            } else {
                FText[write++] = FText[FRead];
            }
        }
        arg = std::wstring_view(FText + start, write - start);
        return true;
    }

private:
    wchar_t* FText;
    std::size_t FLength;
    std::size_t FRead = 0;
};

struct TUninstArgs {
    bool Valid = true;          // false for an unknown switch, a switch without its value or a bad value
    bool Silent = false;        // "/S": no questions, no message boxes, result in the exit code
    bool Remove = false;        // "/_remove": this run is the elevated removal step
    std::uintptr_t Cleanup = 0; // "/_cleanup <n>": this run is the helper copy; the file to delete, inherited
    std::uintptr_t Parent = 0;  // "/_parent <n>": the removal step's process, inherited
    std::uintptr_t Caller = 0;  // "/_caller <n>": the user's first run's process, inherited
};

// Parses the arguments that follow the program name, taken one by one from args (a
// TArgSplitter, or anything with the same bool Next(std::wstring_view&)). Switches are
// case-insensitive and may start with '/' or '-'.
template <typename TArgs> TUninstArgs ParseUninstArgs(TArgs& args) {
    using namespace std::string_view_literals; // lengths known when compiled, no wcslen
    TUninstArgs r;
    auto isSwitch = [](std::wstring_view a, std::wstring_view name) {
        if (a.size() != name.size() + 1 || (a[0] != L'/' && a[0] != L'-')) return false;
        a.remove_prefix(1);
        return EqualsAsciiNoCase(a, name);
    };
    // A handle value: decimal digits, not 0. Anything else (a path) makes the line invalid.
    auto handle = [&](std::uintptr_t& out) {
        std::wstring_view value;
        args.Next(value); // none: empty, so invalid
        std::uintptr_t v = 0;
        for (wchar_t c : value) {
            if (c < L'0' || c > L'9' || v > (UINTPTR_MAX - 9) / 10) {
                v = 0;
                break;
            }
            v = v * 10 + static_cast<std::uintptr_t>(c - L'0');
        }
        out = v;
        if (v == 0) r.Valid = false;
    };
    std::wstring_view a;
    while (args.Next(a)) {
        if (isSwitch(a, L"s"sv)) {
            r.Silent = true;
        } else if (isSwitch(a, L"_remove"sv)) {
            r.Remove = true;
        } else if (isSwitch(a, L"_cleanup"sv)) {
            handle(r.Cleanup);
        } else if (isSwitch(a, L"_parent"sv)) {
            handle(r.Parent);
        } else if (isSwitch(a, L"_caller"sv)) {
            handle(r.Caller);
        } else {
            r.Valid = false;
        }
    }
    // The process handles only mean something to the helper copy, which needs the step's.
    if (!r.Cleanup != !r.Parent || (r.Caller && !r.Cleanup)) r.Valid = false;
    if (r.Remove && r.Cleanup) r.Valid = false;
    return r;
}

// The screensaver's name from the uninstaller's file name "<name>Uninst.exe" (the suffix
// in any case), as a view of fileName; empty when the name does not have that form or
// <name> is empty.
inline std::wstring_view ScreenSaverNameFromFileName(std::wstring_view fileName) {
    if (fileName.size() <= kUninstSuffix.size()) return {};
    const std::size_t nameLength = fileName.size() - kUninstSuffix.size();
    if (!EqualsAsciiNoCase(std::wstring_view(fileName.data() + nameLength, kUninstSuffix.size()),
                           kUninstSuffix))
        return {};
    return std::wstring_view(fileName.data(), nameLength);
}

// The program path in a command or path value ("UninstallString", "SCRNSAVE.EXE"), as a
// view of value: the text between the first pair of quotes when it starts with one,
// otherwise the whole value (an unquoted path may hold spaces), without surrounding white
// space.
inline std::wstring_view ProgramPathOf(std::wstring_view value) {
    auto trim = [](std::wstring_view s) {
        while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) s.remove_prefix(1);
        while (!s.empty() && (s.back() == L' ' || s.back() == L'\t')) s.remove_suffix(1);
        return s;
    };
    value = trim(value);
    if (!value.empty() && value.front() == L'"') {
        value.remove_prefix(1);
        std::size_t end = 0;
        while (end < value.size() && value[end] != L'"') ++end;
        return trim(std::wstring_view(value.data(), end));
    }
    return value;
}
