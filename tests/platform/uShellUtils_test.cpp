#include "platform/uShellUtils.h"

#include <gtest/gtest.h>

#include <algorithm>

// "表" = 95 5C and "表示" = 95 5C 8E A6 in code page 932: the 5C is a trail byte, never a '\'.
static const std::string kHyou = "\x95\x5C";
static const std::string kHyouji = "\x95\x5C\x8E\xA6";

using Split = std::pair<std::string, std::string>;

TEST(ValuePath, SplitsAtTheLastBackslashOrColon) {
    EXPECT_EQ(SplitValuePath("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir"),
              Split("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir"));
    EXPECT_EQ(SplitValuePath("One\\Two\\Three"), Split("One\\Two", "Three"));
    EXPECT_EQ(SplitValuePath("\\One\\Two\\Three"), Split("One\\Two", "Three"));
    // A trailing backslash addresses the default value; one doubled separator is absorbed.
    EXPECT_EQ(SplitValuePath("One\\Two\\"), Split("One\\Two", ""));
    EXPECT_EQ(SplitValuePath("One\\Two\\\\Three"), Split("One\\Two", "Three"));
    EXPECT_EQ(SplitValuePath("Key\\Sub:Name"), Split("Key\\Sub", "Name"));
    EXPECT_EQ(SplitValuePath("Name"), Split("", "Name"));
    EXPECT_EQ(SplitValuePath(""), Split("", ""));
}

TEST(ValuePath, TrailByteIsNotASeparator) {
    EXPECT_EQ(SplitValuePath("Key\\" + kHyou), Split("Key", kHyou));
    EXPECT_EQ(SplitValuePath("Soft\\" + kHyou + "\\Name"), Split("Soft\\" + kHyou, "Name"));
    EXPECT_EQ(SplitValuePath(kHyouji + "\\"), Split(kHyouji, ""));
    EXPECT_EQ(SplitValuePath("\\" + kHyou + "\\\\" + kHyouji), Split(kHyou, kHyouji));
}

TEST(Quoting, QuoteDoublesInnerQuotes) {
    EXPECT_EQ(QuoteString("abc", '"'), "\"abc\"");
    EXPECT_EQ(QuoteString("a\"b", '"'), "\"a\"\"b\"");
    EXPECT_EQ(QuoteString("", '"'), "\"\"");
    EXPECT_EQ(QuoteString("C:\\" + kHyouji, '"'), "\"C:\\" + kHyouji + "\"");
    // A trail byte equal to the quote character is not doubled.
    EXPECT_EQ(QuoteString(kHyou + "\\", '\\'), "\\" + kHyou + "\\\\\\");
}

TEST(Quoting, UnquoteTakesTheQuotedContent) {
    EXPECT_EQ(UnquoteString("\"abc\"", '"'), "abc");
    EXPECT_EQ(UnquoteString("\"a\"\"b\" rest", '"'), "a\"b");
    EXPECT_EQ(UnquoteString("\"unclosed", '"'), "unclosed");
    EXPECT_EQ(UnquoteString("\"\"", '"'), "\"\""); // empty content: the text itself
    EXPECT_EQ(UnquoteString("plain \"x\"", '"'), "plain \"x\"");
    EXPECT_EQ(UnquoteString("", '"'), "");
    EXPECT_EQ(UnquoteString("\"" + kHyouji + "\"", '"'), kHyouji);
    // With '\' as the quote, the trail byte of "表" does not close the text.
    EXPECT_EQ(UnquoteString("\\" + kHyou + "\\x", '\\'), kHyou);
    EXPECT_EQ(UnquoteString(QuoteString("a\"\"b", '"'), '"'), "a\"\"b");
}

TEST(Extensions, NormalizeAndExtract) {
    EXPECT_EQ(NormalizeExtension("txt"), ".txt");
    EXPECT_EQ(NormalizeExtension(".txt"), ".txt");
    EXPECT_EQ(ExtractFileExt932("C:\\dir\\readme.txt"), ".txt");
    EXPECT_EQ(ExtractFileExt932("C:\\my.dir\\readme"), "");
    EXPECT_EQ(ExtractFileExt932("C:\\" + kHyouji + "\\a.b.c"), ".c");
    EXPECT_EQ(ExtractFileExt932("C:\\a." + kHyou), "." + kHyou);
    EXPECT_EQ(ExtractFileExt932("C:\\" + kHyou), "");
    EXPECT_EQ(ExtractFileExt932(""), "");
}

// The cleaned command where only the files in existing exist.
static std::string Clean(std::string_view command, std::initializer_list<std::string_view> existing = {}) {
    return CleanAssociatedCommand(command, [&](std::string_view path) {
        return std::find(existing.begin(), existing.end(), path) != existing.end();
    });
}

TEST(AssociatedCommand, CleanUpGivesTheQuotedProgram) {
    // Quoted program and quoted "%1".
    EXPECT_EQ(Clean("\"C:\\Program Files\\App\\app.exe\" \"%1\""), "\"C:\\Program Files\\App\\app.exe\"");
    // Unquoted program, a blank and %1.
    EXPECT_EQ(Clean("C:\\Windows\\notepad.exe %1"), "\"C:\\Windows\\notepad.exe\"");
    EXPECT_EQ(Clean("%SystemRoot%\\system32\\NOTEPAD.EXE %1"), "\"%SystemRoot%\\system32\\NOTEPAD.EXE\"");
    // Quoted program followed by switches.
    EXPECT_EQ(Clean("\"C:\\App\\app.exe\" -n /p \"%1\""), "\"C:\\App\\app.exe\"");
    // One lone quote: the switches are cut off, " -" first, then " /".
    EXPECT_EQ(Clean("C:\\App\\app.exe /b -a \"x"), "\"C:\\App\\app.exe\"");
    EXPECT_EQ(Clean("C:\\App\\app.exe -a /b \""), "\"C:\\App\\app.exe\"");
    // Apostrophes go; an empty command stays empty.
    EXPECT_EQ(Clean("'C:\\app.exe' %1"), "\"C:\\app.exe\"");
    EXPECT_EQ(Clean(""), "");
}

TEST(AssociatedCommand, UnquotedPathWithBlanksEndsAtTheFirstExistingExe) {
    const std::string wordpad = "C:\\Program Files\\Windows NT\\Accessories\\wordpad.exe";
    EXPECT_EQ(Clean(wordpad + " \"%1\"", {wordpad}), "\"" + wordpad + "\"");
    EXPECT_EQ(Clean(wordpad + " /p %1", {wordpad}), "\"" + wordpad + "\"");
    // The shortest existing one wins, as with CreateProcess; none existing: the first token.
    EXPECT_EQ(Clean("C:\\My Tools\\a.exe b.exe %1", {"C:\\My Tools\\a.exe", "C:\\My Tools\\a.exe b.exe"}),
              "\"C:\\My Tools\\a.exe\"");
    EXPECT_EQ(Clean(wordpad + " \"%1\""), "\"C:\\Program\"");
}

TEST(AssociatedCommand, DoubleBytePaths) {
    EXPECT_EQ(Clean("\"C:\\" + kHyouji + "\\app.exe\" \"%1\""), "\"C:\\" + kHyouji + "\\app.exe\"");
    EXPECT_EQ(Clean("C:\\" + kHyou + "\\app.exe %1"), "\"C:\\" + kHyou + "\\app.exe\"");
}

TEST(SpecialFolders, TableFollowsTheCsidlNumberingWithItsGaps) {
    EXPECT_EQ(SpecialFolderCsidl(TSpecialFolder::Desktop), 0x10); // the directory, not CSIDL_DESKTOP
    for (int i = 1; i < kSpecialFolderCount; ++i) {
        int expected = i <= 14 ? i : i <= 48 ? i + 1 : i <= 55 ? i + 4 : 0x3D;
        EXPECT_EQ(SpecialFolderCsidl(static_cast<TSpecialFolder>(i)), expected) << "index " << i;
    }
}

TEST(SpecialFolders, SetIsEightBytesOneBitPerIndex) {
    using Bytes = std::array<std::uint8_t, 8>;
    EXPECT_EQ(TSpecialFolders().Bytes(), Bytes{});
    // {3, 4, 10, 17, 19}: byte 0 bits 3 and 4, byte 1 bit 2, byte 2 bits 1 and 3.
    EXPECT_EQ(InstallerExcludedFolders().Bytes(), (Bytes{0x18, 0x04, 0x0A, 0, 0, 0, 0, 0}));
    TSpecialFolders set{TSpecialFolder::Desktop, TSpecialFolder::ComputersNearMe};
    EXPECT_EQ(set.Bytes(), (Bytes{0x01, 0, 0, 0, 0, 0, 0, 0x01}));
    EXPECT_TRUE(set.Contains(TSpecialFolder::ComputersNearMe));
    EXPECT_FALSE(set.Contains(TSpecialFolder::CDBurnArea));
}

TEST(Browsing, OptionBitsMapToDialogFlags) {
    EXPECT_EQ(BrowseFlags(0), 0u);
    EXPECT_EQ(BrowseFlags(11), 0x43u); // the installer's: file-system folders, rooted, new style
    EXPECT_EQ(BrowseFlags(0xFF), 0x70CBu);
    EXPECT_EQ(BrowseFlags(1u << 7), 0x4000u);
}
