// The check that a program file holds the running image, over a hand-made image and the
// file it was mapped from: code, writable data with the import address table, and base
// relocations naming one pointer in the code.
#include "platform/uImageMatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint64_t kPreferredBase = 0x140000000;
constexpr std::size_t kOptional = 0x58, kBaseField = kOptional + 24, kSections = kOptional + 240;
constexpr std::uint32_t kPointerRva = 0x1008, kIatRva = 0x2000;

// Writes the width low bytes of v at at, little-endian.
void Put(Bytes& b, std::size_t at, unsigned width, std::uint64_t v) {
    for (unsigned i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(v >> 8 * i);
}
std::uint64_t Get64(const Bytes& b, std::size_t at) {
    std::uint64_t v = 0;
    for (std::size_t i = 8; i-- > 0;) v = v << 8 | b[at + i];
    return v;
}

struct TSection {
    const char* Name;
    std::uint32_t Rva, VirtualSize, RawOffset, Characteristics;
};
constexpr TSection kLayout[] = {
    {".text", 0x1000, 0x20, 0x200, 0x60000020}, // code, read-only
    {".data", 0x2000, 0x30, 0x400, 0xC0000040}, // writable: the import address table, then data
    {".reloc", 0x3000, 12, 0x600, 0x42000040},  // one block, one DIR64 entry and padding
};

// The file: headers, three sections of 0x200 bytes each, and 16 appended bytes.
Bytes File() {
    Bytes f(0x800);
    Put(f, 0, 2, 0x5A4D);
    Put(f, 0x3C, 4, 0x40);
    Put(f, 0x40, 4, 0x00004550);
    Put(f, 0x44, 2, 0x8664);
    Put(f, 0x46, 2, 3);
    Put(f, 0x54, 2, 240);
    Put(f, kOptional, 2, 0x20B);
    Put(f, kBaseField, 8, kPreferredBase);
    Put(f, kOptional + 56, 4, 0x4000); // SizeOfImage
    Put(f, kOptional + 60, 4, 0x200);  // SizeOfHeaders
    Put(f, kOptional + 108, 4, 16);
    Put(f, kOptional + 152, 4, 0x3000); // base relocations
    Put(f, kOptional + 156, 4, 12);
    Put(f, kOptional + 208, 4, kIatRva); // import address table
    Put(f, kOptional + 212, 4, 8);
    for (std::size_t i = 0; i < 3; ++i) {
        const TSection& l = kLayout[i];
        const std::size_t s = kSections + 40 * i;
        for (std::size_t k = 0; l.Name[k]; ++k) f[s + k] = static_cast<std::uint8_t>(l.Name[k]);
        for (auto [at, v] : {std::pair{8, l.VirtualSize}, {12, l.Rva}, {16, 0x200u}, {20, l.RawOffset}})
            Put(f, s + at, 4, v);
        Put(f, s + 36, 4, l.Characteristics);
    }
    for (std::size_t k = 0; k < 0x20; ++k) f[0x200 + k] = static_cast<std::uint8_t>(0x90 + k);
    Put(f, 0x208, 8, kPreferredBase + 0x1010); // the pointer the relocation names
    Put(f, 0x400, 8, 0x2100);                  // the import address table: a name's RVA
    for (std::size_t k = 8; k < 0x30; ++k) f[0x400 + k] = static_cast<std::uint8_t>(k);
    Put(f, 0x600, 4, 0x1000);
    Put(f, 0x604, 4, 12);
    Put(f, 0x608, 2, 0xA000 | (kPointerRva & 0xFFF));
    f.insert(f.end(), 16, 0xEE); // appended: no part of the image
    return f;
}

// The image the loader maps from file at base: the pointer moved and the import address
// table filled (the image base in its headers left as it is: a case may set it).
Bytes Mapped(const Bytes& file, std::uint64_t base) {
    Bytes m(0x4000);
    std::copy(file.begin(), file.begin() + 0x200, m.begin());
    for (const TSection& s : kLayout)
        std::copy(file.begin() + s.RawOffset, file.begin() + s.RawOffset + s.VirtualSize, m.begin() + s.Rva);
    Put(m, kPointerRva, 8, Get64(m, kPointerRva) + (base - kPreferredBase));
    Put(m, kIatRva, 8, 0x00007FFA12345678);
    return m;
}

// One change to the file, the mapped image or both: a little-endian value of 1, 2, 4 or 8
// bytes written, one byte flipped by Value (kFlip), or the file cut to At bytes (kCut).
enum TWhere { kFile = 1, kImage = 2, kBoth = 3 };
constexpr unsigned kFlip = 0, kCut = 9;
struct TEdit {
    TWhere Where;
    std::size_t At;
    unsigned Width;
    std::uint64_t Value;
};

void Apply(const TEdit& e, Bytes& b) {
    if (e.Width == kCut) return b.resize(e.At);
    if (e.Width == kFlip) return void(b[e.At] ^= static_cast<std::uint8_t>(e.Value));
    Put(b, e.At, e.Width, e.Value);
}

} // namespace

// Equal when only the loader's changes differ (the moved pointer, the image base in the
// headers, the import address table) or bytes outside the image (padding past a section's
// virtual size, appended data); different for any other byte, writable data too, or a
// pointer that was not moved back by the delta. Truncated files and sizes past the bytes
// at hand are no match, and are never read past (under a sanitizer, a read out of bounds
// fails the test).
TEST(ImageMatch, FileHoldsTheRunningImage) {
    const std::uint64_t home = kPreferredBase, moved = 0x7FF612340000;
    const std::size_t data = kSections + 40;              // the .data section's header
    const TEdit baseSet = {kImage, kBaseField, 8, moved}; // the loader set the image base it mapped at
    const struct {
        bool Holds;
        std::uint64_t Base;
        std::vector<TEdit> Edits;
        const char* What;
    } cases[] = {
        {true, home, {}, "mapped at its preferred base"},
        {true, moved, {}, "mapped elsewhere"},
        {true, moved, {baseSet}, "mapped elsewhere, the base in its headers set"},
        {true, moved, {baseSet, {kFile, 0x220, 1, 1}, {kFile, 0x60C, 1, 1}, {kFile, 0x800, 1, 1}}, "padding"},
        {false, moved, {baseSet, {kFile, 0x210, kFlip, 1}}, "a byte of code"},
        {false, moved, {baseSet, {kFile, 0x42F, kFlip, 1}}, "a byte of writable data"},
        {false, home, {{kFile, kSections + 36, kFlip, 0x80}}, "a header byte"},
        {false, moved, {{kFile, kBaseField, 8, home + 0x10000}}, "another image base, the headers not set"},
        {false, moved, {{kFile, 0x208, 8, moved + 0x1010}}, "the pointer as mapped, not as in a file"},
        {false, home, {{kFile, 0x1FF, kCut, 0}}, "shorter than its headers"},
        {false, home, {{kFile, 0x420, kCut, 0}}, "a section's data cut"},
        {false, home, {{kBoth, data + 8, 4, ~0xFFu}, {kBoth, data + 16, 4, ~0xFFu}}, "data past the end"},
        {false, home, {{kBoth, data + 12, 4, 0xFFFFF000}}, "a section past the image"},
        {false, home, {{kBoth, 0x46, 2, 0xFFFF}}, "more sections than the headers hold"},
        {false, home, {{kBoth, 0x3C, 4, 0xFFFFFFF0}}, "a header offset past the image"},
        {false, home, {{kBoth, kOptional + 156, 4, 0xFFFFFFFF}}, "relocations past the image"},
        {false, moved, {{kImage, 0x3004, 4, 0}}, "a relocation block of no length"},
    };
    for (const auto& c : cases) {
        Bytes file = File();
        Bytes image = Mapped(file, c.Base);
        for (const TEdit& e : c.Edits) {
            if (e.Where & kFile) Apply(e, file);
            if (e.Where & kImage) Apply(e, image);
        }
        const Bytes exact = file; // no spare capacity a read past the end could fall into
        EXPECT_EQ(imagematch::FileHoldsImage(exact.data(), exact.size(), image.data(), image.size(), c.Base),
                  c.Holds)
            << c.What;
    }
}
