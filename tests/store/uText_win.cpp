#include "store/uText.h"

#include <gtest/gtest.h>

// Wine's ANSI code page here is 1252; the conversions must use 932 regardless.
TEST(Text932Win, WideConversionUsesCodePage932) {
    EXPECT_EQ(ToWide("\x95\x5C\x8E\xA6"), L"\u8868\u793A");
    EXPECT_EQ(FromWide(L"\u8868\u793A"), "\x95\x5C\x8E\xA6");
    EXPECT_EQ(PathFromCp932("C:\\\x95\x5C"), L"C:\\\u8868");
}
