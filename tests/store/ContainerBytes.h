#pragma once
// Item container bytes laid out field by field, independently of the code under test, for
// the reader's and the walker's tests.
#include "common/TestFiles.h"

#include <cstdint>
#include <string>
#include <vector>

struct Layout {
    std::vector<std::uint8_t> b;
    Layout& I32(std::int32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
        return *this;
    }
    Layout& I64(std::int64_t v) {
        for (int i = 0; i < 8; ++i)
            b.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i)));
        return *this;
    }
    Layout& U8(std::uint8_t v) {
        b.push_back(v);
        return *this;
    }
    Layout& Raw(const std::vector<std::uint8_t>& v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    Layout& Raw(const std::string& v) { return Raw(Bytes(v)); }
    // A name length and the name scrambled with the key's low byte.
    Layout& Name(const std::string& s, std::uint8_t key) {
        I32(static_cast<std::int32_t>(s.size()));
        for (char c : s) b.push_back(static_cast<std::uint8_t>(c ^ key));
        return *this;
    }
    // A whole record stored as is (flag 0).
    Layout& Stored(const std::string& name, const std::string& data, std::uint8_t key) {
        return Name(name, key).U8(0).I32(static_cast<std::int32_t>(data.size())).Raw(data);
    }
    // The block length field and the trailer, for a block that started at start.
    Layout& Close(std::size_t start) {
        I64(static_cast<std::int64_t>(b.size() - start));
        return Raw(std::string("PLWS"));
    }
};

// A file as a signing tool leaves it: a program's headers ("MZ", the PE offset at 0x3C,
// "PE\0\0", a file header and a PE32 or PE32+ optional header with 16 empty directory
// entries), container A, zero padding, and a certificate table that the security entry
// names. The table starts with a certificate entry (length, revision 2.0, PKCS#7 type) and
// ends in a container B of its own, so a reader that looks past the table finds A and one
// that reads the file as unsigned finds B.
struct SignedFile {
    static constexpr std::size_t kPe = 0x80, kOptional = kPe + 24;
    std::vector<std::uint8_t> b;
    std::size_t Directory;     // offset of the data directory in b
    std::size_t Table, Length; // the certificate table: offset and size

    explicit SignedFile(bool pe32plus, std::size_t padding = 3) {
        Directory = kOptional + (pe32plus ? 112 : 96);
        b.assign(Directory + 16 * 8, 0);
        b[0] = 'M';
        b[1] = 'Z';
        Put32(0x3C, kPe);
        b[kPe] = 'P';
        b[kPe + 1] = 'E';
        Put16(kPe + 4, pe32plus ? 0x8664 : 0x14C);
        Put16(kPe + 20, pe32plus ? 240 : 224);
        Put16(kOptional, pe32plus ? 0x20B : 0x10B);
        Put32(Directory - 4, 16);
        Layout a;
        a.Raw(b).I32(0x2A).I32(1).Stored("A", "a", 0x2A).Close(b.size());
        b = a.b;
        b.insert(b.end(), padding, 0);
        Table = b.size();
        Layout t;
        t.I32(0).U8(0).U8(2).U8(2).U8(0).Raw(std::string("signature bytes"));
        const std::size_t start = t.b.size();
        t.I32(0x33).I32(1).Stored("B", "b", 0x33).Close(start);
        Length = t.b.size();
        b.insert(b.end(), t.b.begin(), t.b.end());
        Put32(Table, static_cast<std::uint32_t>(Length));
        Security(static_cast<std::uint32_t>(Table), static_cast<std::uint32_t>(Length));
    }
    void Put16(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 2; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void Put32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    // The security entry (index 4 of the data directory).
    void Security(std::uint32_t offset, std::uint32_t size) {
        Put32(Directory + 4 * 8, offset);
        Put32(Directory + 4 * 8 + 4, size);
    }
};
