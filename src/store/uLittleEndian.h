#pragma once
// The one reader and writer of little-endian integers, the byte order of every stored
// format here (the item container, bitmaps, the window definitions, the digest's blocks).
// Header-only and free of the C++ runtime, so the uninstaller can use it too.
#include <cstddef>
#include <cstdint>

namespace le {

inline std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t Get64(const std::uint8_t* p) {
    return Get32(p) | static_cast<std::uint64_t>(Get32(p + 4)) << 32;
}
// Writes the low count bytes of v at p, lowest first.
inline void Put(std::uint8_t* p, std::uint64_t v, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace le
