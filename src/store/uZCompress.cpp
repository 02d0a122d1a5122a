#include "store/uZCompress.h"

#include "store/uLittleEndian.h"
#include "store/uZSlices.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>

namespace {

using zslices::FeedInput;
using zslices::kMaxSlice;

constexpr std::size_t RoundUp256(std::size_t n) {
    return (n + 255) & ~std::size_t(255);
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

std::size_t StoreInto(const void* input, std::size_t inputSize, std::uint8_t* out, std::size_t capacity) {
    // RFC 1950 header (deflate, 32 KB window, "fastest" level: 78 01), RFC 1951 stored blocks
    // (a header byte with BFINAL and BTYPE 00, then LEN and its complement NLEN,
    // little-endian), then the Adler-32 of the data, big-endian.
    constexpr std::size_t kMaxBlock = 0xFFFF;
    const std::size_t blocks = inputSize == 0 ? 1 : (inputSize - 1) / kMaxBlock + 1;
    if (inputSize > capacity || capacity - inputSize < 2 + 5 * blocks + 4)
        throw EZCompressionError(ZLibMessage(Z_BUF_ERROR));
    const auto* next = static_cast<const std::uint8_t*>(input);
    std::uint8_t* at = out;
    *at++ = 0x78;
    *at++ = 0x01;
    std::size_t left = inputSize;
    do {
        const std::size_t length = std::min(left, kMaxBlock);
        left -= length;
        *at++ = left == 0 ? 1 : 0;
        le::Put(at, length, 2);
        le::Put(at + 2, ~length & 0xFFFF, 2);
        at += 4;
        if (length != 0) std::memcpy(at, next, length);
        at += length;
        next += length;
    } while (left != 0);
    const auto check = static_cast<std::uint32_t>(adler32_z(1, static_cast<const Bytef*>(input), inputSize));
    for (int shift = 24; shift >= 0; shift -= 8) *at++ = static_cast<std::uint8_t>(check >> shift);
    return static_cast<std::size_t>(at - out);
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
    zslices::TStreamGuard<inflateEnd> guard(zs);

    auto next = static_cast<const std::uint8_t*>(input);
    std::size_t left = inputSize;
    for (;;) {
        const std::size_t used = out.size();
        if (used == out.capacity()) {
            if (used >= limit)
                throw EZDecompressionError("inflated data exceeds " + std::to_string(maxOutput) + " bytes");
            out.reserve(std::min(limit, std::max(used * 2, step)));
        }
        const std::size_t room =
            std::min({out.capacity() - used, kSlice, static_cast<std::size_t>(kMaxSlice)});
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
