#include "store/uHexText.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

// Every byte value goes out as two digits, high nibble first, and reads back; only the
// lowercase spelling of exactly the expected length reads back.
TEST(HexText, EveryByteRoundTripsAndOnlyLowercaseReadsBack) {
    std::array<std::uint8_t, 256> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
    const std::wstring lower = hextext::Text<std::wstring>(bytes);
    const std::string upper = hextext::Text<std::string>(bytes, hextext::TLetters::Upper);
    EXPECT_EQ(lower.substr(0, 6), L"000102");
    EXPECT_EQ(lower.substr(2 * 0xAB, 2), L"ab");
    EXPECT_EQ(upper.substr(2 * 0xAB, 2), "AB");

    std::array<std::uint8_t, 256> back{};
    ASSERT_TRUE(hextext::ReadLower(std::wstring_view(lower), back.data(), back.size()));
    EXPECT_EQ(back, bytes);

    std::uint8_t one[2] = {7, 7};
    for (std::string_view bad : {"AB01", "ab0", "ab012", "ab0g", "ab 1"}) {
        EXPECT_FALSE(hextext::ReadLower(bad, one, 2)) << bad;
        EXPECT_EQ(one[0], 7) << bad;
    }
    EXPECT_TRUE(hextext::IsLowerDigits(std::string_view("09af"), 4));
    EXPECT_FALSE(hextext::IsLowerDigits(std::string_view("09aF"), 4));
}
