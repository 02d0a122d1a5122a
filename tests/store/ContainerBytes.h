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
