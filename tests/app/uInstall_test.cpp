// What the installation writes where, and the message boxes' styles and answers.
#include "app/uInstall.h"

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

TEST(MessageBoxStyle, IconOfTheKindAndStyleOfTheButtonSet) {
    // MB_ICONHAND 0x10, MB_ICONQUESTION 0x20, MB_ICONEXCLAMATION 0x30, MB_ICONASTERISK 0x40.
    EXPECT_EQ(MessageBoxStyle(TMsgDlgType::mtError, mbOK), 0x10u);
    EXPECT_EQ(MessageBoxStyle(TMsgDlgType::mtConfirmation, mbYes | mbNo), 0x24u);
    EXPECT_EQ(MessageBoxStyle(TMsgDlgType::mtWarning, mbYes | mbNo | mbCancel), 0x33u);
    EXPECT_EQ(MessageBoxStyle(TMsgDlgType::mtInformation, mbOK | mbCancel), 0x41u);
    EXPECT_EQ(MessageBoxStyle(TMsgDlgType::mtCustom, mbRetry | mbCancel), 0x05u);
    EXPECT_EQ(MessageBoxStyle(TMsgDlgType::mtCustom, mbAbort | mbRetry | mbIgnore), 0x02u);
    // Sets without a style of their own: OK alone.
    EXPECT_EQ(MessageBoxStyle(TMsgDlgType::mtCustom, mbYes), 0x00u);
    EXPECT_EQ(MessageBoxStyle(TMsgDlgType::mtCustom, mbOK | mbYes), 0x00u);
    EXPECT_EQ(MessageBoxStyle(TMsgDlgType::mtCustom, 0), 0x00u);
}

TEST(MessageBoxStyle, AnswersAsButtons) {
    // IDOK 1 .. IDNO 7, IDTRYAGAIN 10, IDCONTINUE 11.
    const TModalResult expected[] = {TModalResult::mrNone,  TModalResult::mrOk,    TModalResult::mrCancel,
                                     TModalResult::mrAbort, TModalResult::mrRetry, TModalResult::mrIgnore,
                                     TModalResult::mrYes,   TModalResult::mrNo};
    for (int id = 0; id < 8; ++id) EXPECT_EQ(ModalResultFromAnswer(id), expected[id]) << id;
    EXPECT_EQ(ModalResultFromAnswer(10), TModalResult::mrRetry);
    EXPECT_EQ(ModalResultFromAnswer(11), TModalResult::mrIgnore);
    EXPECT_EQ(ModalResultFromAnswer(8), TModalResult::mrNone);
    EXPECT_EQ(ModalResultFromAnswer(-1), TModalResult::mrNone);
}
