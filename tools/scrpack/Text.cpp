#include "Text.h"

#include "Errors.h"

#include "store/uText.h"

#include <cstdio>

namespace scrpack {

namespace {
std::string CodePointText(const std::string& utf8Char) {
    std::uint32_t cp = 0;
    if (utf8Char.empty() || DecodeUtf8(utf8Char, 0, cp) == 0) return "";
    char buf[16];
    std::snprintf(buf, sizeof buf, " (U+%04X)", static_cast<unsigned>(cp));
    return buf;
}
} // namespace

std::size_t DecodeUtf8(const std::string& s, std::size_t i, std::uint32_t& cp) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    std::size_t n = b < 0x80             ? 1
                    : (b & 0xE0) == 0xC0 ? 2
                    : (b & 0xF0) == 0xE0 ? 3
                    : (b & 0xF8) == 0xF0 ? 4
                                         : 0;
    if (n == 0 || i + n > s.size()) return 0;
    cp = n == 1 ? b : n == 2 ? (b & 0x1Fu) : n == 3 ? (b & 0x0Fu) : (b & 0x07u);
    for (std::size_t k = 1; k < n; ++k) {
        const auto c = static_cast<std::uint8_t>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (c & 0x3Fu);
    }
    static constexpr std::uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

std::size_t InvalidUtf8At(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        std::uint32_t cp;
        const std::size_t n = DecodeUtf8(s, i, cp);
        if (n == 0) return i;
        i += n;
    }
    return std::string::npos;
}

std::string ToCp932(const std::string& utf8, const std::string& what) {
    const std::size_t bad = InvalidUtf8At(utf8);
    if (bad != std::string::npos)
        throw TInputError(what + " is not valid UTF-8 (byte " + std::to_string(bad) + ")");
    std::string out, badChar;
    if (!Utf8ToCp932(utf8, out, &badChar))
        throw TInputError(what + ": the character \"" + badChar + "\"" + CodePointText(badChar) +
                          " has no code page 932 form");
    return out;
}

std::string AsUtf8(const std::string& cp932) {
    std::string utf8;
    if (Cp932ToUtf8(cp932, utf8) && InvalidUtf8At(utf8) == std::string::npos) return utf8;
    std::string out;
    for (char c : cp932) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b >= 0x20 && b < 0x7F) {
            out.push_back(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", b);
            out += buf;
        }
    }
    return out;
}

std::string Utf8Of(const std::string& cp932, const std::string& what) {
    std::string utf8;
    if (!Cp932ToUtf8(cp932, utf8)) throw TInputError(what + " is not code page 932 text");
    return utf8;
}

bool ActsOnTerminal(std::uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

std::string Shown(const std::string& utf8) {
    std::string out;
    char buf[12];
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t cp = 0;
        std::size_t n = DecodeUtf8(utf8, i, cp);
        if (n == 0 || cp < 0x20 || cp == 0x7F) {
            std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<std::uint8_t>(utf8[i]));
            out += buf;
            n = 1;
        } else if (ActsOnTerminal(cp)) {
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(cp));
            out += buf;
        } else {
            out.append(utf8, i, n);
        }
        i += n;
    }
    return out;
}

std::string QuotedString(const std::string& utf8, bool (*escaped)(std::uint32_t cp)) {
    std::string out = "\"";
    char buf[8];
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t cp = 0;
        const std::size_t n = DecodeUtf8(utf8, i, cp);
        if (n == 0) throw TInputError("a quoted value is not valid UTF-8");
        if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (escaped(cp)) {
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(cp));
            out += buf;
        } else {
            out.append(utf8, i, n);
        }
        i += n;
    }
    return out + "\"";
}

std::filesystem::path PathArg(const std::string& utf8) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(utf8);
#endif
}

std::string Utf8Path(const std::filesystem::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}

} // namespace scrpack
