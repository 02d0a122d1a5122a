#include "store/uZCompress.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

using Bytes8 = std::vector<std::uint8_t>;

namespace {

// Text-like data that compresses well but not trivially.
Bytes8 Sample(std::size_t size, unsigned seed = 1) {
    std::mt19937 rng(seed);
    static const char* words[] = {"mov ",  "eax, ",  "push ", "ebp\n",
                                  "call ", "0x4010", "ret\n", "スクリーン"};
    Bytes8 out;
    while (out.size() < size) {
        const char* w = words[rng() % 8];
        for (const char* p = w; *p && out.size() < size; ++p) out.push_back(static_cast<std::uint8_t>(*p));
    }
    return out;
}

Bytes8 Random(std::size_t size, unsigned seed = 7) {
    std::mt19937 rng(seed);
    Bytes8 out(size);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
}

Bytes8 ZlibCompress2(const Bytes8& in, int level) {
    uLongf len = compressBound(static_cast<uLong>(in.size()));
    Bytes8 out(len);
    EXPECT_EQ(compress2(out.data(), &len, in.data(), static_cast<uLong>(in.size()), level), Z_OK);
    out.resize(len);
    return out;
}

// The message of the zlib error f raises, or "(no error)".
template <typename F> std::string ErrorOf(F f) {
    try {
        f();
    } catch (const EZCompressionError& e) {
        return e.what();
    } catch (const EZDecompressionError& e) {
        return e.what();
    }
    return "(no error)";
}

std::string DecompressError(const Bytes8& in, std::size_t maxOutput = kMaxInflatedSize) {
    return ErrorOf([&] { DecompressBuffer(in.data(), in.size(), 0, maxOutput); });
}

} // namespace

TEST(ZLibMessage, IsZlibsOwnTable) {
    for (int code = -6; code <= 2; ++code) EXPECT_EQ(ZLibMessage(code), zError(code)) << code;
}

// Each level index gives zlib's own bytes at its level (compress2 uses window bits 15 and
// memory level 8 as well), the default being index 2 (level 6); each inflates back, whatever
// the starting capacity the estimate gives. An index out of the table is zlib's stream error.
TEST(CompressBuffer, RoundTripsEverySizeKindAndLevel) {
    const int levels[] = {0, 1, 6, 9};
    for (std::size_t size : {0u, 1u, 255u, 256u, 257u, 4096u, 100000u}) {
        for (const Bytes8& input : {Sample(size), Random(size), Bytes8(size, 0)}) {
            for (int index = 0; index < 4; ++index) {
                const Bytes8 packed = CompressBuffer(input.data(), input.size(), index);
                EXPECT_EQ(packed, ZlibCompress2(input, levels[index])) << size << " index " << index;
                EXPECT_EQ(DecompressBuffer(packed.data(), packed.size(), size * index / 2), input) << size;
            }
            EXPECT_EQ(CompressBuffer(input.data(), input.size()), ZlibCompress2(input, 6)) << size;
        }
    }
    for (int index : {-1, 4})
        EXPECT_EQ(ErrorOf([&] { CompressBuffer(nullptr, 0, index); }), "stream error") << index;
}

TEST(StoreInto, WritesStoredBlocksAnyZlibReaderInflates) {
    for (std::size_t size : {0u, 38u, 65535u, 65536u, 200000u}) {
        const Bytes8 input = Random(size);
        const std::size_t blocks = size == 0 ? 1 : (size + 65534) / 65535;
        Bytes8 packed(CompressBound(size));
        packed.resize(StoreInto(input.data(), input.size(), packed.data(), packed.size()));
        EXPECT_EQ(packed.size(), size + 6 + 5 * blocks) << size;
        EXPECT_EQ(packed[0], 0x78);
        EXPECT_EQ(packed[1], 0x01);
        EXPECT_EQ(packed[2], blocks == 1 ? 1 : 0) << "BFINAL only on the last block, BTYPE 00";
        EXPECT_EQ(DecompressBuffer(packed.data(), packed.size()), input) << size;
        Bytes8 plain(size);
        uLongf plainSize = static_cast<uLongf>(size);
        EXPECT_EQ(uncompress(plain.data(), &plainSize, packed.data(), static_cast<uLong>(packed.size())),
                  Z_OK);
        EXPECT_EQ(plain, input) << size;
    }
    Bytes8 oneShort(43);
    const Bytes8 input = Random(38);
    EXPECT_EQ(ErrorOf([&] { StoreInto(input.data(), input.size(), oneShort.data(), oneShort.size()); }),
              "buffer error");
}

TEST(DecompressBuffer, CapIsAnErrorNotAnAllocation) {
    const Bytes8 zeros(1 << 20, 0);
    const Bytes8 packed = CompressBuffer(zeros.data(), zeros.size());
    EXPECT_EQ(DecompressBuffer(packed.data(), packed.size(), 0, zeros.size()).size(), zeros.size());
    EXPECT_EQ(DecompressError(packed, zeros.size() - 1), "inflated data exceeds 1048575 bytes");
    EXPECT_EQ(DecompressError(packed, 0), "inflated data exceeds 0 bytes");
    // A bomb: 16 MB of zeros from a stream of about 16 KB stops at the cap.
    const Bytes8 big(16u << 20, 0);
    const Bytes8 bomb = CompressBuffer(big.data(), big.size());
    EXPECT_LT(bomb.size(), 20000u);
    EXPECT_EQ(DecompressError(bomb, 3u << 20), "inflated data exceeds 3145728 bytes");
}

TEST(DecompressBuffer, DamagedStreamsRaiseZlibsMessage) {
    const Bytes8 input = Sample(20000);
    const Bytes8 packed = CompressBuffer(input.data(), input.size());

    Bytes8 truncated(packed.begin(), packed.end() - 10);
    EXPECT_EQ(DecompressError(truncated), "buffer error");
    EXPECT_EQ(DecompressError(Bytes8(packed.begin(), packed.begin() + 2)), "buffer error");
    EXPECT_EQ(DecompressError(Bytes8{}), "buffer error");

    Bytes8 badHeader = packed;
    badHeader[1] ^= 0xFF;
    EXPECT_EQ(DecompressError(badHeader), "data error");
    Bytes8 badCheck = packed;
    badCheck.back() ^= 0x01;
    EXPECT_EQ(DecompressError(badCheck), "data error");

    // A stream that asks for a preset dictionary cannot be inflated here.
    z_stream zs{};
    ASSERT_EQ(deflateInit(&zs, 6), Z_OK);
    const Bytes8 dict = Sample(100, 9);
    deflateSetDictionary(&zs, dict.data(), static_cast<uInt>(dict.size()));
    Bytes8 withDict(1024);
    zs.next_in = const_cast<Bytef*>(input.data());
    zs.avail_in = 100;
    zs.next_out = withDict.data();
    zs.avail_out = static_cast<uInt>(withDict.size());
    ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    withDict.resize(zs.total_out);
    deflateEnd(&zs);
    EXPECT_EQ(DecompressError(withDict), "need dictionary");
}
