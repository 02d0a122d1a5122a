// The string table as the program loads it, and the verdict with the real player probe.
#include "app/uStartup.h"

#include "app/Cp932Text.h"
#include "app/PayloadItems.h"
#include "app/uDigest.h"
#include "common/StandInPlayer.h"
#include "store/uStreams.h"
#include "store/uText.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(StringTable, EveryMessageInCodePage932) {
    EXPECT_EQ(LoadResString(SCaptionNext), Sjis("次へ(&N) >"));
    EXPECT_EQ(LoadResString(SCaptionInstall), Sjis("インストール(&N)"));
    EXPECT_EQ(LoadResString(SCaptionFinish), Sjis("完了(&N)"));
    EXPECT_EQ(LoadResString(SCaptionExit), Sjis("終了(&N)"));
    EXPECT_EQ(LoadResString(SSelectFolder), Sjis("インストール先を選択してください"));
    EXPECT_EQ(LoadResString(SNoDestination),
              Sjis("保存先ディレクトリが存在しません\r\nインストールに失敗しました"));
    EXPECT_EQ(LoadResString(SFlashMissing),
              Sjis("Flash ActiveX Player が見つからないかバージョンが古いため実行できません\r\n"
                   "バージョン %s 以降が必要です"));
    EXPECT_EQ(LoadResString(SInvalidData), Sjis("不正なデータです"));
    // Hand-made bytes for one of them: "不正なデータです".
    EXPECT_EQ(LoadResString(SInvalidData),
              "\x95\x73\x90\xB3\x82\xC8\x83\x66\x81\x5B\x83\x5E\x82\xC5\x82\xB7");
    EXPECT_EQ(LoadResString(999), "");
}

// The outcome's message with its subject, then the cause: the user's words for the common
// codes, the system's own text for the others.
TEST(StringTable, OutcomeTexts) {
    EXPECT_EQ(VerdictMessageText({}), "");
    EXPECT_EQ(VerdictMessageText({TInstallResult::PlayerMissing, "7.0.19.0", {}, 0}),
              Sjis("Flash ActiveX Player が見つからないかバージョンが古いため実行できません\r\n"
                   "バージョン 7.0.19.0 以降が必要です"));
    EXPECT_EQ(
        OutcomeText(TInstallResult::DiskFull, "C:\\a.scr", ERROR_DISK_FULL),
        Sjis("次のファイルを書き込めませんでした\r\nC:\\a.scr\r\n原因: ディスクの空き領域が足りません"));
    EXPECT_EQ(OutcomeText(TInstallResult::WriteFailed, "x", ERROR_INVALID_FUNCTION),
              Sjis("次のファイルを書き込めませんでした\r\nx\r\n原因: ") +
                  SystemErrorText(ERROR_INVALID_FUNCTION));
}

namespace {
TPayloadSettings IntactPayload(bool verCheck) {
    const std::string scr = "MZ stand-in screensaver";
    TItemTypes items = {Item("SCR", scr), Item("mxl", Le32(64)),
                        Item("mxf", PayloadDigestText(scr.data(), scr.size())),
                        Item("FlashVersion", "7.0.19.0")};
    if (!verCheck) items.push_back(Item("InstallerVerCheck", std::string(1, '\0')));
    TPayloadSettings s;
    s.ResetSettings(kDesignedCaption);
    s.ApplyItems(items);
    return s;
}
} // namespace

// The verdict with the real probe: no player, a recent one, an old one (accepted only when
// any version is).
TEST(RealProbeVerdict, NoRecentAndOldPlayer) {
    TComScope com;
    ASSERT_TRUE(com.Ok());
    TFlashPlayerProbe probe;
    EXPECT_EQ(IntactPayload(false).StartupVerdict(probe).Result, TInstallResult::PlayerMissing);
    {
        TStandInRegistration reg(BesideTestProgram(L"standin_player_new.dll"));
        ASSERT_TRUE(reg.Ok());
        EXPECT_TRUE(IntactPayload(true).StartupVerdict(probe).Welcome());
    }
    TStandInRegistration reg(BesideTestProgram(L"standin_player_old.dll"));
    ASSERT_TRUE(reg.Ok());
    EXPECT_EQ(IntactPayload(true).StartupVerdict(probe).Result, TInstallResult::PlayerMissing);
    EXPECT_TRUE(IntactPayload(false).StartupVerdict(probe).Welcome());
}
