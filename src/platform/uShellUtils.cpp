#include "platform/uShellUtils.h"

#include <functional>

#include "store/uText.h"

std::pair<std::string, std::string> SplitValuePath(std::string_view valuePath) {
    std::size_t at = FindLastOf932(valuePath, "\\:");
    if (at == std::string_view::npos) return {std::string(), std::string(valuePath)};
    std::string key = ExcludeTrailingBackslash932(valuePath.substr(0, at));
    // A first byte is never a trail byte: the bare compare is safe here.
    if (!key.empty() && key.front() == '\\') key.erase(0, 1);
    return {key, std::string(valuePath.substr(at + 1))};
}

std::string QuoteString(std::string_view s, char q) {
    const char one[] = {q, '\0'};
    const char two[] = {q, q, '\0'};
    return q + ReplaceAll932(s, one, two) + q;
}

std::string UnquoteString(std::string_view s, char q) {
    if (s.empty() || s.front() != q || CharLen932(s, 0) != 1) return std::string(s);
    std::string content;
    for (std::size_t i = 1; i < s.size();) {
        std::size_t n = CharLen932(s, i);
        if (n == 1 && s[i] == q) {
            if (i + 1 >= s.size() || s[i + 1] != q) break; // the closing quote
            ++i;                                           // a doubled quote stands for one
        }
        content.append(s.substr(i, n));
        i += n;
    }
    return content.empty() ? std::string(s) : content;
}

std::string NormalizeExtension(std::string_view extension) {
    if (FindChar932(extension, '.') != std::string_view::npos) return std::string(extension);
    std::string withDot(1, '.');
    withDot.append(extension);
    return withDot;
}

std::string ExtractFileExt932(std::string_view fileName) {
    std::size_t at = FindLastOf932(fileName, ".\\:");
    if (at == std::string_view::npos || fileName[at] != '.') return {};
    return std::string(fileName.substr(at));
}

namespace {
// Cuts s at the first occurrence of marker (on a character boundary).
void CutAt(std::string& s, std::string_view marker) {
    std::size_t at = Find932(s, marker);
    if (at != std::string::npos) s.erase(at);
}

// Whether s ends in ".exe" (any case); '.' is never a trail byte, so the three bytes after
// it are single-byte characters.
bool EndsInExe(std::string_view s) {
    return s.size() >= 4 && !IsTrailByte932(s, s.size() - 4) &&
           UpperAscii932(s.substr(s.size() - 4)) == ".EXE";
}

// The program path of an unquoted command, resolved as CreateProcess resolves one: the
// shortest run of the text before the first quote or switch that ends in ".exe" before a
// blank (or that text's end) and names an existing file; else the first blank-separated token.
std::string UnquotedProgram(const std::string& cmd, const std::function<bool(std::string_view)>& isFile) {
    std::string head = cmd;
    CutAt(head, "\"");
    CutAt(head, " -");
    CutAt(head, " /");
    head = Trim(head);
    for (std::size_t from = 0;;) {
        std::size_t blank = FindChar932(head, ' ', from);
        std::string_view candidate = std::string_view(head).substr(0, blank);
        if (EndsInExe(candidate) && isFile && isFile(candidate)) return std::string(candidate);
        if (blank == std::string::npos) break;
        from = blank + 1;
    }
    return cmd.substr(0, FindChar932(cmd, ' '));
}
} // namespace

std::string CleanAssociatedCommand(std::string_view registeredCommand,
                                   const std::function<bool(std::string_view)>& isFile) {
    std::string cmd = Trim(registeredCommand);
    if (cmd.empty()) return cmd;
    if (cmd.front() != '"') {
        cmd = UnquotedProgram(cmd, isFile);
    } else {
        std::size_t close = FindChar932(cmd, '"', 1);
        if (close != std::string::npos) cmd = cmd.substr(1, close - 1);
        // A lone quote left over: the program path ends where the switches begin.
        if (FindChar932(cmd, '"') != std::string::npos) {
            CutAt(cmd, " -");
            CutAt(cmd, " /");
            cmd = ReplaceAll932(cmd, "\"", "");
        }
    }
    cmd = ReplaceAll932(ReplaceAll932(cmd, "%1", ""), "'", "");
    return QuoteString(Trim(cmd), '"');
}

namespace {
// CSIDL of each special folder, by index. The numbering follows the CSIDL values with their
// gaps (0x0F, 0x32..0x34 and 0x3C have no index); index 0 is the desktop directory.
constexpr std::array<std::uint8_t, kSpecialFolderCount> kCsidl = {
    0x10, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E,
    0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D,
    0x2E, 0x2F, 0x30, 0x31, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3D};
static_assert(static_cast<int>(TSpecialFolder::ComputersNearMe) == kSpecialFolderCount - 1);
} // namespace

int SpecialFolderCsidl(TSpecialFolder folder) {
    return kCsidl.at(static_cast<std::size_t>(folder));
}

unsigned BrowseFlags(std::uint8_t options) {
    unsigned flags = 0;
    for (std::size_t bit = 0; bit < kBrowseOptionFlags.size(); ++bit) {
        if (options & (1u << bit)) flags |= kBrowseOptionFlags[bit];
    }
    return flags;
}
