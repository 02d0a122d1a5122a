#pragma once
// The binding of an item container to the installer program's image.
//
//   installer file
//   | PE image ...  [ tag (16) | SHA-256 (32) ] ...  | item container block ... "PLWS" | (signature) |
//                    the binding field, in the       ^ first byte             last byte ^
//                    read-only data of the image     '------------- hashed -------------'
//
// scrpack writes the SHA-256 of the container block (first byte of the block to the last
// byte of its trailer) into the one binding field of the image before the file is signed.
// At start the installer hashes the container it read and compares that with the field
// in its own mapped image, never with the file, which may have been replaced since the
// program was started: a container that is not the one its image was built with is
// invalid data. A field still holding its initial value (all zeros) is unbound: such a
// program, never passed through scrpack, is checked as before.
//
// Header-only and portable: scrpack finds and writes the field in file bytes; the
// installer defines the field itself (app/uOwnBinding_win.cpp).
#include "store/uItemLayout.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace imagebinding {

inline constexpr std::size_t kTagSize = 16;
inline constexpr std::size_t kHashSize = 32;

// The tag's bytes, as one list for the field's initialiser and for the search: the tag
// must occur once in the image, so no other copy of it is ever made there.
#define SCR_BINDING_TAG_BYTES 'S', 'c', 'r', 'P', 'a', 'c', 'k', 'B', 'i', 'n', 'd', 'i', 'n', 'g', 0x01, 0x7E

// A hash still at the initial value: the program was never bound.
inline bool IsUnbound(const std::uint8_t* hash) {
    for (std::size_t i = 0; i < kHashSize; ++i)
        if (hash[i] != 0) return false;
    return true;
}

// Where the sections of a PE image end in its file (the bytes after it were appended);
// size for bytes that are no PE image. Only offsets inside [0, size) are read.
inline std::size_t ImageEnd(const std::uint8_t* bytes, std::size_t size) {
    using itemlayout::ReadU16;
    using itemlayout::ReadU32;
    if (size < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return size;
    const std::size_t pe = ReadU32(bytes + 0x3C);
    if (pe > size || size - pe < 24 || std::memcmp(bytes + pe, "PE\0\0", 4) != 0) return size;
    const std::size_t sections = ReadU16(bytes + pe + 6), optionalSize = ReadU16(bytes + pe + 20);
    const std::size_t table = pe + 24 + optionalSize;
    if (table > size || (size - table) / 40 < sections) return size;
    std::size_t end = table + sections * 40;
    for (std::size_t i = 0; i < sections; ++i) {
        const std::uint8_t* s = bytes + table + i * 40;
        const std::size_t raw = ReadU32(s + 16), at = ReadU32(s + 20);
        if (raw > 0 && at + raw > end) end = at + raw;
    }
    return end < size ? end : size;
}

// The offset of the hash of the one binding field in the first size bytes of a file;
// npos when there is none, or more than one (nothing to bind to with certainty).
inline constexpr std::size_t npos = static_cast<std::size_t>(-1);
inline std::size_t FindHashField(const std::uint8_t* bytes, std::size_t size) {
    static constexpr std::uint8_t kTag[kTagSize] = {SCR_BINDING_TAG_BYTES};
    std::size_t found = npos;
    if (size < kTagSize + kHashSize) return npos;
    for (std::size_t i = 0; i + kTagSize + kHashSize <= size; ++i) {
        if (bytes[i] != kTag[0] || std::memcmp(bytes + i, kTag, kTagSize) != 0) continue;
        if (found != npos) return npos;
        found = i + kTagSize;
    }
    return found;
}

} // namespace imagebinding
