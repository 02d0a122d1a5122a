#pragma once
// SHA-256 from the platform: CryptoAPI on Windows (advapi32, whose provider DLL it loads
// from the system directory itself), OpenSSL's libcrypto elsewhere. Used to bind the item
// container to the installer's image.
#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

using TSha256 = std::array<std::uint8_t, 32>;

// The hash of size bytes at data. Raises std::runtime_error when the platform cannot
// hash (no provider): a check that cannot be made must not pass.
TSha256 Sha256(const void* data, std::size_t size);
