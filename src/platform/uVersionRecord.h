#pragma once
// The texts of a program file's version record that the list of installed programs
// shows: the company name and the product version. Read from the program's bytes (its
// RT_VERSION resource), so the installer and scrpack, which writes the package manager's
// manifest on any system, arrive at the same texts.
//
//   node  | length u16 | value length u16 | type u16 (1: text, length in characters) |
//         | key: UTF-16, NUL-terminated | pad to 4 | value | pad to 4 | children ... |
//
//   "VS_VERSION_INFO" (value: the fixed record, signature FEEF04BD, product version at 16)
//     "StringFileInfo" -> one table per language, key "llllcccc" (hex) -> "Name" = text
//     "VarFileInfo"    -> "Translation" = pairs of u16 (language, code page)
#include <cstddef>
#include <cstdint>
#include <string>

struct TVersionRecord {
    std::string CompanyName;    // code page 932; empty when the record has none
    std::string ProductVersion; // the "ProductVersion" text, else the fixed "a.b.c.d"; empty without a record
};

// The record of the program in file (code page 932, a character that code page lacks as
// "?"). Texts are looked up for the languages the record lists, then for Japanese and
// English in Unicode, English in Western and Japanese in Shift-JIS; trailing blanks are
// cut. Both texts are empty when the file has no record or it is damaged.
TVersionRecord VersionRecordOf(const std::uint8_t* file, std::size_t size);
