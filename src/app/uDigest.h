#pragma once
// The payload digest: MD5 (RFC 1321) started from the system's own four chaining words,
// printed as 32 lowercase hexadecimal digits and reversed character by character. The
// installer and scrpack share this unit, so both always use the same words.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The four initial chaining words A, B, C, D.
inline constexpr std::array<std::uint32_t, 4> kDigestInitWords = {0x3C9A51E7u, 0x8D20F46Bu, 0x6B7EC219u,
                                                                  0xD45F03A8u};

struct TDigestContext {
    std::array<std::uint32_t, 4> State{};
    std::uint64_t BitCount = 0;
    std::array<std::uint8_t, 64> Buffer{};
};
using TDigest = std::array<std::uint8_t, 16>;

// Standard MD5 initialisation, then the chaining words replaced by kDigestInitWords.
void DigestInit(TDigestContext& ctx);
// Plain RFC 1321 MD5 initialisation (for checking the algorithm against known vectors).
void DigestInitStandard(TDigestContext& ctx);
void DigestUpdate(TDigestContext& ctx, const void* data, std::size_t size);
TDigest DigestFinal(TDigestContext& ctx);

// 32 lowercase hex digits, high nibble first, then reversed ("1f..3c" -> "c3..f1").
std::string DigestText(const TDigest& digest);

// DigestText of the system's digest over the first size bytes of data.
std::string PayloadDigestText(const void* data, std::size_t size);
