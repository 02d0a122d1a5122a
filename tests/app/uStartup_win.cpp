// The string table as the program loads it, and the verdict with the real player probe.
#include "app/uStartup.h"

#include "app/Cp932Text.h"
#include "app/PayloadItems.h"
#include "app/uDigest.h"
#include "common/StandInPlayer.h"
#include "platform/uText.h"

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

TEST(StringTable, VerdictMessages) {
    EXPECT_EQ(VerdictMessageText(TStartupVerdict::WelcomePage()), "");
    EXPECT_EQ(VerdictMessageText(TStartupVerdict::Failure(SInvalidData, {}, false)),
              Sjis("不正なデータです"));
    EXPECT_EQ(VerdictMessageText(TStartupVerdict::Failure(SFlashMissing, "7.0.19.0", true)),
              Sjis("Flash ActiveX Player が見つからないかバージョンが古いため実行できません\r\n"
                   "バージョン 7.0.19.0 以降が必要です"));
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

class RealProbeVerdict : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(FCom.Ok()); }
    TComScope FCom;
    TFlashPlayerProbe FProbe;
};
} // namespace

TEST_F(RealProbeVerdict, NoPlayer) {
    for (bool verCheck : {true, false}) {
        TStartupVerdict v = IntactPayload(verCheck).StartupVerdict(FProbe);
        EXPECT_FALSE(v.Welcome);
        EXPECT_EQ(v.MessageId, SFlashMissing);
        EXPECT_EQ(v.Argument, "7.0.19.0");
        EXPECT_TRUE(v.OfferDownload);
    }
}

TEST_F(RealProbeVerdict, RecentPlayer) {
    TStandInRegistration reg(BesideTestProgram(L"standin_player_new.dll"));
    ASSERT_TRUE(reg.Ok());
    EXPECT_TRUE(IntactPayload(true).StartupVerdict(FProbe).Welcome);
    // Tampered data fails even with a good player.
    TPayloadSettings tampered = IntactPayload(true);
    tampered.FSCRData[0] = 'N';
    TStartupVerdict v = tampered.StartupVerdict(FProbe);
    EXPECT_FALSE(v.Welcome);
    EXPECT_EQ(v.MessageId, SInvalidData);
    EXPECT_FALSE(v.OfferDownload);
}

TEST_F(RealProbeVerdict, OldPlayer) {
    TStandInRegistration reg(BesideTestProgram(L"standin_player_old.dll"));
    ASSERT_TRUE(reg.Ok());
    TStartupVerdict v = IntactPayload(true).StartupVerdict(FProbe);
    EXPECT_FALSE(v.Welcome);
    EXPECT_EQ(v.MessageId, SFlashMissing);
    EXPECT_TRUE(v.OfferDownload);
    EXPECT_TRUE(IntactPayload(false).StartupVerdict(FProbe).Welcome);
}
