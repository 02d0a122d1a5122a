#include "store/uZCompress.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
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

void SetOutput(z_stream& zs, std::vector<std::uint8_t>& out, std::size_t used) {
    zs.next_out = out.data() + used;
    zs.avail_out = static_cast<uInt>(std::min(out.size() - used, kMaxSlice));
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

std::vector<std::uint8_t> CompressBuffer(const void* input, std::size_t inputSize, int levelIndex) {
    // Room for the input plus a tenth and the framing, rounded up to 256 bytes: enough
    // for all but pathological input, which then grows 256 bytes at a time.
    std::vector<std::uint8_t> out(RoundUp256(inputSize + inputSize / 10 + 12));

    z_stream zs{};
    int rc = deflateInit2(&zs, LevelFromIndex(levelIndex), Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK) throw EZCompressionError(ZLibMessage(rc));
    TDeflateGuard guard(zs);

    auto next = static_cast<const std::uint8_t*>(input);
    std::size_t left = inputSize;
    std::size_t used = 0;
    for (;;) {
        FeedInput(zs, next, left);
        SetOutput(zs, out, used);
        const uInt before = zs.avail_out;
        rc = deflate(&zs, left == 0 ? Z_FINISH : Z_NO_FLUSH);
        used += before - zs.avail_out;
        if (rc == Z_STREAM_END) break;
        if (rc < 0 && rc != Z_BUF_ERROR) throw EZCompressionError(ZLibMessage(rc));
        if (used == out.size()) out.resize(out.size() + 256);
    }
    rc = guard.End();
    if (rc < 0) throw EZCompressionError(ZLibMessage(rc));
    out.resize(used);
    return out;
}

std::vector<std::uint8_t> DecompressBuffer(const void* input, std::size_t inputSize, std::size_t estimate,
                                           std::size_t maxOutput) {
    // The block doubles whenever it is full (never less than the rounded input size), so
    // a highly compressible stream costs amortised linear time. It never grows past
    // maxOutput + 1 bytes: a stream that fills that much is refused.
    const std::size_t step = std::max<std::size_t>(RoundUp256(inputSize), 256);
    const std::size_t limit = maxOutput == SIZE_MAX ? maxOutput : maxOutput + 1;
    std::vector<std::uint8_t> out(std::min(estimate != 0 ? estimate : step, limit));

    z_stream zs{};
    int rc = inflateInit(&zs);
    if (rc != Z_OK) throw EZDecompressionError(ZLibMessage(rc));
    TInflateGuard guard(zs);

    auto next = static_cast<const std::uint8_t*>(input);
    std::size_t left = inputSize;
    std::size_t used = 0;
    for (;;) {
        if (used == out.size()) {
            if (out.size() >= limit)
                throw EZDecompressionError("inflated data exceeds " + std::to_string(maxOutput) + " bytes");
            out.resize(std::min(out.size() + std::max(step, out.size()), limit));
        }
        FeedInput(zs, next, left);
        SetOutput(zs, out, used);
        const uInt before = zs.avail_out;
        rc = inflate(&zs, Z_NO_FLUSH);
        used += before - zs.avail_out;
        if (rc == Z_STREAM_END) break;
        // A stream that needs a preset dictionary cannot be inflated here; without this
        // test inflate would report the same positive code forever.
        if (rc != Z_OK) throw EZDecompressionError(ZLibMessage(rc));
    }
    rc = guard.End();
    if (rc < 0) throw EZDecompressionError(ZLibMessage(rc));
    if (used > maxOutput)
        throw EZDecompressionError("inflated data exceeds " + std::to_string(maxOutput) + " bytes");
    out.resize(used);
    // Give back a large unused tail; the copy is cheap next to the inflating.
    if (out.capacity() - used > used / 4 + 4096) out.shrink_to_fit();
    return out;
}
