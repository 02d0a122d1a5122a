// The uninstaller's command line and naming rules.
#include "UninstArgs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Args = std::vector<std::wstring>;

// The arguments the splitter hands out, from a writable copy of the command line.
Args SplitCommandLine(const std::wstring& cmd) {
    std::wstring buffer = cmd;
    TArgSplitter splitter(buffer.data(), buffer.size());
    Args args;
    std::wstring_view arg;
    while (splitter.Next(arg)) args.emplace_back(arg);
    return args;
}

// Hands out a list of arguments the way TArgSplitter does.
struct TListArgs {
    const Args& List;
    std::size_t Index = 0;
    bool Next(std::wstring_view& arg) {
        if (Index >= List.size()) return false;
        arg = List[Index++];
        return true;
    }
};

TUninstArgs Parse(const Args& list) {
    TListArgs args{list};
    return ParseUninstArgs(args);
}

TEST(UninstArgs, SplitsOnWhiteSpaceAndGroupsQuotedPaths) {
    EXPECT_EQ(SplitCommandLine(L"\"C:\\Program Files\\X\\AUninst.exe\"  /S"),
              (Args{L"C:\\Program Files\\X\\AUninst.exe", L"/S"}));
    EXPECT_EQ(SplitCommandLine(L"C:\\Win\\AUninst.exe\t/_cleanup 12 /_parent 42"),
              (Args{L"C:\\Win\\AUninst.exe", L"/_cleanup", L"12", L"/_parent", L"42"}));
    // Backslashes before a quote stay literal; an unclosed quote runs to the end.
    EXPECT_EQ(SplitCommandLine(L"a\\\" b"), (Args{L"a\\ b"}));
    EXPECT_EQ(SplitCommandLine(L"   "), Args{});
    EXPECT_EQ(SplitCommandLine(L""), Args{});
    // Quotes inside an argument join its parts; an empty pair is an empty argument.
    EXPECT_EQ(SplitCommandLine(L"x\"a b\"y \"\" z"), (Args{L"xa by", L"", L"z"}));
}

TEST(UninstArgs, SplitsInPlaceIntoViewsOfTheBuffer) {
    // Each argument stays intact after the later ones have been split behind it.
    std::wstring buffer = L"\"C:\\a b\\XUninst.exe\" /_cleanup \"C:\\d e\\f.exe\" /S";
    TArgSplitter splitter(buffer.data(), buffer.size());
    std::wstring_view program, cleanup, target, silent, none;
    ASSERT_TRUE(splitter.Next(program));
    ASSERT_TRUE(splitter.Next(cleanup));
    ASSERT_TRUE(splitter.Next(target));
    ASSERT_TRUE(splitter.Next(silent));
    EXPECT_FALSE(splitter.Next(none));
    EXPECT_EQ(program, L"C:\\a b\\XUninst.exe");
    EXPECT_EQ(cleanup, L"/_cleanup");
    EXPECT_EQ(target, L"C:\\d e\\f.exe");
    EXPECT_EQ(silent, L"/S");
    EXPECT_GE(program.data(), buffer.data());
    EXPECT_LE(silent.data() + silent.size(), buffer.data() + buffer.size());
    // The parser reads on from where the program name ended.
    std::wstring line = L"\"C:\\x y\\AUninst.exe\" /_cleanup 12 /_parent 7 -s";
    TArgSplitter rest(line.data(), line.size());
    ASSERT_TRUE(rest.Next(program));
    TUninstArgs a = ParseUninstArgs(rest);
    EXPECT_TRUE(a.Valid && a.Silent);
    EXPECT_EQ(a.Cleanup, 12u);
    EXPECT_EQ(a.Parent, 7u);
}

TEST(UninstArgs, ParsesSilentAndHelperSwitches) {
    EXPECT_FALSE(Parse({}).Silent);
    EXPECT_TRUE(Parse({}).Valid);
    for (const wchar_t* s : {L"/S", L"/s", L"-S"}) {
        auto a = Parse({s});
        EXPECT_TRUE(a.Valid && a.Silent);
    }
    // The helper's values are inherited handles: the file, the step's and the user's run's
    // processes.
    auto helper = Parse({L"/_cleanup", L"88", L"/_PARENT", L"1234", L"-_caller", L"96", L"/S"});
    EXPECT_TRUE(helper.Valid);
    EXPECT_TRUE(helper.Silent);
    EXPECT_EQ(helper.Cleanup, 88u);
    EXPECT_EQ(helper.Parent, 1234u);
    EXPECT_EQ(helper.Caller, 96u);
    EXPECT_FALSE(helper.Remove);
    const auto noCaller = Parse({L"/_cleanup", L"88", L"/_parent", L"1234"});
    EXPECT_TRUE(noCaller.Valid && !noCaller.Silent);
    EXPECT_EQ(noCaller.Caller, 0u);
    const auto step = Parse({L"/_REMOVE", L"/s"});
    EXPECT_TRUE(step.Valid && step.Remove && step.Silent);
    EXPECT_FALSE(Parse({}).Remove);
}

TEST(UninstArgs, RejectsUnknownOrIncompleteSwitches) {
    for (const Args& a :
         {Args{L"/X"}, Args{L"/Silent"}, Args{L"S"}, Args{L"/_cleanup"}, Args{L"/_cleanup", L""},
          // A path, or anything else but a handle value, is refused.
          Args{L"/_cleanup", L"C:\\d\\XUninst.exe", L"/_parent", L"12"},
          Args{L"/_cleanup", L"\\\\?\\C:\\d\\XUninst.exe", L"/_parent", L"12"},
          Args{L"/_cleanup", L"8x", L"/_parent", L"12"}, Args{L"/_cleanup", L"0", L"/_parent", L"12"},
          Args{L"/_cleanup", L"8"}, Args{L"/_cleanup", L"8", L"/_parent"},
          Args{L"/_cleanup", L"8", L"/_parent", L"12a"},
          Args{L"/_cleanup", L"8", L"/_parent", L"99999999999999999999999"}, Args{L"/_parent", L"12"},
          Args{L"/_cleanup", L"", L"/S"}, Args{L"/_cleanup", L"8", L"/_parent", L""},
          Args{L"/_cleanup", L"8", L"/_parent", L"12", L"/_caller", L"C:\\x.exe"}, Args{L"/_caller", L"12"},
          Args{L"/_remove", L"/_cleanup", L"8", L"/_parent", L"12"}, Args{L"/_remove", L"x"}}) {
        EXPECT_FALSE(Parse(a).Valid) << a.size();
    }
    // A bad line still says whether it asked for silence (no message box then).
    EXPECT_TRUE(Parse({L"/S", L"/X"}).Silent);
    EXPECT_TRUE(Parse({L"/X", L"/s"}).Silent);
    EXPECT_FALSE(Parse({L"/X"}).Silent);
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
    EXPECT_EQ(ProgramPathOf(L"\" C:\\x\\A.scr \""), L"C:\\x\\A.scr");
    EXPECT_EQ(ProgramPathOf(L"\"\""), L"");
    EXPECT_EQ(ProgramPathOf(L""), L"");
}

} // namespace
