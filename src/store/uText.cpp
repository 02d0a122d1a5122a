#include "store/uText.h"

#include "store/uHexText.h"

#include <algorithm>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

std::size_t CharLen932(std::string_view s, std::size_t i) {
    if (i + 1 < s.size() && IsLeadByte932(static_cast<std::uint8_t>(s[i]))) return 2;
    return 1;
}

bool IsTrailByte932(std::string_view s, std::size_t i) {
    std::size_t p = 0;
    while (p < s.size()) {
        std::size_t n = CharLen932(s, p);
        if (i < p + n) return i != p;
        p += n;
    }
    return false;
}

std::size_t FindChar932(std::string_view s, char c, std::size_t from) {
    for (std::size_t i = 0; i < s.size(); i += CharLen932(s, i)) {
        if (i >= from && CharLen932(s, i) == 1 && s[i] == c) return i;
    }
    return std::string_view::npos;
}

std::size_t FindLastOf932(std::string_view s, std::string_view delims) {
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < s.size(); i += CharLen932(s, i)) {
        if (CharLen932(s, i) == 1 && delims.find(s[i]) != std::string_view::npos) found = i;
    }
    return found;
}

std::size_t Find932(std::string_view s, std::string_view needle, std::size_t from) {
    if (needle.empty()) return from <= s.size() ? from : std::string_view::npos;
    for (std::size_t i = 0; i < s.size(); i += CharLen932(s, i)) {
        if (i >= from && s.compare(i, needle.size(), needle) == 0) {
            // The match must also end on a character boundary.
            std::size_t end = i + needle.size();
            if (end == s.size() || !IsTrailByte932(s, end)) return i;
        }
    }
    return std::string_view::npos;
}

std::string ReplaceAll932(std::string_view s, std::string_view needle, std::string_view with) {
    std::string out;
    std::size_t pos = 0;
    while (!needle.empty()) {
        std::size_t hit = Find932(s, needle, pos);
        if (hit == std::string_view::npos) break;
        out.append(s.substr(pos, hit - pos));
        out.append(with);
        pos = hit + needle.size();
    }
    out.append(s.substr(pos));
    return out;
}

bool EndsWithChar932(std::string_view s, char c) {
    return !s.empty() && s.back() == c && !IsTrailByte932(s, s.size() - 1);
}

std::string IncludeTrailingBackslash932(std::string_view s) {
    std::string r(s);
    if (!EndsWithChar932(r, '\\')) r.push_back('\\');
    return r;
}

std::string ExcludeTrailingBackslash932(std::string_view s) {
    return std::string(EndsWithChar932(s, '\\') ? s.substr(0, s.size() - 1) : s);
}

std::string Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<std::uint8_t>(s[b]) <= 0x20) ++b;
    while (e > b && static_cast<std::uint8_t>(s[e - 1]) <= 0x20) --e;
    return std::string(s.substr(b, e - b));
}

std::string EscapeControls932(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    const auto escape = [&out](std::uint8_t b) {
        char digits[2];
        hextext::Write(&b, 1, digits, hextext::TLetters::Upper);
        out.append("\\x").append(digits, 2);
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(s[i]);
        if (IsLeadByte932(b)) {
            const std::uint8_t t = i + 1 < s.size() ? static_cast<std::uint8_t>(s[i + 1]) : 0;
            if (t >= 0x40 && t != 0x7F && t <= 0xFC) {
                out += s.substr(i, 2);
                ++i;
            } else {
                escape(b);
            }
        } else if (b < 0x20 || b == 0x7F || b == 0x80 || b == 0xA0 || b >= 0xFD) {
            escape(b);
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::string UpperAscii932(std::string_view s) {
    std::string r(s);
    for (std::size_t i = 0; i < r.size(); i += CharLen932(r, i)) {
        if (CharLen932(r, i) == 1 && r[i] >= 'a' && r[i] <= 'z') r[i] = static_cast<char>(r[i] - 'a' + 'A');
    }
    return r;
}

#ifdef _WIN32

std::wstring ToWide(std::string_view cp932) {
    if (cp932.empty()) return {};
    int n = MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), w.data(), n);
    return w;
}

std::string FromWide(std::wstring_view wide) {
    std::string s;
    FromWideExact(wide, s);
    return s;
}

std::string Utf16ToCp932(std::u16string_view text) {
    // UTF-16 is the wide text of Windows: the one conversion, whose default character is "?".
    return FromWide(std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size()));
}

bool FromWideExact(std::wstring_view wide, std::string& out) {
    out.clear();
    if (wide.empty()) return true;
    // Never best fit: it would turn "¥" (U+00A5) into "\" and a look-alike into a path
    // separator; a character without a code page 932 form becomes the default character.
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, &usedDefault);
    if (n <= 0) return false;
    out.resize(static_cast<std::size_t>(n));
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, &usedDefault);
    return !usedDefault;
}

static std::wstring Utf8ToWide(std::string_view utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

std::string WideToUtf8(std::wstring_view w) {
    if (w.empty()) return {};
    int n =
        WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

bool Utf8ToCp932(std::string_view utf8, std::string& out, std::string* bad) {
    out.clear();
    std::wstring w = Utf8ToWide(utf8);
    // Character by character, so that the first one without a code page 932 form can be named.
    for (std::size_t i = 0; i < w.size();) {
        std::size_t n = (w[i] >= 0xD800 && w[i] <= 0xDBFF && i + 1 < w.size()) ? 2 : 1;
        char buf[8];
        BOOL usedDefault = FALSE;
        int len = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, w.data() + i, static_cast<int>(n), buf,
                                      sizeof buf, nullptr, &usedDefault);
        if (len <= 0 || usedDefault) {
            if (bad) *bad = WideToUtf8(std::wstring_view(w).substr(i, n));
            return false;
        }
        out.append(buf, static_cast<std::size_t>(len));
        i += n;
    }
    return true;
}

bool Cp932ToUtf8(std::string_view cp932, std::string& out) {
    out.clear();
    if (cp932.empty()) return true;
    // MB_ERR_INVALID_CHARS: a byte sequence that is no character fails, as iconv's does on
    // the host, instead of turning into a stand-in character.
    const int size = static_cast<int>(cp932.size());
    const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), size, nullptr, 0);
    if (n <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), size, wide.data(), n);
    out = WideToUtf8(wide);
    return true;
}

TPathName PathFromCp932(std::string_view cp932) {
    return ToWide(cp932);
}
std::string PathToCp932(const TPathName& p) {
    return FromWide(p);
}

#else

namespace {
struct Iconv {
    iconv_t cd;
    Iconv(const char* to, const char* from) : cd(iconv_open(to, from)) {}
    ~Iconv() {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
};

// Converts one whole text; false on the first character that cannot be converted, whose
// input offset is put into *badAt.
bool Convert(const char* to, const char* from, std::string_view in, std::string& out, std::size_t* badAt) {
    out.clear();
    Iconv conv(to, from);
    if (conv.cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> src(in.begin(), in.end());
    char* inp = src.data();
    std::size_t inLeft = src.size();
    while (inLeft > 0) {
        char buf[4096];
        char* outp = buf;
        std::size_t outLeft = sizeof buf;
        std::size_t r = iconv(conv.cd, &inp, &inLeft, &outp, &outLeft);
        out.append(buf, static_cast<std::size_t>(outp - buf));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            if (badAt) *badAt = static_cast<std::size_t>(inp - src.data());
            return false;
        }
    }
    return true;
}
} // namespace

bool Utf8ToCp932(std::string_view utf8, std::string& out, std::string* bad) {
    std::size_t at = 0;
    if (Convert("CP932", "UTF-8", utf8, out, &at)) return true;
    if (bad) {
        // Name the whole UTF-8 sequence that failed.
        std::size_t n = 1;
        auto b = static_cast<std::uint8_t>(at < utf8.size() ? utf8[at] : 0);
        if (b >= 0xF0)
            n = 4;
        else if (b >= 0xE0)
            n = 3;
        else if (b >= 0xC0)
            n = 2;
        *bad = std::string(utf8.substr(at, n));
    }
    return false;
}

bool Cp932ToUtf8(std::string_view cp932, std::string& out) {
    return Convert("UTF-8", "CP932", cp932, out, nullptr);
}

std::string Utf16ToCp932(std::u16string_view text) {
    std::string out, one;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // One character at a time (a surrogate pair together), so one that cannot be
        // converted costs only itself.
        const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        const char bytes[4] = {static_cast<char>(text[i] & 0xFF), static_cast<char>(text[i] >> 8),
                               static_cast<char>(pair ? text[i + 1] & 0xFF : 0),
                               static_cast<char>(pair ? text[i + 1] >> 8 : 0)};
        const bool lone = !pair && text[i] >= 0xD800 && text[i] <= 0xDFFF;
        out += !lone && Convert("CP932", "UTF-16LE", std::string_view(bytes, pair ? 4 : 2), one, nullptr)
                   ? one
                   : "?";
        if (pair) ++i;
    }
    return out;
}

TPathName PathFromCp932(std::string_view cp932) {
    return std::string(cp932);
}
std::string PathToCp932(const TPathName& p) {
    return p;
}

#endif
