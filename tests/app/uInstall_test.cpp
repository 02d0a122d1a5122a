// What the installation writes where, and the message boxes' styles and answers.
#include "app/uInstall.h"

#include "app/uCommandLine.h"

#include "app/Cp932Text.h"

#include <gtest/gtest.h>

TEST(InstallPaths, DestinationGetsOneTrailingBackslash) {
    auto p = InstallPaths("C:\\Savers", "Aurora");
    EXPECT_EQ(p.Folder, "C:\\Savers\\");
    EXPECT_EQ(p.SCRPath, "C:\\Savers\\Aurora.scr");
    EXPECT_EQ(p.ReadMePath, "C:\\Savers\\Aurora.txt");
    EXPECT_EQ(p.Uninstaller, "C:\\Savers\\AuroraUninst.exe");
    EXPECT_EQ(InstallPaths("C:\\Savers\\", "A").SCRPath, "C:\\Savers\\A.scr");
    // An empty edit: the root of the current drive.
    EXPECT_EQ(InstallPaths("", "A").Uninstaller, "\\AUninst.exe");
}

TEST(InstallPaths, TrailByte5CIsNoBackslash) {
    // "表示" = 95 5C 8E A6, "表" = 95 5C: the last byte is the second half of a character.
    EXPECT_EQ(InstallPaths("C:\\\x95\x5C", "A").SCRPath, "C:\\\x95\x5C\\A.scr");
    EXPECT_EQ(InstallPaths("C:\\\x95\x5C\\", "A").SCRPath, "C:\\\x95\x5C\\A.scr");
    EXPECT_EQ(InstallPaths("C:\\\x95\x5C\x8E\xA6", "\x95\x5C").ReadMePath,
              "C:\\\x95\x5C\x8E\xA6\\\x95\x5C.txt");
}

// The payload's name becomes one file name in the chosen folder and one registry key:
// nothing that reaches elsewhere, names a device or is no code page 932 text.
TEST(ScreenSaverName, OnePlainFileName) {
    const struct {
        std::string name;
        TNameFault fault;
    } cases[] = {
        {"Aurora", TNameFault::None},
        {"\x95\x5C\x8E\xA6 \x83\x7C", TNameFault::None}, // "表示 ポ": trail bytes 5C and 7C
        {"\xB1\xB2.v2", TNameFault::None},               // half-width katakana, a dot inside
        {"CONSOLE", TNameFault::None},
        {"COM10", TNameFault::None},
        {"", TNameFault::Empty},
        {std::string(kMaxScreenSaverName, 'a'), TNameFault::None},
        {std::string(kMaxScreenSaverName + 1, 'a'), TNameFault::TooLong},
        {"..\\..\\x", TNameFault::ForbiddenChar},
        {"C:\\y", TNameFault::ForbiddenChar},
        {"a:b", TNameFault::ForbiddenChar},
        {"a/b", TNameFault::ForbiddenChar},
        {"a|b", TNameFault::ForbiddenChar},
        {"a\tb", TNameFault::ControlChar},
        {".", TNameFault::DotName},
        {"..", TNameFault::DotName},
        {"x.", TNameFault::TrailingDotOrSpace},
        {"x ", TNameFault::TrailingDotOrSpace},
        {"NUL", TNameFault::DeviceName},
        {"con", TNameFault::DeviceName},
        {"Aux.txt", TNameFault::DeviceName},
        {"PRN .scr", TNameFault::DeviceName},
        {"com1", TNameFault::DeviceName},
        {"LPT9.x", TNameFault::DeviceName},
        {"a\x95", TNameFault::BadByte},   // a lead byte without its trail byte
        {"a\x95 b", TNameFault::BadByte}, // a trail byte out of range
        {"a\x80", TNameFault::BadByte},
    };
    for (const auto& c : cases) EXPECT_EQ(CheckScreenSaverName(c.name).Fault, c.fault) << c.name;
    EXPECT_EQ(CheckScreenSaverName("a*b").Char, '*');
}

TEST(UninstallEntry, QuotedCommandAndJapaneseName) {
    auto e = UninstallEntry("Aurora", "C:\\Program Files\\Aurora\\AuroraUninst.exe");
    EXPECT_EQ(e.UninstallString.ValuePath,
              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Aurora\\UninstallString");
    EXPECT_EQ(e.UninstallString.Data, "\"C:\\Program Files\\Aurora\\AuroraUninst.exe\"");
    EXPECT_EQ(e.DisplayName.ValuePath,
              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Aurora\\DisplayName");
    EXPECT_EQ(e.DisplayName.Data, "Aurora" + Sjis("スクリーンセーバー"));
    EXPECT_EQ(Sjis("スクリーンセーバーインストール中..."), kInstallingMessage);
}

TEST(UninstallEntry, DetailValuesForTheListOfPrograms) {
    const TInstallPaths paths = InstallPaths("C:\\My Savers", "Aurora");
    TUninstallDetails d{"1.2", Sjis("オルベイン"), 2049, 2026, 3, 7, true};
    const std::string key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Aurora\\";
    std::vector<std::string> shown;
    for (const TUninstallValue& v : UninstallDetailValues("Aurora", paths, d)) {
        ASSERT_EQ(v.ValuePath.rfind(key, 0), 0u) << v.ValuePath;
        shown.push_back(v.ValuePath.substr(key.size()) + "=" +
                        (v.IsNumber ? "#" + std::to_string(v.Number) : v.Data));
    }
    EXPECT_EQ(shown,
              (std::vector<std::string>{"DisplayIcon=C:\\My Savers\\Aurora.scr", "DisplayVersion=1.2",
                                        "Publisher=" + Sjis("オルベイン"), "InstallLocation=C:\\My Savers\\",
                                        "EstimatedSize=#3", "NoModify=#1", "NoRepair=#1",
                                        "QuietUninstallString=\"C:\\My Savers\\AuroraUninst.exe\" /S",
                                        "InstallDate=20260307", "ReadMeInstalled=#1"}));
    // No version and no publisher: not written at all; whole KiB stay as they are.
    d = {"", "", 4096, 2027, 12, 31};
    shown.clear();
    for (const TUninstallValue& v : UninstallDetailValues("Aurora", paths, d))
        shown.push_back(v.ValuePath.substr(key.size()) + (v.IsNumber ? "#" + std::to_string(v.Number) : ""));
    EXPECT_EQ(shown, (std::vector<std::string>{"DisplayIcon", "InstallLocation", "EstimatedSize#4",
                                               "NoModify#1", "NoRepair#1", "QuietUninstallString",
                                               "InstallDate", "ReadMeInstalled#0"}));
}

TEST(Destination, OnlyFullLocalDrivePaths) {
    for (const wchar_t* ok : {L"C:\\", L"d:/x", L"Z:\\表示\\a b"}) EXPECT_TRUE(IsLocalDrivePath(ok));
    for (const wchar_t* bad :
         {L"", L"C:", L"C:x", L"x", L"\\x", L"\\\\srv\\s", L"\\\\?\\C:\\x", L"\\\\.\\C:\\x", L"1:\\x",
          L"C:\\a:b", L"C:\\a*", L"C:\\a?", L"C:\\\"a\"", L"C:\\a<b>|"})
        EXPECT_FALSE(IsLocalDrivePath(bad));
}

TEST(SetupCommandLine, SwitchesAndTheDestinationToTheEnd) {
    struct Case {
        const wchar_t* line;
        bool silent, help, bad, hasDestination;
        const wchar_t* destination;
    } cases[] = {
        {L"setup.exe", false, false, false, false, L""},
        {L"\"C:\\Down loads\\setup.exe\"  ", false, false, false, false, L""},
        {L"\"C:\\a b\\setup.exe\" /S /D=C:\\Program Files\\My  Saver \t", true, false, false, true,
         L"C:\\Program Files\\My  Saver"},
        {L"setup.exe /s /D=C:\\x /S", true, false, false, true, L"C:\\x /S"}, // the rest of the line
        {L"setup.exe /D=D:\\表示 先", false, false, false, true, L"D:\\表示 先"},
        {L"setup.exe /?", false, true, false, false, L""},
        {L"setup.exe /S /X", true, false, true, false, L""},
        {L"setup.exe /S \"/D=C:\\x\"", true, false, true, false, L""}, // quoted: not the switch
        {L"setup.exe /S /D=", true, false, true, true, L""},
        {L"setup.exe -S", false, false, true, false, L""},
        {L"setup.exe /STEP=00ff /D=C:\\x", false, false, true, true, L"C:\\x"}, // not 64 digits
        {L"setup.exe /REPORT=12g /D=C:\\x", false, false, true, true, L"C:\\x"},
    };
    for (const Case& c : cases) {
        const TSetupCommandLine r = ParseSetupCommandLine(c.line);
        const std::string what(c.line, c.line + std::wcslen(c.line)); // for the message only
        EXPECT_EQ(r.Silent, c.silent) << what;
        EXPECT_EQ(r.Help, c.help) << what;
        EXPECT_EQ(r.Bad, c.bad) << what;
        EXPECT_EQ(r.HasDestination, c.hasDestination) << what;
        EXPECT_TRUE(r.Destination == c.destination) << what;
    }
    // "/LOG=" anywhere before "/D=", quoted when it holds blanks.
    for (const wchar_t* line :
         {L"setup.exe /LOG=C:\\l.txt /S /D=C:\\x", L"setup.exe /S /LOG=\"C:\\l.txt\" /D=C:\\x"}) {
        const TSetupCommandLine r = ParseSetupCommandLine(line);
        EXPECT_TRUE(r.Silent && !r.Bad && r.Log == L"C:\\l.txt" && r.Destination == L"C:\\x");
    }
    EXPECT_TRUE(ParseSetupCommandLine(L"setup.exe /LOG=\"C:\\a b\\l.txt\"").Log == L"C:\\a b\\l.txt");
    for (const wchar_t* bad : {L"setup.exe /LOG=", L"setup.exe /LOG=\"C:\\l.txt", L"setup.exe /LOG=\"x\"y"})
        EXPECT_TRUE(ParseSetupCommandLine(bad).Bad);

    // The step's command line, as the starter writes it, reads back whole.
    TSha256 binding{};
    for (std::size_t i = 0; i < binding.size(); ++i) binding[i] = static_cast<std::uint8_t>(i * 37 + 5);
    const TSetupCommandLine step = ParseSetupCommandLine(
        L"setup.exe " + StepArguments(binding, L"0123456789abcdef0123456789abcdef", L"C:\\表示 先"));
    EXPECT_TRUE(step.Step && !step.Bad && !step.Silent);
    EXPECT_EQ(step.StepBinding, binding);
    EXPECT_EQ(step.ReportPipe, L"0123456789abcdef0123456789abcdef");
    EXPECT_TRUE(step.Destination == L"C:\\表示 先");
}

// The starter reads the step's outcome back from its exit code: the same page and code for
// every outcome; a failed write is told apart by the system's code behind it.
TEST(OutcomeTable, ExitCodesReadBackAndWriteCauses) {
    for (int i = 0; i <= static_cast<int>(TInstallResult::Unexpected); ++i) {
        const TOutcomeRule& rule = OutcomeRule(static_cast<TInstallResult>(i));
        EXPECT_EQ(static_cast<int>(rule.Result), i);
        const TOutcomeRule& back = OutcomeRule(ResultOfExit(static_cast<int>(rule.Exit)));
        EXPECT_EQ(back.Page, rule.Page) << rule.LogName;
        EXPECT_EQ(back.Exit, rule.Exit) << rule.LogName;
    }
    EXPECT_EQ(ResultOfExit(99), TInstallResult::Unexpected);
    EXPECT_EQ(WriteFailure(112), TInstallResult::DiskFull);  // ERROR_DISK_FULL
    EXPECT_EQ(WriteFailure(32), TInstallResult::FileInUse);  // ERROR_SHARING_VIOLATION
    EXPECT_EQ(WriteFailure(5), TInstallResult::WriteFailed); // ERROR_ACCESS_DENIED
    EXPECT_EQ(CauseMessage(5), SCauseAccessDenied);
    EXPECT_EQ(CauseMessage(1), TStringId{}); // the system's own text
}
