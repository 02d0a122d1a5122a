#include "Yaml.h"

#include "Errors.h"
#include "Text.h"

#include <cstdint>
#include <cstdio>

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
    std::string out = "\"";
    char buf[12];
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t cp = 0;
        const std::size_t n = DecodeUtf8(utf8, i, cp);
        if (n == 0) throw TInputError("a manifest value is not valid UTF-8");
        if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (!YamlTakesAsItIs(cp)) {
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(cp));
            out += buf;
        } else {
            out.append(utf8, i, n);
        }
        i += n;
    }
    return out + "\"";
}

} // namespace scrpack
