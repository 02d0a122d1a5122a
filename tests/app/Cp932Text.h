#pragma once
// Expected texts written in UTF-8 in the tests, as the code page 932 bytes the program
// handles.
#include "store/uText.h"

#include <gtest/gtest.h>

#include <string>

inline std::string Sjis(const char* utf8) {
    std::string out;
    EXPECT_TRUE(Utf8ToCp932(utf8, out)) << utf8;
    return out;
}
