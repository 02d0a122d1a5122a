#include "platform/uSha256.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define SCR_SHA_INSTRUCTIONS 1
#endif

namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

using TBlocks = void (*)(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count);

constexpr std::uint32_t Rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

void PortableBlocks(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    for (; count > 0; --count, blocks += 64) {
        std::uint32_t w[64];
        for (int t = 0; t < 16; ++t) w[t] = BigEndian32(blocks + 4 * t);
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const std::uint32_t t1 =
                h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
            const std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef SCR_SHA_INSTRUCTIONS
// The SHA extensions keep the state as ABEF and CDGH and take four rounds' message words
// plus constants per pair of sha256rnds2; the schedule of the next four words is built with
// sha256msg1/msg2 while the current ones are used.
__attribute__((target("sha,sse4.1,ssse3"))) void
InstructionBlocks(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; count > 0; --count, blocks += 64) {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        __m128i w[4];
#pragma GCC unroll 16
        for (int group = 0; group < 16; ++group) {
            const int now = group % 4, before = (group + 3) % 4, after = (group + 1) % 4;
            if (group < 4)
                w[now] = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * group)), byteSwap);
            const __m128i message =
                _mm_add_epi32(w[now], _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * group)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(message, 0x0E));
            // The next four words: w[after] already holds msg1 of the words 16 and 12 back.
            if (group >= 3 && group <= 14)
                w[after] = _mm_sha256msg2_epu32(
                    _mm_add_epi32(w[after], _mm_alignr_epi8(w[now], w[before], 4)), w[now]);
            // Half of the words three groups on, once w[before] is used for the last time.
            if (group >= 1 && group <= 12) w[before] = _mm_sha256msg1_epu32(w[before], w[now]);
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}
#endif

TSha256 Hash(TBlocks blocks, const void* data, std::size_t size) {
    std::uint32_t state[8];
    std::memcpy(state, kInitial, sizeof state);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::size_t whole = size / 64;
    if (whole > 0) blocks(state, bytes, whole);

    // The rest, the 0x80 marker, zeros and the length in bits fill one or two last blocks.
    std::uint8_t tail[128] = {};
    const std::size_t rest = size % 64;
    if (rest > 0) std::memcpy(tail, bytes + whole * 64, rest);
    tail[rest] = 0x80;
    const std::size_t tailSize = rest < 56 ? 64 : 128;
    const std::uint64_t bits = static_cast<std::uint64_t>(size) * 8;
    for (int i = 0; i < 8; ++i) tail[tailSize - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    blocks(state, tail, tailSize / 64);

    TSha256 result;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j) result[4 * i + j] = static_cast<std::uint8_t>(state[i] >> (24 - 8 * j));
    return result;
}

} // namespace

namespace sha256detail {

bool ProcessorHasShaInstructions() {
#ifdef SCR_SHA_INSTRUCTIONS
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const bool ssse3 = ecx & bit_SSSE3, sse41 = ecx & bit_SSE4_1;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    return ssse3 && sse41 && (ebx & bit_SHA);
#else
    return false;
#endif
}

TSha256 Sha256Portable(const void* data, std::size_t size) {
    return Hash(PortableBlocks, data, size);
}

} // namespace sha256detail

TSha256 Sha256(const void* data, std::size_t size) {
#ifdef SCR_SHA_INSTRUCTIONS
    static const bool instructions = sha256detail::ProcessorHasShaInstructions();
    if (instructions) return Hash(InstructionBlocks, data, size);
#endif
    return Hash(PortableBlocks, data, size);
}
