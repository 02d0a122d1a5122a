#include "store/uZCompress.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>

namespace {

// zlib's avail_in / avail_out are 32-bit: larger buffers are handed over in slices.
constexpr std::size_t kMaxSlice = UINT_MAX;

constexpr std::size_t RoundUp256(std::size_t n) {
    return (n + 255) & ~std::size_t(255);
}

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

// Ends a zlib stream on every way out of the function that started it.
class TDeflateGuard {
public:
    explicit TDeflateGuard(z_stream& zs) : FStream(zs) {}
    ~TDeflateGuard() {
        if (FActive) deflateEnd(&FStream);
    }
    TDeflateGuard(const TDeflateGuard&) = delete;
    TDeflateGuard& operator=(const TDeflateGuard&) = delete;
    int End() {
        FActive = false;
        return deflateEnd(&FStream);
    }

private:
    z_stream& FStream;
    bool FActive = true;
};

class TInflateGuard {
public:
    explicit TInflateGuard(z_stream& zs) : FStream(zs) {}
    ~TInflateGuard() {
        if (FActive) inflateEnd(&FStream);
    }
    TInflateGuard(const TInflateGuard&) = delete;
    TInflateGuard& operator=(const TInflateGuard&) = delete;
    int End() {
        FActive = false;
        return inflateEnd(&FStream);
    }

private:
    z_stream& FStream;
    bool FActive = true;
};

// Hands the next slice of input to zlib once the previous one is used up.
void FeedInput(z_stream& zs, const std::uint8_t*& next, std::size_t& left) {
    if (zs.avail_in != 0 || left == 0) return;
    const std::size_t slice = std::min(left, kMaxSlice);
    zs.next_in = const_cast<Bytef*>(next);
    zs.avail_in = static_cast<uInt>(slice);
    next += slice;
    left -= slice;
}

} // namespace

std::string ZLibMessage(int code) {
    switch (code) {
    case Z_NEED_DICT:
        return "need dictionary";
    case Z_STREAM_END:
        return "stream end";
    case Z_OK:
        return "";
    case Z_ERRNO:
        return "file error";
    case Z_STREAM_ERROR:
        return "stream error";
    case Z_DATA_ERROR:
        return "data error";
    case Z_MEM_ERROR:
        return "insufficient memory";
    case Z_BUF_ERROR:
        return "buffer error";
    case Z_VERSION_ERROR:
        return "incompatible version";
    default:
        return "zlib error " + std::to_string(code);
    }
}

std::size_t CompressBound(std::size_t inputSize) {
    // zlib's bound for its default window and memory level, computed here in size_t
    // (compressBound's uLong is 32-bit on Windows).
    return inputSize + (inputSize >> 12) + (inputSize >> 14) + (inputSize >> 25) + 13;
}

std::size_t CompressInto(const void* input, std::size_t inputSize, std::uint8_t* out, std::size_t capacity,
                         int levelIndex) {
    z_stream zs{};
    int rc = deflateInit2(&zs, LevelFromIndex(levelIndex), Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK) throw EZCompressionError(ZLibMessage(rc));
    TDeflateGuard guard(zs);

    auto next = static_cast<const std::uint8_t*>(input);
    std::size_t left = inputSize;
    std::size_t used = 0;
    for (;;) {
        FeedInput(zs, next, left);
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

std::vector<std::uint8_t> CompressBuffer(const void* input, std::size_t inputSize, int levelIndex) {
    std::vector<std::uint8_t> out(CompressBound(inputSize));
    out.resize(CompressInto(input, inputSize, out.data(), out.size(), levelIndex));
    return out;
}

std::vector<std::uint8_t> DecompressBuffer(const void* input, std::size_t inputSize, std::size_t estimate,
                                           std::size_t maxOutput) {
    // Inflates straight into the result. Its capacity starts at a generous guess (memory
    // that is reserved but never written costs nothing) and doubles when full, so a
    // highly compressible stream costs amortised linear time. The size is extended one
    // slice at a time just before inflate writes there, so pages are touched once, by the
    // output itself, and the result is returned without a final copy. The total never
    // grows past maxOutput + 1 bytes: a stream that fills that much is refused.
    constexpr std::size_t kSlice = std::size_t(1) << 18;
    const std::size_t step = std::max<std::size_t>(RoundUp256(inputSize), 256);
    const std::size_t limit = maxOutput == SIZE_MAX ? maxOutput : maxOutput + 1;
    std::vector<std::uint8_t> out;
    out.reserve(std::min(limit, estimate != 0 ? estimate : std::max<std::size_t>(step * 4, 1u << 16)));

    z_stream zs{};
    int rc = inflateInit(&zs);
    if (rc != Z_OK) throw EZDecompressionError(ZLibMessage(rc));
    TInflateGuard guard(zs);

    auto next = static_cast<const std::uint8_t*>(input);
    std::size_t left = inputSize;
    for (;;) {
        const std::size_t used = out.size();
        if (used == out.capacity()) {
            if (used >= limit)
                throw EZDecompressionError("inflated data exceeds " + std::to_string(maxOutput) + " bytes");
            out.reserve(std::min(limit, std::max(used * 2, step)));
        }
        const std::size_t room = std::min({out.capacity() - used, kSlice, static_cast<std::size_t>(kMaxSlice)});
        out.resize(used + room);
        FeedInput(zs, next, left);
        zs.next_out = out.data() + used;
        zs.avail_out = static_cast<uInt>(room);
        rc = inflate(&zs, Z_NO_FLUSH);
        out.resize(used + (room - zs.avail_out));
        if (rc == Z_STREAM_END) break;
        // A stream that needs a preset dictionary cannot be inflated here; without this
        // test inflate would report the same positive code forever.
        if (rc != Z_OK) throw EZDecompressionError(ZLibMessage(rc));
    }
    rc = guard.End();
    if (rc < 0) throw EZDecompressionError(ZLibMessage(rc));
    if (out.size() > maxOutput)
        throw EZDecompressionError("inflated data exceeds " + std::to_string(maxOutput) + " bytes");
    return out;
}
