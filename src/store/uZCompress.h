#pragma once
// Whole-buffer zlib compression (RFC 1950 streams: deflate method, window bits 15, memory
// level 8, default strategy). Every caller in the system uses level index 2 (zlib's
// default level), so compressed data starts with the bytes 78 9C; the installer alone
// links a CompressInto that writes stored blocks (StoreInto, 78 01), since the only data it
// compresses is its uninstaller's short "GUID" item (platform/link/StoredCompression.cpp).
#include "store/uErrors.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class EZLibError : public Exception {
public:
    using Exception::Exception;
};
class EZCompressionError : public EZLibError {
public:
    using EZLibError::EZLibError;
};
class EZDecompressionError : public EZLibError {
public:
    using EZLibError::EZLibError;
};

// zlib's own message for a result code ("data error" for -3, "" for 0, ...).
std::string ZLibMessage(int code);

// Level index: 0 store only, 1 fastest, 2 zlib's default (6), 3 best.
std::vector<std::uint8_t> CompressBuffer(const void* input, std::size_t inputSize, int levelIndex = 2);
// The most bytes CompressBuffer can make of inputSize bytes, at any level.
std::size_t CompressBound(std::size_t inputSize);
// Compresses straight into out, which has room for CompressBound(inputSize) bytes (less
// raises EZCompressionError when it runs out); returns the bytes written.
std::size_t CompressInto(const void* input, std::size_t inputSize, std::uint8_t* out, std::size_t capacity,
                         int levelIndex = 2);
// The same stream without compression: 78 01, stored blocks of up to 65535 bytes (5 bytes
// of header each), the Adler-32; 6 + 5 * blocks bytes more than the input, within
// CompressBound. Any zlib reader inflates it.
std::size_t StoreInto(const void* input, std::size_t inputSize, std::uint8_t* out, std::size_t capacity);

// Inflates one complete zlib stream. Estimate 0 derives the starting capacity from the
// input size; the output grows geometrically. An output larger than maxOutput raises
// EZDecompressionError instead of exhausting memory.
constexpr std::size_t kMaxInflatedSize = std::size_t(1) << 30; // 1 GiB
std::vector<std::uint8_t> DecompressBuffer(const void* input, std::size_t inputSize, std::size_t estimate = 0,
                                           std::size_t maxOutput = kMaxInflatedSize);
