#include "platform/uSha256.h"
#include "store/uHexText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Hex(const TSha256& hash) {
    return hextext::Text<std::string>(hash);
}

// Bytes that differ from block to block: (7 i + 1) mod 256.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 1) & 255);
    return bytes;
}

} // namespace

// Known answers (FIPS 180-2's examples, the others from Python's hashlib), at the lengths
// where the padding takes one or two last blocks, by the plain code and by whichever way
// this processor hashes; where it has SHA instructions, they and the plain code agree on
// every length and alignment.
TEST(Sha256, KnownAnswersAndBothWaysAgree) {
    const struct {
        std::string Input;
        const char* Hash;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {Pattern(55), "16fa57a0a3423a715d594516339f36189d6b5f93754a9714fef202616a9fabfe"},
        {Pattern(63), "bbba992d2c85af960fb2987a1fd05e0aa82a3db3c740dd8982a9e273b75e36a3"},
        {Pattern(64), "66bd4633ed6f71c4ecfa4763bf7ba1c8ec7612de9aa6c0578a7b675207c71e0b"},
        {Pattern(65), "9f7dc47107b750a1f3d35db5d9547f24ef40da5b731b9540d4f43710a154f6c9"},
        {Pattern(119), "a3ed307b730fa77c07531300c6e4a282330011d4d4caf6bb7b63ae05950f4b66"},
        {Pattern(120), "8e3b15d9fea7472655aa069620b7f8c2e55ee1499f763200a7515fe826e99d20"},
        {Pattern(128), "e462c130fef8c97e34f7dc3ff3ad2f8b3533ab849af21c10531552a2852387a4"},
        {Pattern(1000), "095ecb62e30793ab4b954cd6a0586d0cc91f7ea5b1332694d8da780e98676d78"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(Sha256(c.Input.data(), c.Input.size())), c.Hash) << c.Input.size() << " bytes";
        EXPECT_EQ(Hex(sha256detail::Sha256Portable(c.Input.data(), c.Input.size())), c.Hash)
            << c.Input.size() << " bytes, plain code";
    }

    if (!sha256detail::ProcessorHasShaInstructions()) return; // one way only: nothing to compare
    std::vector<std::uint8_t> bytes(4099);
    std::uint32_t x = 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    for (std::size_t size = 0; size + 3 <= bytes.size(); size += size < 200 ? 1 : 97)
        for (std::size_t offset : {0, 3})
            ASSERT_EQ(Sha256(bytes.data() + offset, size),
                      sha256detail::Sha256Portable(bytes.data() + offset, size))
                << size << " bytes at offset " << offset;
}
