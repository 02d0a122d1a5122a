#pragma once
// Text in scrpack: arguments and everything printed are UTF-8, item names and texts code
// page 932. Every value from outside reaches the terminal through Shown.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace scrpack {

// Decodes one UTF-8 sequence at i; returns its length, 0 when it is malformed.
std::size_t DecodeUtf8(const std::string& s, std::size_t i, std::uint32_t& cp);
// Offset of the first malformed UTF-8 sequence, or npos.
std::size_t InvalidUtf8At(const std::string& s);

// UTF-8 to code page 932, or a TInputError that names the first character the code page lacks.
std::string ToCp932(const std::string& utf8, const std::string& what);
// Code page 932 as UTF-8 when it converts, otherwise with \xNN escapes for every byte
// that is not printable ASCII. It escapes nothing else: JsonString and Shown do.
std::string AsUtf8(const std::string& cp932);
// Code page 932 as UTF-8, or a TInputError saying that what is not code page 932 text.
std::string Utf8Of(const std::string& cp932, const std::string& what);

// Characters a terminal acts on instead of showing them: C0 controls (line breaks too), DEL,
// C1 controls, the line and paragraph separators, and the bidirectional overrides and
// isolates, which reorder the text after them.
bool ActsOnTerminal(std::uint32_t cp);
// Text from outside (an argument, a file name, payload text through AsUtf8) as it may reach
// the terminal: every character ActsOnTerminal names made visible (C0 and DEL as \xNN, the
// others as \uNNNN), and every byte that is not UTF-8 as \xNN, so that no value can move
// the cursor, erase or forge a line, or reorder what is shown.
std::string Shown(const std::string& utf8);

// A double-quoted string of JSON or of YAML (whose double-quoted scalars take the same
// escapes): \ and " escaped, and every character escaped names written as \uNNNN (each one
// it names lies in the BMP). A TInputError for text that is not UTF-8.
std::string QuotedString(const std::string& utf8, bool (*escaped)(std::uint32_t cp));

// A file name given as a UTF-8 argument, and a path as UTF-8 text.
std::filesystem::path PathArg(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& p);

} // namespace scrpack
