#pragma once
// SHA-256, used to bind the item container to the installer's image. Our own: the
// installer hashes the whole container at start-up, and the system providers it could call
// hash at a fraction of the processor's speed where they do not use its SHA instructions
// (older CryptoAPI providers, Wine's). This one uses them when the processor has them and
// falls back to plain code otherwise; both give the same result on every input.
#include <array>
#include <cstddef>
#include <cstdint>

using TSha256 = std::array<std::uint8_t, 32>;

// The hash of size bytes at data.
TSha256 Sha256(const void* data, std::size_t size);

namespace sha256detail {
// Both ways of hashing, for the tests that compare them.
TSha256 Sha256Portable(const void* data, std::size_t size);
bool ProcessorHasShaInstructions();
} // namespace sha256detail
