#include "components/uBrowser.h"

#include "platform/uShellUtils.h"
#include "store/uHexText.h"
#include "store/uText.h"

namespace {

bool IsAsciiAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsSchemeChar(char c) {
    return IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.';
}

// "name:1234" followed by the end or the path: a host with a port rather than a scheme.
// Only names that look like host names count ("localhost", or with a dot), so that
// "tel:1234" keeps its scheme.
bool IsHostWithPort(std::string_view address, std::size_t colon) {
    const std::string_view name = address.substr(0, colon);
    if (name != "localhost" && name.find('.') == std::string_view::npos) return false;
    std::size_t i = colon + 1;
    while (i < address.size() && IsAsciiDigit(address[i])) ++i;
    return i > colon + 1 &&
           (i == address.size() || address[i] == '/' || address[i] == '?' || address[i] == '#');
}

bool IsLocalPath(std::string_view address) {
    if (address.size() >= 2 && address[0] == '\\' && address[1] == '\\') return true;
    return address.size() >= 3 && IsAsciiAlpha(address[0]) && address[1] == ':' &&
           (address[2] == '\\' || address[2] == '/');
}

} // namespace

std::string CheckURLScheme(std::string_view address) {
    if (address.empty() || IsLocalPath(address)) return std::string(address);
    // A scheme is a letter followed by letters, digits, '+', '-' or '.', then ':'. The scan
    // stops at the first other byte, so a lead byte of a double-byte character ends it.
    std::size_t i = 0;
    if (IsAsciiAlpha(address[0]))
        while (i < address.size() && IsSchemeChar(address[i])) ++i;
    if (i > 0 && i < address.size() && address[i] == ':' && !IsHostWithPort(address, i))
        return std::string(address);
    if (address.starts_with("//")) return "http:" + std::string(address);
    return "http://" + std::string(address);
}

std::string URLArgument(std::string_view url) {
    std::string out;
    bool blank = false;
    // Control characters and '"' are below 0x40 or 0x7F, so none of them can be the trail
    // byte of a double-byte character: a byte-wise scan is safe.
    for (char c : url) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '"') {
            char digits[2];
            hextext::Write(&b, 1, digits, hextext::TLetters::Upper);
            out.append("%").append(digits, 2);
        } else {
            blank = blank || c == ' ';
            out += c;
        }
    }
    if (!blank) return out;
    // Inside quotes, backslashes right before the closing quote would escape it: double them
    // (a 5C trail byte of a double-byte character is not a backslash and stays single).
    std::size_t trailing = 0;
    std::string_view rest = out;
    while (EndsWithChar932(rest, '\\')) {
        rest.remove_suffix(1);
        ++trailing;
    }
    return '"' + out + std::string(trailing, '\\') + '"';
}

std::string BrowserCommandLine(std::string_view browserPath, std::string_view url) {
    return QuoteString(browserPath, '"') + ' ' + URLArgument(url);
}

std::string BrowserPathFromCommand(std::string_view associatedCommand) {
    if (associatedCommand.empty()) return {};
    return UnquoteString(associatedCommand, '"');
}

bool ShellOpenNeedsFallback(std::intptr_t shellResult) {
    return shellResult <= 32 && shellResult != 2;
}

// ---- TBrowser -----------------------------------------------------------------------------

TBrowser::TBrowser(TComponent* owner) : TComponent(owner) {
    FindBrowser();
}

void TBrowser::FindBrowser() {
    FBrowserPath = BrowserPathFromCommand(RegisteredBrowserCommand());
}

void TBrowser::SetURL(const std::string& value) {
    std::string checked = CheckURLScheme(value);
    if (checked == FURL) return;
    FURL = std::move(checked);
    if (FAuto && !IsLoading() && !IsDesigning()) ShellOpen();
}

void TBrowser::Execute() {
    if (FURL.empty() || FBrowserPath.empty()) return;
    StartBrowserCommandLine(BrowserCommandLine(FBrowserPath, FURL));
}

void TBrowser::ShellOpen() {
    if (FURL.empty()) return;
    if (ShellOpenNeedsFallback(ShellExecuteURL(FURL))) Execute();
}

void TBrowser::GetProperties(TPropList& props) {
    TComponent::GetProperties(props);
    props.Bool(
        "Auto", [this] { return FAuto; }, [this](bool v) { SetAuto(v); }, false);
    // No default: the address is always stored.
    props.String(
        "URL", [this] { return FURL; }, [this](const std::string& v) { SetURL(v); }, std::nullopt);
}

void OpenURL(const std::string& address) {
    TBrowser browser(nullptr);
    browser.SetURL(address);
    browser.Execute();
}

#ifndef _WIN32
// No registry and no shell here: no browser is found and nothing is started.
std::string RegisteredBrowserCommand() {
    return {};
}
void StartBrowserCommandLine(const std::string&) {}
std::intptr_t ShellExecuteURL(const std::string&) {
    return 2;
}
#endif
