#pragma once
// Values written into YAML documents (the package manager's manifest).
#include <string>

namespace scrpack {

// A double-quoted YAML scalar: \ and " escaped, and every character a document may not hold
// as it is, or that readers may take for a break or a mark, written as a \u escape. A
// TInputError for text that is not UTF-8.
std::string YamlQuoted(const std::string& utf8);

} // namespace scrpack
