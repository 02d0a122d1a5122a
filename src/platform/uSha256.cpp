#include "platform/uSha256.h"

#ifndef _WIN32
#include <openssl/evp.h>

TSha256 Sha256(const void* data, std::size_t size) {
    TSha256 result{};
    unsigned int length = 0;
    if (!EVP_Digest(data, size, result.data(), &length, EVP_sha256(), nullptr) || length != result.size())
        throw std::runtime_error("SHA-256 failed");
    return result;
}
#endif
