#include "platform/uFlashUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
std::vector<std::string> Split(const std::string& text, const std::string& sep = ".") {
    std::vector<std::string> parts{"left over"};
    SplitString(parts, text, sep);
    return parts;
}
} // namespace

TEST(SplitString, PartsAsTheSeparatorsCutThem) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Split(""), V{});
    EXPECT_EQ(Split("7"), V{"7"});
    EXPECT_EQ(Split("7."), V{"7"});
    EXPECT_EQ(Split(".7"), (V{"", "7"}));
    EXPECT_EQ(Split("7..0"), (V{"7", "", "0"}));
    EXPECT_EQ(Split("."), V{""});
    EXPECT_EQ(Split("9.0.124.0"), (V{"9", "0", "124", "0"}));
    EXPECT_EQ(Split("a--b--", "--"), (V{"a", "b"}));
    EXPECT_EQ(Split("a.b", ""), V{"a.b"});
}

TEST(SplitString, TrailByteOfADoubleByteCharacterIsNotASeparator) {
    using V = std::vector<std::string>;
    // "表" is 95 5C: its trail byte is a backslash.
    EXPECT_EQ(Split("\x95\x5C\\x", "\\"), (V{"\x95\x5C", "x"}));
    // "　" (full-width space) is 81 40: its trail byte is "@".
    EXPECT_EQ(Split("\x81\x40@1", "@"), (V{"\x81\x40", "1"}));
}

struct VersionCase {
    const char* installed;
    const char* required;
    bool expected;
};

TEST(IsVersionAtLeast, ComparesPartsAsNumbers) {
    const VersionCase cases[] = {
        {"7.0.19.0", "7.0.19.0", true},
        {"8.0.22.0", "7.0.19.0", true}, // the first part decides
        {"7.0.14.0", "7.0.19.0", false},
        {"10.0.12.36", "9.0.28.0", true}, // 10 above 9 as numbers, not as text
        {"9.0.28.0", "10.0.12.36", false},
        {"7.0.19.0", "7.0.9.0", true},
        {"7.0.19.1", "7.0.19.0", true},
        {"7.0.19.0", "7.0.19.1", false},
        {"0.0.0.0", "7.0.19.0", false}, // the player's file was not found
        {"0.0.0.0", "1", false},
        {"", "7.0.19.0", false},                                         // no version record
        {"9.0.124.0", "007.0.19.0", true},                               // leading zeros are only zeros
        {"65535.65535.65535.65535", "99999999999999999999999.0", false}, // no overflow
        {"65535.0.0.0", "18446744073709551616", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsVersionAtLeast(c.installed, c.required), c.expected)
            << "installed \"" << c.installed << "\", required \"" << c.required << "\"";
}

TEST(IsVersionAtLeast, MissingPartsCountAsZero) {
    const VersionCase cases[] = {
        {"7.0.19.0", "7.0", true},
        {"7.0.19.0", "7", true},
        {"7.0.19.0", "8", false},
        {"7.0.19.0", "7.1", false},
        {"7.0.19.0", "7.0.19.0.0", true},
        {"7.0.19.0", "7.0.19.0.1", false},
        {"7.0.19.0", "6.9.9.9.9.9", true},
        {"7.0.19.0", "", true}, // no minimum named
        {"0.0.0.0", "", true},
        {"", "", true},   // identical
        {"", "0", false}, // an empty installed text meets no named version
        {"7", "7.0.0.0", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsVersionAtLeast(c.installed, c.required), c.expected)
            << "installed \"" << c.installed << "\", required \"" << c.required << "\"";
}

TEST(IsVersionAtLeast, BlanksAndLineBreaksAroundTheRequiredTextAreIgnored) {
    EXPECT_TRUE(IsVersionAtLeast("9.0.124.0", " 9.0.124.0"));
    EXPECT_TRUE(IsVersionAtLeast("9.0.124.0", "9.0.124.0\r\n"));
    EXPECT_TRUE(IsVersionAtLeast("10.0.0.0", "\t9.0.124.0 "));
    EXPECT_FALSE(IsVersionAtLeast("8.0.0.0", " 9.0.124.0\r\n"));
}

TEST(IsVersionAtLeast, NonDecimalRequiredPartFailsWhenItIsReached) {
    const VersionCase cases[] =
        {
            {"9.0.124.0", "7.x", true}, // decided by 9 > 7 before "x" is reached
            {"7.0.19.0", "7.x", false},        {"7.0.19.0", "7.0.19.0b", false},
            {"7.0.19.0", "7.0.r19", false},    {"7.0.19.0", "7..19.0", false}, // an empty part is no number
            {"7.0.19.0", "7.0.19.", true}, // a trailing separator adds no part
            {"7.0.19.0", "7. 0.19.0", false},  {"7.0.19.0", "+7.0.19.0", false},
            {"7.0.19.0", "-1", false},         {"7.0.19.0", "7,0,19,0", false},
            {"7.0.19.0", "\x82\x56.0", false}, // a full-width digit is no decimal digit
            {"7.0.19.0b", "7.0.19.0b", true},  // identical texts pass before any parsing
        };
    for (const auto& c : cases)
        EXPECT_EQ(IsVersionAtLeast(c.installed, c.required), c.expected)
            << "installed \"" << c.installed << "\", required \"" << c.required << "\"";
}
