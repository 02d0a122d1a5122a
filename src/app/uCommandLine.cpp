#include "app/uCommandLine.h"

#include "store/uHexText.h"
#include "store/uPayloadFormat.h"

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

// The id of the starter's report pipe: a change id (NewChangeId), as the starter draws it;
// anything else makes the line bad.
std::wstring ParseReportPipe(std::wstring_view digits, bool& bad) {
    const bool ok = hextext::IsLowerDigits(digits, payload::kChangeIdDigits);
    if (!ok) bad = true;
    return ok ? std::wstring(digits) : std::wstring();
}

} // namespace

std::wstring StepArguments(const TSha256& binding, std::wstring_view reportPipe, std::wstring_view folder) {
    return L"/STEP=" + hextext::Text<std::wstring>(binding) + L" /REPORT=" + std::wstring(reportPipe) +
           L" /D=" + std::wstring(folder);
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
        else if (word == L"/CURRENTUSER" || word == L"/currentuser")
            r.CurrentUser = true;
        else if (word == L"/ALLUSERS" || word == L"/allusers")
            r.AllUsers = true;
        else if (word.starts_with(L"/STEP=")) {
            r.Step = true;
            if (!hextext::ReadLower(word.substr(6), r.StepBinding.data(), r.StepBinding.size())) r.Bad = true;
        } else if (word.starts_with(L"/REPORT="))
            r.ReportPipe = ParseReportPipe(word.substr(8), r.Bad);
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
    if (r.CurrentUser && r.AllUsers) r.Bad = true;
    return r;
}
