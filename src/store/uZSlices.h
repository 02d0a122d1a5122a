#pragma once
// What the inflating and the deflating halves of uZCompress.h share: feeding whole buffers to
// zlib, whose avail_in / avail_out are 32-bit (larger buffers are handed over in slices), and
// ending a stream on every way out.
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

// Ends a zlib stream (with inflateEnd or deflateEnd) on every way out of the function that
// started it; End ends it early and gives zlib's result.
template <int (*EndStream)(z_streamp)> class TStreamGuard {
public:
    explicit TStreamGuard(z_stream& zs) : FStream(zs) {}
    ~TStreamGuard() {
        if (FActive) EndStream(&FStream);
    }
    TStreamGuard(const TStreamGuard&) = delete;
    TStreamGuard& operator=(const TStreamGuard&) = delete;
    int End() {
        FActive = false;
        return EndStream(&FStream);
    }

private:
    z_stream& FStream;
    bool FActive = true;
};

} // namespace zslices
