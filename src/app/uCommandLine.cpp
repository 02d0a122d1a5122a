#include "app/uCommandLine.h"

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

} // namespace

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
        std::size_t end = 0;
        while (end < rest.size() && !IsBlank(rest[end])) ++end;
        const std::wstring_view word = rest.substr(0, end);
        if (word == L"/S" || word == L"/s")
            r.Silent = true;
        else if (word == L"/?")
            r.Help = true;
        else
            r.Bad = true;
        rest.remove_prefix(end);
        while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    }
    return r;
}

TSetupExit SilentExitForVerdict(const TStartupVerdict& verdict) {
    if (verdict.Welcome) return TSetupExit::Installed;
    return verdict.OfferDownload ? TSetupExit::PlayerMissing : TSetupExit::InvalidPayload;
}

TSetupExit SilentExitForInstall(TInstallResult result) {
    switch (result) {
    case TInstallResult::Installed:
        return TSetupExit::Installed;
    case TInstallResult::NoDestination:
        return TSetupExit::NoDestination;
    case TInstallResult::NoName:
        return TSetupExit::InvalidPayload;
    case TInstallResult::WriteFailed:
        break;
    }
    return TSetupExit::WriteFailed;
}
