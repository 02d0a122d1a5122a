#include "Yaml.h"

#include "Text.h"

#include <cstdint>

namespace scrpack {

namespace {
// Characters YAML 1.2 lets stand in a document as they are (its printable set), less the
// line breaks and tab, C1 controls (NEL too), the line and paragraph separators and the byte
// order mark, which readers may take for breaks or marks. Everything outside is in the BMP.
bool YamlTakesAsItIs(std::uint32_t cp) {
    return (cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0xD7FF && cp != 0x2028 && cp != 0x2029) ||
           (cp >= 0xE000 && cp <= 0xFFFD && cp != 0xFEFF) || (cp >= 0x10000 && cp <= 0x10FFFF);
}
} // namespace

std::string YamlQuoted(const std::string& utf8) {
    return QuotedString(utf8, [](std::uint32_t cp) { return !YamlTakesAsItIs(cp); });
}

} // namespace scrpack
