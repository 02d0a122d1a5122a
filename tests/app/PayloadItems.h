#pragma once
// Hand-made container items for the start-up tests.
#include "store/uExeAdder.h"

#include <cstdint>
#include <string>

inline TItemType Item(const std::string& name, const std::string& data) {
    TItemType item;
    item.Name = name;
    item.Data.assign(data.begin(), data.end());
    item.Size = static_cast<std::int32_t>(data.size());
    return item;
}

// Four little-endian bytes, as an "mxl" item holds its number.
inline std::string Le32(std::uint32_t v) {
    return std::string{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
}
