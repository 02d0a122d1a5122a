#pragma once
// Text handling. Inside the system every string, path and item name is an 8-bit byte
// string in the Japanese ANSI code page (Shift-JIS, code page 932). Searches treat a
// double-byte character as one unit: its trail byte (which may be 0x5C '\', as in
// "表" = 95 5C) never matches a single-byte character. Conversions to and from UTF-16
// happen only at the Win32 boundary, always with code page 932, whatever the system's
// ANSI code page is, and never with best fit; every conversion is made here.
#include "store/uStreams.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// True when b starts a double-byte character in code page 932.
constexpr bool IsLeadByte932(std::uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Length in bytes (1 or 2) of the character that starts at byte i; a lead byte at the
// very end of the string counts as one byte.
std::size_t CharLen932(std::string_view s, std::size_t i);

// True when byte i is the trail byte of a double-byte character.
bool IsTrailByte932(std::string_view s, std::size_t i);

// First occurrence of the single-byte character c at or after from, on a character
// boundary; npos when absent.
std::size_t FindChar932(std::string_view s, char c, std::size_t from = 0);

// Last occurrence of any of the single-byte characters in delims, on a character
// boundary; npos when absent.
std::size_t FindLastOf932(std::string_view s, std::string_view delims);

// First occurrence of needle starting on a character boundary at or after from.
std::size_t Find932(std::string_view s, std::string_view needle, std::size_t from = 0);

// Every occurrence of needle (on character boundaries) replaced by with.
std::string ReplaceAll932(std::string_view s, std::string_view needle, std::string_view with);

// True when the last character of s is the single-byte character c (a trail byte equal
// to c does not count).
bool EndsWithChar932(std::string_view s, char c);

// s with a trailing backslash added unless its last character already is one.
std::string IncludeTrailingBackslash932(std::string_view s);

// s without one trailing backslash; a trail byte 0x5C (as in "表" = 95 5C) is kept.
std::string ExcludeTrailingBackslash932(std::string_view s);

// Trims spaces and control characters (bytes <= 0x20) at both ends.
std::string Trim(std::string_view s);

// Text from outside made fit for one line of a log or of a message: every control
// character (a byte below 0x20, DEL) and every byte that starts no character of code page
// 932 (0x80, 0xA0, 0xFD-0xFF, a lead byte without a valid trail byte) becomes "\xNN", so no
// value can end a line or forge one. Everything else stays as it is.
std::string EscapeControls932(std::string_view s);

// Upper-cases ASCII letters only; double-byte characters are left untouched.
std::string UpperAscii932(std::string_view s);

// Conversions between UTF-8 and code page 932. Utf8ToCp932 fails when a character has
// no code page 932 form; the offending character (UTF-8) is put into *bad when given.
bool Utf8ToCp932(std::string_view utf8, std::string& out, std::string* bad = nullptr);
// UTF-16 (a program's resources) as code page 932, never best fit: each character the code
// page lacks, and each lone surrogate, becomes "?".
std::string Utf16ToCp932(std::u16string_view text);
// False when cp932 holds a byte sequence that is no character of the code page.
bool Cp932ToUtf8(std::string_view cp932, std::string& out);

// A file-system path from a code page 932 string (on POSIX hosts the bytes are taken as
// they are) and back.
TPathName PathFromCp932(std::string_view cp932);
std::string PathToCp932(const TPathName& p);

#ifdef _WIN32
// UTF-16 for the wide Win32 API, from code page 932 bytes, and back.
std::wstring ToWide(std::string_view cp932);
// Never with best fit: a character code page 932 has no form for becomes "?".
std::string FromWide(std::wstring_view wide);
// The same; false when some character had no code page 932 form (out then holds "?" for it).
bool FromWideExact(std::wstring_view wide, std::string& out);
// UTF-16 as UTF-8 (the install log's text, scrpack's arguments), every character kept.
std::string WideToUtf8(std::wstring_view wide);
#endif
