// The uninstaller's command line and naming rules.
#include "UninstArgs.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::wstring>;

TEST(UninstArgs, SplitsOnWhiteSpaceAndGroupsQuotedPaths) {
    EXPECT_EQ(SplitCommandLine(L"\"C:\\Program Files\\X\\AUninst.exe\"  /S"),
              (Args{L"C:\\Program Files\\X\\AUninst.exe", L"/S"}));
    EXPECT_EQ(SplitCommandLine(L"C:\\Win\\AUninst.exe\t/_cleanup \"C:\\a b\\c.exe\" /_parent 42"),
              (Args{L"C:\\Win\\AUninst.exe", L"/_cleanup", L"C:\\a b\\c.exe", L"/_parent", L"42"}));
    // Backslashes before a quote stay literal; an unclosed quote runs to the end.
    EXPECT_EQ(SplitCommandLine(L"a\\\" b"), (Args{L"a\\ b"}));
    EXPECT_EQ(SplitCommandLine(L"   "), Args{});
}

TEST(UninstArgs, ParsesSilentAndHelperSwitches) {
    EXPECT_FALSE(ParseUninstArgs({}).Silent);
    EXPECT_TRUE(ParseUninstArgs({}).Valid);
    for (const wchar_t* s : {L"/S", L"/s", L"-S"}) {
        auto a = ParseUninstArgs({s});
        EXPECT_TRUE(a.Valid && a.Silent);
    }
    auto helper = ParseUninstArgs({L"/_cleanup", L"C:\\d\\XUninst.exe", L"/_PARENT", L"1234", L"/S"});
    EXPECT_TRUE(helper.Valid);
    EXPECT_TRUE(helper.Silent);
    EXPECT_EQ(helper.CleanupTarget, L"C:\\d\\XUninst.exe");
    EXPECT_EQ(helper.Parent, 1234u);
}

TEST(UninstArgs, RejectsUnknownOrIncompleteSwitches) {
    for (const Args& a :
         {Args{L"/X"}, Args{L"/Silent"}, Args{L"S"}, Args{L"/_cleanup"}, Args{L"/_cleanup", L""},
          Args{L"/_cleanup", L"x", L"/_parent"}, Args{L"/_cleanup", L"x", L"/_parent", L"12a"},
          Args{L"/_cleanup", L"x", L"/_parent", L"99999999999999999999999"}, Args{L"/_parent", L"12"}}) {
        EXPECT_FALSE(ParseUninstArgs(a).Valid) << a.size();
    }
}

TEST(UninstArgs, TakesTheScreenSaverNameFromTheFileName) {
    EXPECT_EQ(ScreenSaverNameFromFileName(L"TestSaverUninst.exe"), L"TestSaver");
    EXPECT_EQ(ScreenSaverNameFromFileName(L"TestSaverUNINST.EXE"), L"TestSaver");
    EXPECT_EQ(ScreenSaverNameFromFileName(L"表示Uninst.exe"), L"表示");
    EXPECT_EQ(ScreenSaverNameFromFileName(L"Uninst.exe"), L"");
    EXPECT_EQ(ScreenSaverNameFromFileName(L"TestSaver.exe"), L"");
    EXPECT_EQ(ScreenSaverNameFromFileName(L"TestSaverUninst.exe.bak"), L"");
    EXPECT_EQ(ScreenSaverNameFromFileName(L""), L"");
}

TEST(UninstArgs, TakesTheProgramPathFromACommandValue) {
    EXPECT_EQ(ProgramPathOf(L"\"C:\\Program Files\\AUninst.exe\""), L"C:\\Program Files\\AUninst.exe");
    EXPECT_EQ(ProgramPathOf(L"  \"C:\\x\\AUninst.exe\" /S"), L"C:\\x\\AUninst.exe");
    EXPECT_EQ(ProgramPathOf(L"C:\\Program Files\\AUninst.exe "), L"C:\\Program Files\\AUninst.exe");
    EXPECT_EQ(ProgramPathOf(L"\"C:\\unclosed"), L"C:\\unclosed");
    EXPECT_EQ(ProgramPathOf(L""), L"");
}

} // namespace
