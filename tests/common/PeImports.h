#pragma once
// The DLL names in a PE image's import directory, read field by field from the file's
// bytes (no loader involved), for tests that check what a program imports statically.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace peimports {

inline std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t o) {
    if (o + 4 > b.size()) return 0;
    return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (static_cast<std::uint32_t>(b[o + 3]) << 24);
}
inline std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t o) {
    return o + 2 > b.size() ? 0 : static_cast<std::uint16_t>(b[o] | (b[o + 1] << 8));
}

// Lower-case DLL names, in directory order; empty when the file is no PE image.
inline std::vector<std::string> ImportedDlls(const std::filesystem::path& file) {
    std::ifstream f(file, std::ios::binary);
    std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(f)), {});
    std::vector<std::string> dlls;
    std::uint32_t pe = U32(b, 0x3C);
    if (b.size() < 0x40 || U32(b, pe) != 0x00004550) return dlls; // "PE\0\0"
    std::size_t coff = pe + 4;
    std::uint16_t sections = U16(b, coff + 2), optSize = U16(b, coff + 16);
    std::size_t opt = coff + 20;
    bool pe32plus = U16(b, opt) == 0x20B;
    std::size_t dataDirs = opt + (pe32plus ? 112 : 96);
    std::uint32_t importRva = U32(b, dataDirs + 8); // directory 1: imports
    std::size_t sectionTable = opt + optSize;
    auto toOffset = [&](std::uint32_t rva) -> std::size_t {
        for (std::uint16_t i = 0; i < sections; ++i) {
            std::size_t s = sectionTable + i * 40u;
            std::uint32_t va = U32(b, s + 12), vsize = std::max(U32(b, s + 8), U32(b, s + 16)),
                          raw = U32(b, s + 20);
            if (rva >= va && rva < va + vsize) return raw + (rva - va);
        }
        return 0;
    };
    std::size_t d = toOffset(importRva);
    if (!importRva || !d) return dlls;
    for (; d + 20 <= b.size() && U32(b, d + 12) != 0; d += 20) { // descriptors end with a zero entry
        std::size_t name = toOffset(U32(b, d + 12));
        std::string s;
        for (; name && name < b.size() && b[name]; ++name) s += static_cast<char>(std::tolower(b[name]));
        dlls.push_back(s);
    }
    return dlls;
}

// The imported DLLs that are not in allowed (lower-case names).
inline std::vector<std::string> ImportsOutside(const std::filesystem::path& file,
                                               const std::vector<std::string>& allowed) {
    std::vector<std::string> extra;
    for (const auto& dll : ImportedDlls(file)) {
        if (std::find(allowed.begin(), allowed.end(), dll) == allowed.end()) extra.push_back(dll);
    }
    return extra;
}

} // namespace peimports
