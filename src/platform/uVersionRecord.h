#pragma once
// The texts of a program file's version record that the list of installed programs
// shows: the company name and the product version. Read with the system's version.dll
// (loaded from the system directory), which parses the file's resources itself.
#ifdef _WIN32
#include <string>
#include <string_view>

struct TVersionRecord {
    std::string CompanyName;    // code page 932; empty when the record has none
    std::string ProductVersion; // the "ProductVersion" text, else the fixed "a.b.c.d"; empty without a record
};

// The record of the file at path (code page 932); both texts empty when the file has none.
TVersionRecord ReadVersionRecord(std::string_view path);
#endif
