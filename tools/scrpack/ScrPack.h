#pragma once
// The scrpack command line: verbs build, list, extract, append, verify and winget (Verbs.h,
// one file each). Arguments and everything printed are UTF-8; the items written are code
// page 932.
#include <ostream>
#include <string>
#include <vector>

// Exit codes: success, a failed integrity check (verify), and usage or I/O errors.
inline constexpr int kExitOk = 0;
inline constexpr int kExitVerifyFailed = 1;
inline constexpr int kExitError = 2;

// args excludes the program name. Errors are reported on err as one line.
int RunScrPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
