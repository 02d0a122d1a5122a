// The check that a program file holds the running image, over a hand-made image and the
// file it was mapped from: code, writable data with the import address table, and base
// relocations naming one pointer in the code.
#include "platform/uImageMatch.h"

#include "common/PeBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>

using pebytes::Bytes;
using pebytes::Put32;

namespace {

constexpr std::uint64_t kPreferredBase = 0x140000000;
constexpr std::size_t kOptional = 0x58, kBaseField = kOptional + 24, kSections = kOptional + 240;
constexpr std::uint32_t kPointerRva = 0x1008, kIatRva = 0x2000;

void Put64(Bytes& b, std::size_t at, std::uint64_t v) {
    Put32(b, at, static_cast<std::uint32_t>(v));
    Put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
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
    f[0] = 'M';
    f[1] = 'Z';
    Put32(f, 0x3C, 0x40);
    Put32(f, 0x40, 0x00004550);
    pebytes::Put16(f, 0x44, 0x8664);
    pebytes::Put16(f, 0x46, 3);
    pebytes::Put16(f, 0x54, 240);
    pebytes::Put16(f, kOptional, 0x20B);
    Put64(f, kBaseField, kPreferredBase);
    Put32(f, kOptional + 56, 0x4000); // SizeOfImage
    Put32(f, kOptional + 60, 0x200);  // SizeOfHeaders
    Put32(f, kOptional + 108, 16);
    Put32(f, kOptional + 152, 0x3000); // base relocations
    Put32(f, kOptional + 156, 12);
    Put32(f, kOptional + 208, kIatRva); // import address table
    Put32(f, kOptional + 212, 8);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t s = kSections + 40 * i;
        for (std::size_t k = 0; kLayout[i].Name[k]; ++k)
            f[s + k] = static_cast<std::uint8_t>(kLayout[i].Name[k]);
        Put32(f, s + 8, kLayout[i].VirtualSize);
        Put32(f, s + 12, kLayout[i].Rva);
        Put32(f, s + 16, 0x200);
        Put32(f, s + 20, kLayout[i].RawOffset);
        Put32(f, s + 36, kLayout[i].Characteristics);
    }
    for (std::size_t k = 0; k < 0x20; ++k) f[0x200 + k] = static_cast<std::uint8_t>(0x90 + k);
    Put64(f, 0x208, kPreferredBase + 0x1010); // the pointer the relocation names
    Put64(f, 0x400, 0x2100);                  // the import address table: a name's RVA
    for (std::size_t k = 8; k < 0x30; ++k) f[0x400 + k] = static_cast<std::uint8_t>(k);
    Put32(f, 0x600, 0x1000);
    Put32(f, 0x604, 12);
    pebytes::Put16(f, 0x608, 0xA000 | (kPointerRva & 0xFFF));
    f.insert(f.end(), 16, 0xEE); // appended: no part of the image
    return f;
}

// The image the loader maps from file at base: the pointer moved, the import address
// table filled, and (baseSet) the image base in the headers set to where it lies.
Bytes Mapped(const Bytes& file, std::uint64_t base, bool baseSet) {
    Bytes m(0x4000);
    std::copy(file.begin(), file.begin() + 0x200, m.begin());
    for (const TSection& s : kLayout)
        std::copy(file.begin() + s.RawOffset, file.begin() + s.RawOffset + s.VirtualSize, m.begin() + s.Rva);
    Put64(m, kPointerRva, Get64(m, kPointerRva) + (base - kPreferredBase));
    Put64(m, kIatRva, 0x00007FFA12345678);
    if (baseSet) Put64(m, kBaseField, base);
    return m;
}

} // namespace

// Equal when only the loader's changes differ (the moved pointer, the image base in the
// headers, the import address table) or bytes outside the image (padding past a section's
// virtual size, appended data); different for any other byte, writable data too, or a
// pointer that was not moved back by the delta. Truncated files and sizes past the bytes
// at hand are no match, and are never read past (under a sanitizer, a read out of bounds
// fails the test).
TEST(ImageMatch, FileHoldsTheRunningImage) {
    const std::uint64_t elsewhere = 0x7FF612340000;
    struct TCase {
        const char* What;
        std::uint64_t Base;
        bool BaseSet;
        std::function<void(Bytes& file, Bytes& image)> Change;
        bool Holds;
    } cases[] = {
        {"mapped at its preferred base", kPreferredBase, false, [](Bytes&, Bytes&) {}, true},
        {"mapped elsewhere", elsewhere, false, [](Bytes&, Bytes&) {}, true},
        {"mapped elsewhere, the base in its headers set", elsewhere, true, [](Bytes&, Bytes&) {}, true},
        {"padding past a virtual size, appended bytes", elsewhere, true,
         [](Bytes& f, Bytes&) { f[0x200 + 0x20] = f[0x600 + 12] = f[0x800] = 1; }, true},
        {"a byte of code", elsewhere, true, [](Bytes& f, Bytes&) { f[0x210] ^= 1; }, false},
        {"a byte of writable data", elsewhere, true, [](Bytes& f, Bytes&) { f[0x42F] ^= 1; }, false},
        {"a header byte", kPreferredBase, false, [](Bytes& f, Bytes&) { f[kSections + 36] ^= 0x80; }, false},
        {"another image base, the headers not set", elsewhere, false,
         [](Bytes& f, Bytes&) { Put64(f, kBaseField, kPreferredBase + 0x10000); }, false},
        {"the pointer as mapped, not as in a file", elsewhere, false,
         [](Bytes& f, Bytes&) { Put64(f, 0x208, elsewhere + 0x1010); }, false},
        {"shorter than its headers", kPreferredBase, false, [](Bytes& f, Bytes&) { f.resize(0x1FF); }, false},
        {"a section's data cut", kPreferredBase, false, [](Bytes& f, Bytes&) { f.resize(0x420); }, false},
        {"a section's data past the end", kPreferredBase, false,
         [](Bytes& f, Bytes& m) {
             for (Bytes* b : {&f, &m})
                 Put32(*b, kSections + 40 + 8, 0xFFFFFF00), Put32(*b, kSections + 40 + 16, 0xFFFFFF00);
         },
         false},
        {"a section past the image", kPreferredBase, false,
         [](Bytes& f, Bytes& m) {
             for (Bytes* b : {&f, &m}) Put32(*b, kSections + 40 + 12, 0xFFFFF000);
         },
         false},
        {"more sections than the headers hold", kPreferredBase, false,
         [](Bytes& f, Bytes& m) {
             for (Bytes* b : {&f, &m}) pebytes::Put16(*b, 0x46, 0xFFFF);
         },
         false},
        {"a header offset past the image", kPreferredBase, false,
         [](Bytes& f, Bytes& m) {
             for (Bytes* b : {&f, &m}) Put32(*b, 0x3C, 0xFFFFFFF0);
         },
         false},
        {"relocations past the image", kPreferredBase, false,
         [](Bytes& f, Bytes& m) {
             for (Bytes* b : {&f, &m}) Put32(*b, kOptional + 156, 0xFFFFFFFF);
         },
         false},
        {"a relocation block of no length", elsewhere, false, [](Bytes&, Bytes& m) { Put32(m, 0x3004, 0); },
         false},
    };
    for (const TCase& c : cases) {
        Bytes file = File();
        Bytes image = Mapped(file, c.Base, c.BaseSet);
        c.Change(file, image);
        const Bytes exact = file; // no spare capacity a read past the end could fall into
        EXPECT_EQ(imagematch::FileHoldsImage(exact.data(), exact.size(), image.data(), image.size(), c.Base),
                  c.Holds)
            << c.What;
    }
}
