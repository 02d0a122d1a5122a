// zlib's deflate behind CompressInto (declared in store/uZCompress.h), in a file of its own:
// a program that never compresses more than a few bytes (the installer) links
// platform/link/StoredCompression.cpp instead, and the 33 KB of deflate stay out of it.
#include "store/uZCompress.h"
#include "store/uZSlices.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace {

int LevelFromIndex(int levelIndex) {
    switch (levelIndex) {
    case 0:
        return Z_NO_COMPRESSION;
    case 1:
        return Z_BEST_SPEED;
    case 2:
        return Z_DEFAULT_COMPRESSION;
    case 3:
        return Z_BEST_COMPRESSION;
    default:
        return INT_MAX; // deflateInit2 refuses it with Z_STREAM_ERROR
    }
}

} // namespace

std::size_t CompressInto(const void* input, std::size_t inputSize, std::uint8_t* out, std::size_t capacity,
                         int levelIndex) {
    using zslices::kMaxSlice;
    z_stream zs{};
    int rc = deflateInit2(&zs, LevelFromIndex(levelIndex), Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK) throw EZCompressionError(ZLibMessage(rc));
    zslices::TStreamGuard<deflateEnd> guard(zs);

    auto next = static_cast<const std::uint8_t*>(input);
    std::size_t left = inputSize;
    std::size_t used = 0;
    for (;;) {
        zslices::FeedInput(zs, next, left);
        if (zs.avail_out == 0) {
            zs.next_out = out + used;
            zs.avail_out = static_cast<uInt>(std::min(capacity - used, kMaxSlice));
        }
        const uInt before = zs.avail_out;
        rc = deflate(&zs, left == 0 ? Z_FINISH : Z_NO_FLUSH);
        used += before - zs.avail_out;
        if (rc == Z_STREAM_END) break;
        if (rc < 0 && rc != Z_BUF_ERROR) throw EZCompressionError(ZLibMessage(rc));
        if (used == capacity) throw EZCompressionError(ZLibMessage(Z_BUF_ERROR));
    }
    rc = guard.End();
    if (rc < 0) throw EZCompressionError(ZLibMessage(rc));
    return used;
}
