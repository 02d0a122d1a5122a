#pragma once
// Whether a program file holds the very image that runs, checked against the image the
// loader mapped from it. The uninstaller's elevated removal starts a copy of its own file
// with administrator rights, and a running program's file can be renamed: by then its name
// may belong to another program. The copy is made only of bytes found to be this image.
//
//   file   | headers | ... | section data (SizeOfRawData) at PointerToRawData | ... | appended |
//   mapped | headers | ... | section (VirtualSize) at VirtualAddress           | ...
//
// The headers (SizeOfHeaders bytes) are equal, but for the image base, which the system
// may set to the base it mapped the image at. Each section's file data, up to its virtual
// size, equals its mapped bytes once the pointers the base relocations name are moved
// back by the load's delta (the base mapped at minus the file's preferred base), except
// the import address table, which the loader fills. Writable sections count as much as the
// others: the import names, the manifest and the initialised data steer the loader and
// the code too (so the program must change none of its initialised data before it checks,
// or its own file no longer matches). File data past a section's virtual size is padding,
// never where the code looks; what follows the sections (an appended container, a
// signature) is no part of the image.
//
// The file is hostile input: its headers are only compared, never followed, and each
// offset and size taken from the image is checked against the bytes at hand first. Only
// PE32+ images, whose base relocations are all DIR64 (any other kind is left as it is, so
// that its bytes, if the loader moved them, differ). Header-only and free of the C++
// runtime, for the uninstaller; integers are read in the machine's byte order,
// little-endian on every machine that runs or tests it.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace imagematch {

static_assert(std::endian::native == std::endian::little);

template <typename T> T At(const std::uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// True when the fileSize bytes at file begin with the image mapped at loadedBase, of
// which image holds a copy of imageSize bytes. The copy is changed on the way: its image
// base and its relocated pointers are set back to what the file holds. (Always inlined:
// the uninstaller calls it once, and every byte of it travels in each installer.)
[[gnu::always_inline]] inline bool FileHoldsImage(const std::uint8_t* file, std::size_t fileSize,
                                                  std::uint8_t* image, std::size_t imageSize,
                                                  std::uint64_t loadedBase) {
    if (imageSize < 0x40) return false;
    const std::size_t o = std::size_t{At<std::uint32_t>(image + 0x3C)} + 24; // the optional header
    if (o + 240 > imageSize) return false;
    std::uint8_t* optional = image + o;
    // SizeOfHeaders, the section table and its count, data directories 5 (the base
    // relocations) and 12 (the import address table).
    const std::size_t headers = At<std::uint32_t>(optional + 60), table = o + At<std::uint16_t>(optional - 4),
                      count = At<std::uint16_t>(optional - 18), iat = At<std::uint32_t>(optional + 208),
                      iatSize = At<std::uint32_t>(optional + 212);
    std::size_t at = At<std::uint32_t>(optional + 152), left = At<std::uint32_t>(optional + 156);
    if (o + 240 > headers || headers > imageSize || headers > fileSize || table + 40 * count > headers ||
        at > imageSize || left > imageSize - at)
        return false;
    // The file's image base is the one its pointers were moved from.
    const std::uint64_t fileBase = At<std::uint64_t>(file + o + 24), delta = loadedBase - fileBase;
    if (At<std::uint64_t>(optional + 24) == loadedBase) std::memcpy(optional + 24, &fileBase, 8);
    for (std::size_t k = 0; k < headers; ++k)
        if (file[k] != image[k]) return false;
    // The relocated pointers moved back, in blocks of one page each.
    for (std::size_t size; left >= 8; at += size, left -= size) {
        const std::uint8_t* block = image + at;
        size = At<std::uint32_t>(block + 4);
        if (size < 8 || size > left) return false;
        for (std::size_t e = 8; e + 2 <= size; e += 2) {
            const unsigned entry = At<std::uint16_t>(block + e);
            const std::size_t rva = std::size_t{At<std::uint32_t>(block)} + (entry & 0xFFF);
            if (entry >> 12 == 10 && rva <= imageSize - 8) { // IMAGE_REL_BASED_DIR64
                const std::uint64_t v = At<std::uint64_t>(image + rva) - delta;
                std::memcpy(image + rva, &v, 8);
            }
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* s = image + table + 40 * i;
        const std::size_t virtualSize = At<std::uint32_t>(s + 8), rva = At<std::uint32_t>(s + 12),
                          rawSize = At<std::uint32_t>(s + 16), rawOffset = At<std::uint32_t>(s + 20);
        const std::size_t n = virtualSize && virtualSize < rawSize ? virtualSize : rawSize;
        if (n && (rawOffset + n > fileSize || rva + n > imageSize)) return false;
        for (std::size_t k = 0; k < n; ++k)
            if (file[rawOffset + k] != image[rva + k] && rva + k - iat >= iatSize) return false;
    }
    return true;
}

} // namespace imagematch
