#pragma once
// Feeding whole buffers to zlib, whose avail_in / avail_out are 32-bit: larger buffers are
// handed over in slices. Shared by the inflating and the deflating halves of uZCompress.h.
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>

namespace zslices {

constexpr std::size_t kMaxSlice = UINT_MAX;

// Hands the next slice of input to zlib once the previous one is used up.
inline void FeedInput(z_stream& zs, const std::uint8_t*& next, std::size_t& left) {
    if (zs.avail_in != 0 || left == 0) return;
    const std::size_t slice = std::min(left, kMaxSlice);
    zs.next_in = const_cast<Bytef*>(next);
    zs.avail_in = static_cast<uInt>(slice);
    next += slice;
    left -= slice;
}

} // namespace zslices
