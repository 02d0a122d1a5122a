// The screensaver command line in the forms Windows and other launchers use.
#include "ScrArgs.h"

#include <gtest/gtest.h>

namespace {

TScrArgs Parse(std::wstring_view line) {
    return ParseScrArgs(SkipProgramName(line));
}

TEST(ScrArgs, SkipsTheProgramNameQuotedOrNot) {
    EXPECT_EQ(SkipProgramName(L"\"C:\\Program Files\\A B.scr\" /s"), L" /s");
    EXPECT_EQ(SkipProgramName(L"C:\\WINDOWS\\ORVANE~1.SCR /p 12"), L" /p 12");
    EXPECT_EQ(SkipProgramName(L"saver.scr"), L"");
    EXPECT_EQ(SkipProgramName(L"\"unclosed"), L"");
}

TEST(ScrArgs, FullScreenInEveryForm) {
    for (const wchar_t* line :
         {L"x.scr /s", L"x.scr /S", L"x.scr -s", L"x.scr   /s 123", L"\"x y.scr\" /S"}) {
        EXPECT_EQ(Parse(line).Mode, TScrMode::Saver);
    }
}

TEST(ScrArgs, PreviewTakesTheWindowAfterSpaceOrColon) {
    for (const wchar_t* line :
         {L"x.scr /p 4660", L"x.scr /P:4660", L"x.scr -p   4660", L"x.scr /p:4660 junk"}) {
        TScrArgs a = Parse(line);
        EXPECT_EQ(a.Mode, TScrMode::Preview);
        EXPECT_EQ(a.Window, 4660u);
    }
    // No number, or one too large for a handle: no window.
    EXPECT_EQ(Parse(L"x.scr /p").Window, 0u);
    EXPECT_EQ(Parse(L"x.scr /p abc").Window, 0u);
    EXPECT_EQ(Parse(L"x.scr /p 999999999999999999999999").Window, 0u);
    EXPECT_EQ(Parse(L"x.scr /p 999999999999999999999999").Mode, TScrMode::Preview);
}

TEST(ScrArgs, SettingsWithOrWithoutOwnerAndForAnythingElse) {
    EXPECT_EQ(Parse(L"x.scr").Mode, TScrMode::Settings);
    EXPECT_EQ(Parse(L"x.scr /c").Mode, TScrMode::Settings);
    EXPECT_EQ(Parse(L"x.scr /c").Window, 0u);
    EXPECT_EQ(Parse(L"x.scr /C:1234").Window, 1234u);
    EXPECT_EQ(Parse(L"x.scr -c 77").Window, 77u);
    EXPECT_EQ(Parse(L"x.scr /x 5").Mode, TScrMode::Settings);
    EXPECT_EQ(Parse(L"x.scr /x 5").Window, 0u);
    EXPECT_EQ(Parse(L"x.scr s").Mode, TScrMode::Settings);
    EXPECT_EQ(Parse(L"x.scr /").Mode, TScrMode::Settings);
    EXPECT_EQ(Parse(L"x.scr /a 99").Mode, TScrMode::Password);
}

} // namespace
