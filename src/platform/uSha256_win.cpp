#include "platform/uSha256.h"

#include <windows.h>
#include <wincrypt.h>

namespace {

class TCryptProvider {
public:
    TCryptProvider() {
        if (!CryptAcquireContextW(&FProv, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
            FProv = 0;
    }
    ~TCryptProvider() {
        if (FProv) CryptReleaseContext(FProv, 0);
    }
    TCryptProvider(const TCryptProvider&) = delete;
    TCryptProvider& operator=(const TCryptProvider&) = delete;
    HCRYPTPROV Get() const { return FProv; }

private:
    HCRYPTPROV FProv = 0;
};

class TCryptHash {
public:
    explicit TCryptHash(HCRYPTPROV prov) {
        if (!prov || !CryptCreateHash(prov, CALG_SHA_256, 0, 0, &FHash)) FHash = 0;
    }
    ~TCryptHash() {
        if (FHash) CryptDestroyHash(FHash);
    }
    TCryptHash(const TCryptHash&) = delete;
    TCryptHash& operator=(const TCryptHash&) = delete;
    HCRYPTHASH Get() const { return FHash; }

private:
    HCRYPTHASH FHash = 0;
};

} // namespace

TSha256 Sha256(const void* data, std::size_t size) {
    TCryptProvider prov;
    TCryptHash hash(prov.Get());
    if (!hash.Get()) throw std::runtime_error("SHA-256 is not available");
    // CryptHashData takes a DWORD count: large inputs go in slices.
    const auto* p = static_cast<const BYTE*>(data);
    while (size > 0) {
        const DWORD slice = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        if (!CryptHashData(hash.Get(), p, slice, 0)) throw std::runtime_error("SHA-256 failed");
        p += slice;
        size -= slice;
    }
    TSha256 result{};
    DWORD length = static_cast<DWORD>(result.size());
    if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, result.data(), &length, 0) || length != result.size())
        throw std::runtime_error("SHA-256 failed");
    return result;
}
