#include "app/uCommandLine.h"

#include "app/uOwnBinding.h"

#include <algorithm>

namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// The command line without the program's own name and the blanks after it.
std::wstring_view Arguments(std::wstring_view line) {
    std::size_t i = 0;
    if (!line.empty() && line[0] == L'"') {
        const std::size_t close = line.find(L'"', 1);
        i = close == std::wstring_view::npos ? line.size() : close + 1;
    }
    while (i < line.size() && !IsBlank(line[i])) ++i;
    while (i < line.size() && IsBlank(line[i])) ++i;
    return line.substr(i);
}

// Up to 16 hexadecimal digits; anything else makes the line bad.
std::uintptr_t ParseReportWindow(std::wstring_view digits, bool& bad) {
    std::uint64_t value = 0;
    if (digits.empty() || digits.size() > 16) bad = true;
    for (wchar_t c : digits) {
        const int d = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
        if (d < 0) {
            bad = true;
            return 0;
        }
        value = value << 4 | static_cast<unsigned>(d);
    }
    return static_cast<std::uintptr_t>(value);
}

} // namespace

std::wstring StepArguments(const TSha256& binding, std::uintptr_t reportWindow, std::wstring_view folder) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring window;
    for (std::uint64_t v = reportWindow; window.empty() || v != 0; v >>= 4)
        window.insert(window.begin(), kDigits[v & 15]);
    return L"/STEP=" + BindingText(binding) + L" /REPORT=" + window + L" /D=" + std::wstring(folder);
}

TSetupCommandLine ParseSetupCommandLine(std::wstring_view commandLine) {
    TSetupCommandLine r;
    std::wstring_view rest = Arguments(commandLine);
    while (!rest.empty()) {
        if (rest.size() >= 3 && rest[0] == L'/' && (rest[1] == L'D' || rest[1] == L'd') && rest[2] == L'=') {
            std::wstring_view folder = rest.substr(3);
            while (!folder.empty() && IsBlank(folder.back())) folder.remove_suffix(1);
            r.HasDestination = true;
            r.Destination.assign(folder);
            if (folder.empty()) r.Bad = true;
            break;
        }
        // A quoted log path may hold blanks: its word runs to the closing quote.
        const bool quotedLog = rest.starts_with(L"/LOG=\"") || rest.starts_with(L"/log=\"");
        std::size_t end = quotedLog ? std::min(rest.find(L'"', 6), rest.size() - 1) + 1 : 0;
        while (end < rest.size() && !IsBlank(rest[end])) ++end;
        const std::wstring_view word = rest.substr(0, end);
        if (word == L"/S" || word == L"/s")
            r.Silent = true;
        else if (word.starts_with(L"/STEP=")) {
            r.Step = true;
            if (!ParseBindingText(word.substr(6), r.StepBinding)) r.Bad = true;
        } else if (word.starts_with(L"/REPORT="))
            r.ReportWindow = ParseReportWindow(word.substr(8), r.Bad);
        else if (word.starts_with(L"/LOG=") || word.starts_with(L"/log=")) {
            std::wstring_view path = word.substr(5);
            if (quotedLog) {
                // The closing quote ends the word: anything after it, or none, is bad.
                if (path.size() < 3 || path.back() != L'"') r.Bad = true;
                path = path.substr(1, path.size() >= 2 ? path.size() - 2 : 0);
            }
            r.Log.assign(path);
            if (r.Log.empty()) r.Bad = true;
        } else if (word == L"/?")
            r.Help = true;
        else
            r.Bad = true;
        rest.remove_prefix(end);
        while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    }
    return r;
}
