#pragma once
// The install log ("/LOG=<file>"): one UTF-8 line per step with its result, each behind
// the local time. It is written by the process of the user who started the installer,
// never by the elevated step: that one relays its lines to its starter, which writes them.
// Without a log nothing is kept and nothing is sent.
#ifdef _WIN32
#include <string>
#include <string_view>

namespace installlog {

// Creates (or empties) the log file; false when it cannot be written.
bool Open(const std::wstring& path);
// Lines go to relay instead of a file (the elevated step: to its starter).
void RelayTo(void (*relay)(std::string_view line));
// One line of code page 932 text.
void Line(std::string_view text);

} // namespace installlog
#endif
