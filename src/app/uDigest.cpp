#include "app/uDigest.h"

#include "store/uHexText.h"
#include "store/uLittleEndian.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kK[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

constexpr std::uint32_t RotateLeft(std::uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

void Transform(std::array<std::uint32_t, 4>& state, const std::uint8_t* block) {
    std::uint32_t m[16];
    for (int i = 0; i < 16; ++i) {
        m[i] = le::Get32(block + i * 4);
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        std::uint32_t next = b + RotateLeft(a + f + kK[i] + m[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

} // namespace

void DigestInitStandard(TDigestContext& ctx) {
    ctx.State = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
    ctx.BitCount = 0;
    ctx.Buffer.fill(0);
}

void DigestInit(TDigestContext& ctx) {
    DigestInitStandard(ctx);
    ctx.State = kDigestInitWords;
}

void DigestUpdate(TDigestContext& ctx, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t used = static_cast<std::size_t>((ctx.BitCount / 8) % 64);
    ctx.BitCount += static_cast<std::uint64_t>(size) * 8;
    if (used != 0) {
        std::size_t take = std::min(size, 64 - used);
        std::memcpy(ctx.Buffer.data() + used, p, take);
        p += take;
        size -= take;
        if (used + take < 64) return;
        Transform(ctx.State, ctx.Buffer.data());
    }
    for (; size >= 64; p += 64, size -= 64) Transform(ctx.State, p);
    if (size != 0) std::memcpy(ctx.Buffer.data(), p, size);
}

TDigest DigestFinal(TDigestContext& ctx) {
    std::uint64_t bits = ctx.BitCount;
    std::uint8_t pad[72] = {0x80};
    std::size_t used = static_cast<std::size_t>((bits / 8) % 64);
    std::size_t padLen = used < 56 ? 56 - used : 120 - used;
    DigestUpdate(ctx, pad, padLen);
    std::uint8_t length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    DigestUpdate(ctx, length, 8);
    TDigest out;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) out[i * 4 + j] = static_cast<std::uint8_t>(ctx.State[i] >> (8 * j));
    }
    return out;
}

std::string DigestText(const TDigest& digest) {
    std::string s = hextext::Text<std::string>(digest);
    std::reverse(s.begin(), s.end());
    return s;
}

std::string PayloadDigestText(const void* data, std::size_t size) {
    TDigestContext ctx;
    DigestInit(ctx);
    DigestUpdate(ctx, data, size);
    return DigestText(DigestFinal(ctx));
}
