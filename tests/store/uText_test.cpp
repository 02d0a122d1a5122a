#include "store/uText.h"

#include <gtest/gtest.h>

// "表示" in code page 932: 95 5C 8E A6; the 5C is a trail byte, not a backslash.
static const std::string kHyouji = "\x95\x5C\x8E\xA6";

TEST(Text932, TrailByteIsNeverABackslash) {
    EXPECT_EQ(FindChar932(kHyouji, '\\'), std::string::npos);
    EXPECT_FALSE(EndsWithChar932("C:\\"
                                 "\x95\x5C",
                                 '\\'));
    EXPECT_TRUE(EndsWithChar932("C:\\" + kHyouji + "\\", '\\'));
    EXPECT_EQ(IncludeTrailingBackslash932("C:\\\x95\x5C"), "C:\\\x95\x5C\\");
    EXPECT_EQ(IncludeTrailingBackslash932("C:\\dir\\"), "C:\\dir\\");
    EXPECT_EQ(FindLastOf932("a\\" + kHyouji, "\\:"), 1u);
    EXPECT_TRUE(IsTrailByte932(kHyouji, 1));
    EXPECT_FALSE(IsTrailByte932(kHyouji, 2));
}

TEST(Text932, SubstringSearchStartsOnCharacterBoundaries) {
    // 0x83 0x25 is not valid 932 but 0x83 is a lead byte: the '%' after it is its trail byte.
    std::string s = std::string("a\x83") + "%1 b %1";
    EXPECT_EQ(Find932(s, "%1"), 7u);
    EXPECT_EQ(ReplaceAll932(s, "%1", ""), std::string("a\x83") + "%1 b ");
    EXPECT_EQ(ReplaceAll932("x %1 %1", "%1", ""), "x  ");
}

TEST(Text932, TrimAndUpperCase) {
    EXPECT_EQ(Trim(" \t\r\nabc \x01"), "abc");
    EXPECT_EQ(Trim(""), "");
    // 'a' after a lead byte is a trail byte (0x61 is a valid trail) and stays as it is.
    EXPECT_EQ(UpperAscii932("ab\x81"
                            "a"),
              "AB\x81"
              "a");
}

// Nothing from outside can end or forge a line: control characters and bytes that start
// no character are shown as "\xNN"; Japanese text (a trail byte 5C or 7C too) stays.
TEST(Text932, EscapeControls) {
    EXPECT_EQ(EscapeControls932("2.0\r\nfile C:\\x.scr\x1b[2J\x7f"),
              "2.0\\x0D\\x0Afile C:\\x.scr\\x1B[2J\\x7F");
    EXPECT_EQ(EscapeControls932("\x95\x5C\x83\x7C \xB1"), "\x95\x5C\x83\x7C \xB1"); // 表ポ ｱ
    EXPECT_EQ(EscapeControls932("\x80\xA0\xFF\x95\x0A\x95"), "\\x80\\xA0\\xFF\\x95\\x0A\\x95");
}

TEST(Text932, Utf8RoundTripAndUnmappableCharacter) {
    std::string out;
    ASSERT_TRUE(Utf8ToCp932("表示 ﾃｽﾄ", out));
    EXPECT_EQ(out, kHyouji + " \xC3\xBD\xC4");
    std::string back;
    ASSERT_TRUE(Cp932ToUtf8(out, back));
    EXPECT_EQ(back, "表示 ﾃｽﾄ");
    std::string bad;
    EXPECT_FALSE(Utf8ToCp932("ok 😀 no", out, &bad));
    EXPECT_EQ(bad, "😀");
}

TEST(Text932, ExcludeTrailingBackslashKeepsATrailByte) {
    EXPECT_EQ(ExcludeTrailingBackslash932("C:\\dir\\"), "C:\\dir");
    EXPECT_EQ(ExcludeTrailingBackslash932("C:\\dir\\\\"), "C:\\dir\\");
    EXPECT_EQ(ExcludeTrailingBackslash932("C:\\" + kHyouji.substr(0, 2)), "C:\\" + kHyouji.substr(0, 2));
    EXPECT_EQ(ExcludeTrailingBackslash932("C:\\" + kHyouji.substr(0, 2) + "\\"),
              "C:\\" + kHyouji.substr(0, 2));
    EXPECT_EQ(ExcludeTrailingBackslash932(""), "");
}
