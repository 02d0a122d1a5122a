#include "app/uDigest.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string StandardMd5Hex(const std::string& s) {
    TDigestContext ctx;
    DigestInitStandard(ctx);
    DigestUpdate(ctx, s.data(), s.size());
    std::string text = DigestText(DigestFinal(ctx));
    return std::string(text.rbegin(), text.rend()); // undo the reversal: plain MD5 hex
}
} // namespace

// The algorithm itself is RFC 1321: its test suite, with the standard chaining words.
TEST(Digest, StandardWordsGiveRfc1321Vectors) {
    EXPECT_EQ(StandardMd5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(StandardMd5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(StandardMd5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(StandardMd5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(StandardMd5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(StandardMd5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Digest, UpdateInPiecesEqualsOneUpdate) {
    std::string data(1000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + 3);
    TDigestContext whole, pieces;
    DigestInit(whole);
    DigestUpdate(whole, data.data(), data.size());
    DigestInit(pieces);
    for (std::size_t at = 0, step = 1; at < data.size(); at += step, step = step * 2 + 1)
        DigestUpdate(pieces, data.data() + at, std::min(step, data.size() - at));
    EXPECT_EQ(DigestFinal(whole), DigestFinal(pieces));
}

TEST(Digest, OwnChainingWordsChangeTheResult) {
    std::string payload = "abc";
    std::string ours = PayloadDigestText(payload.data(), payload.size());
    EXPECT_EQ(ours.size(), 32u);
    EXPECT_NE(ours, std::string("900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_NE(ours, std::string("27f71e82d7f3696d0bf42dc389051009")); // the reversed standard text
    EXPECT_EQ(ours.find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST(Digest, TextIsLowercaseHexReversed) {
    TDigest d{};
    d[0] = 0x1F;
    d[15] = 0x3C;
    std::string text = DigestText(d);
    EXPECT_EQ(text.substr(0, 2), "c3");
    EXPECT_EQ(text.substr(30, 2), "f1");
    EXPECT_EQ(text, "c3" + std::string(28, '0') + "f1");
}
