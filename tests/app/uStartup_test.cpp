#include "app/uStartup.h"

#include "app/PayloadItems.h"
#include "app/uDigest.h"
#include "store/uExeAdder.h"
#include "store/uText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

std::string Text(const std::vector<std::uint8_t>& v) {
    return std::string(v.begin(), v.end());
}

TPayloadSettings Apply(const TItemTypes& items) {
    TPayloadSettings s;
    s.ResetSettings(kDesignedCaption);
    s.ApplyItems(items);
    return s;
}

// Stands for the player's COM object in host tests; counts the objects created.
class TFakeProbe : public IPlayerProbe {
public:
    TFakeProbe(bool installed, std::string version) : FInstalled(installed), FVersion(std::move(version)) {}
    std::optional<std::string> InstalledVersion() override {
        ++Created;
        return FInstalled ? std::optional<std::string>(FVersion) : std::nullopt;
    }
    int Created = 0;

private:
    bool FInstalled;
    std::string FVersion;
};

} // namespace

// Without items, and after a reset that follows a load: nothing to install, the version
// check and the player on, the designed caption (in code page 932) or the one the reset gives.
TEST(PayloadSettings, DefaultsWithoutItemsAndAfterAReset) {
    TPayloadSettings loaded = Apply({Item("SCR", "abc"), Item("InstallerVerCheck", std::string(1, '\0')),
                                     Item("InstallerTitle", "T"), Item("mxl", Le32(3)),
                                     Item("InstallerForceSet", std::string(1, '\1')), Item("GUID", "g"),
                                     Item("InstallerReadme", "r"), Item("InstallerLeftImage", "BM")});
    loaded.ResetSettings("caption");
    TPayloadSettings none = Apply({});
    std::string designed;
    ASSERT_TRUE(Utf8ToCp932("Orvane スクリーンセーバー　インストーラー", designed));
    EXPECT_EQ(std::string(kDesignedCaption), designed);
    EXPECT_EQ(none.FTitle, designed);
    EXPECT_EQ(loaded.FTitle, "caption");
    for (const TPayloadSettings* s : {&none, &loaded}) {
        EXPECT_TRUE(s->FSCRData.empty() && s->FReadMeData.empty() && s->FLeftImage.empty() &&
                    s->FTopImage.empty());
        for (const std::string* text : {&s->FSCRName, &s->FEULA, &s->FReadMePath, &s->FGUID,
                                        &s->FExpectedDigest, &s->FVersion, &s->FPublisher, &s->FFlashVersion})
            EXPECT_EQ(*text, "");
        EXPECT_EQ(s->FDigestLength, 0u);
        EXPECT_FALSE(s->FForceSet);
        EXPECT_TRUE(s->FVerCheck);
        EXPECT_TRUE(s->FNeedsPlayer);
    }
}

TEST(PayloadSettings, EveryKeyAndItsConversion) {
    const std::string sjisName = "\x95\x5C\x8E\xA6"; // "表示", taken byte for byte
    TPayloadSettings s = Apply({
        Item("GUID", "{0A1B2C3D-0000-1111-2222-333344445555}"),
        Item("mxf", "0123456789abcdef0123456789abcdef"),
        Item("mxl", Le32(0x12345678)),
        Item("FlashVersion", "7.0.19.0"),
        Item("SCRName", sjisName),
        Item("InstallerTitle", "Title\r\n"),
        Item("InstallerLeftImage", "BMleft"),
        Item("InstallerTopImage", "BMtop"),
        Item("InstallerForceSet", std::string(1, '\x02')),
        Item("InstallerVerCheck", std::string(1, '\0')),
        Item("InstallerNeedsPlayer", std::string(1, '\0')),
        Item("InstallerVersion", "1.2 " + sjisName),
        Item("InstallerPublisher", sjisName + " Co."),
        Item("InstallerEULA", std::string("line1\r\nline2\0tail", 17)),
        Item("InstallerReadme", "readme"),
        Item("SCR", std::string("MZ\0\x90", 4)),
    });
    EXPECT_EQ(s.FGUID, "{0A1B2C3D-0000-1111-2222-333344445555}");
    EXPECT_EQ(s.FExpectedDigest, "0123456789abcdef0123456789abcdef");
    EXPECT_EQ(s.FDigestLength, 0x12345678u); // little-endian
    EXPECT_EQ(s.FFlashVersion, "7.0.19.0");
    EXPECT_EQ(s.FSCRName, sjisName);
    EXPECT_EQ(s.FTitle, "Title\r\n"); // no trimming, no conversion
    EXPECT_EQ(Text(s.FLeftImage), "BMleft");
    EXPECT_EQ(Text(s.FTopImage), "BMtop");
    EXPECT_TRUE(s.FForceSet); // any non-zero byte is true
    EXPECT_FALSE(s.FVerCheck);
    EXPECT_FALSE(s.FNeedsPlayer);
    EXPECT_EQ(s.FVersion, "1.2 " + sjisName);
    EXPECT_EQ(s.FPublisher, sjisName + " Co.");
    EXPECT_EQ(s.FEULA, std::string("line1\r\nline2\0tail", 17)); // exactly the item's size
    EXPECT_EQ(Text(s.FReadMeData), "readme");
    EXPECT_EQ(Text(s.FSCRData), std::string("MZ\0\x90", 4));
}

TEST(PayloadSettings, LaterItemWinsStreamsAreConcatenated) {
    TPayloadSettings s = Apply({
        Item("SCR", "first-"), Item("GUID", "g1"), Item("InstallerForceSet", std::string(1, '\1')),
        Item("InstallerReadme", "r1"), Item("mxl", Le32(1)), Item("SCR", "second"), Item("GUID", "g2"),
        Item("InstallerForceSet", std::string(1, '\0')), Item("InstallerReadme", "r2"), Item("mxl", Le32(7)),
        Item("InstallerLeftImage", "L1"), Item("InstallerLeftImage", ""), // empty keeps the earlier picture
        Item("InstallerTitle", "one"), Item("InstallerTitle", ""),        // an empty string does replace
    });
    EXPECT_EQ(Text(s.FSCRData), "first-second");
    EXPECT_EQ(Text(s.FReadMeData), "r1r2");
    EXPECT_EQ(s.FGUID, "g2");
    EXPECT_FALSE(s.FForceSet);
    EXPECT_EQ(s.FDigestLength, 7u);
    EXPECT_EQ(Text(s.FLeftImage), "L1");
    EXPECT_EQ(s.FTitle, "");
}

TEST(PayloadSettings, NamesCompareExactly) {
    TPayloadSettings s = Apply({Item("scr", "x"), Item("SCR ", "x"), Item("Guid", "x"), Item("MXF", "x"),
                                Item("InstallerEula", "x"), Item("", "x"), Item("SCRNam", "x")});
    EXPECT_TRUE(s.FSCRData.empty());
    EXPECT_EQ(s.FGUID, "");
    EXPECT_EQ(s.FExpectedDigest, "");
    EXPECT_EQ(s.FEULA, "");
    EXPECT_EQ(s.FSCRName, "");
}

TEST(PayloadSettings, ShortItemsCountAsAbsent) {
    TPayloadSettings s = Apply({
        Item("mxl", Le32(5)),
        Item("mxl", std::string("\x09\x00\x00", 3)), // three bytes: ignored, 5 stays
        Item("InstallerVerCheck", std::string(1, '\0')),
        Item("InstallerVerCheck", ""), // no data: ignored, false stays
        Item("InstallerForceSet", ""),
    });
    EXPECT_EQ(s.FDigestLength, 5u);
    EXPECT_FALSE(s.FVerCheck);
    EXPECT_FALSE(s.FForceSet);
    // Longer data: only the first four bytes, the first byte.
    s.ApplyItem(Item("mxl", Le32(0xFFFFFFFF) + "junk"));
    s.ApplyItem(Item("InstallerForceSet", std::string("\0\1", 2)));
    EXPECT_EQ(s.FDigestLength, 0xFFFFFFFFu);
    EXPECT_FALSE(s.FForceSet);
}

TEST(PayloadSettings, SizeNeverReadsPastTheData) {
    // A size larger than the block the item owns, or negative: only real bytes are used.
    TItemType big = Item("SCRName", "abc");
    big.Size = 1000;
    TItemType negative = Item("SCR", "xyz");
    negative.Size = -4;
    TItemType shortBlock = Item("mxl", "\x01\x02");
    shortBlock.Size = 4;
    TItemType smaller = Item("GUID", "abcdef");
    smaller.Size = 2;
    TPayloadSettings s = Apply({big, negative, shortBlock, smaller});
    EXPECT_EQ(s.FSCRName, "abc");
    EXPECT_TRUE(s.FSCRData.empty());
    EXPECT_EQ(s.FDigestLength, 0u);
    EXPECT_EQ(s.FGUID, "ab");
}

TEST(PayloadSettings, ScreensaverDataIsTakenOverNotCopied) {
    TItemTypes items{Item("SCR", std::string(5000, 'S'))};
    items[0].Size = 4000;
    const std::uint8_t* held = items[0].Data.data();
    TPayloadSettings s;
    s.ResetSettings(kDesignedCaption);
    s.ApplyItems(std::move(items));
    EXPECT_EQ(s.FSCRData.data(), held); // the same block: no second copy at start-up
    EXPECT_EQ(s.FSCRData.size(), 4000u);
}

// ---- Integrity check and verdict ----

namespace {
std::string Reversed(std::string s) {
    return std::string(s.rbegin(), s.rend());
}
std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
const std::string kScr = "MZ screensaver body \x01\x02\x03 and its tail";

TPayloadSettings Payload(const std::string& scr, std::uint32_t mxl, const std::string& mxf) {
    return Apply({Item("SCR", scr), Item("mxl", Le32(mxl)), Item("mxf", mxf)});
}
} // namespace

TEST(PayloadDigest, IntegrityCheckTable) {
    const std::string whole = PayloadDigestText(kScr.data(), kScr.size());
    const std::string first10 = PayloadDigestText(kScr.data(), 10);
    const std::string none = PayloadDigestText(nullptr, 0);
    ASSERT_NE(whole, first10);
    ASSERT_NE(Upper(whole), whole);
    struct Case {
        const char* what;
        TPayloadSettings settings;
        bool intact;
    } cases[] = {
        {"whole data", Payload(kScr, std::uint32_t(kScr.size()), whole), true},
        {"mxl above the size covers the whole data", Payload(kScr, 0xFFFFFFFF, whole), true},
        {"mxl one above the size", Payload(kScr, std::uint32_t(kScr.size() + 1), whole), true},
        {"leading 10 bytes", Payload(kScr, 10, first10), true},
        {"leading 10 bytes, the whole digest given", Payload(kScr, 10, whole), false},
        {"bytes after mxl are not covered", Payload(kScr.substr(0, 10) + "changed", 10, first10), true},
        {"a changed covered byte", Payload("N" + kScr.substr(1), std::uint32_t(kScr.size()), whole), false},
        {"mxl 0: digest of zero bytes", Payload(kScr, 0, none), true},
        {"capital digits", Payload(kScr, std::uint32_t(kScr.size()), Upper(whole)), false},
        {"not reversed", Payload(kScr, std::uint32_t(kScr.size()), Reversed(whole)), false},
        {"trailing NUL", Payload(kScr, std::uint32_t(kScr.size()), whole + std::string(1, '\0')), false},
        {"trailing space", Payload(kScr, std::uint32_t(kScr.size()), whole + " "), false},
        {"prefix only", Payload(kScr, std::uint32_t(kScr.size()), whole.substr(0, 31)), false},
        {"empty mxf", Payload(kScr, std::uint32_t(kScr.size()), ""), false},
        {"no items at all", Apply({}), false},
        {"mxl absent, zero-byte digest", Apply({Item("SCR", kScr), Item("mxf", none)}), true},
        {"no SCR, zero-byte digest", Apply({Item("mxl", Le32(100)), Item("mxf", none)}), true},
        // Two "SCR" items are digested as one, in their order.
        {"two SCR items",
         Apply({Item("SCR", kScr.substr(0, 7)), Item("mxf", whole), Item("SCR", kScr.substr(7)),
                Item("mxl", Le32(std::uint32_t(kScr.size())))}),
         true},
        {"two SCR items swapped",
         Apply({Item("SCR", kScr.substr(7)), Item("SCR", kScr.substr(0, 7)), Item("mxf", whole),
                Item("mxl", Le32(std::uint32_t(kScr.size())))}),
         false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.settings.IsPayloadIntact(), c.intact) << c.what;
}

TEST(StartupVerdict, VerdictTable) {
    const std::string whole = PayloadDigestText(kScr.data(), kScr.size());
    const auto intact = [&](const char* flashVersion, bool verCheck, const char* name = "Aurora",
                            const std::string& signedUninstaller = "") {
        TItemTypes items = {Item("SCRName", name), Item("GUID", "{G}"), Item("SCR", kScr),
                            Item("mxl", Le32(std::uint32_t(kScr.size()))), Item("mxf", whole)};
        if (flashVersion) items.push_back(Item("FlashVersion", flashVersion));
        if (!verCheck) items.push_back(Item("InstallerVerCheck", std::string(1, '\0')));
        if (!signedUninstaller.empty())
            items.push_back(Item("InstallerSignedUninstaller", signedUninstaller));
        return Apply(items);
    };
    // An uninstaller carrying a container with the given "GUID".
    const auto uninstallerOf = [](const std::string& guid) {
        TWriteHelper helper;
        helper.AddString("GUID", guid);
        const TContainerBytes container = helper.ContainerBytes(77);
        return "MZ uninstaller" + std::string(container.begin(), container.end());
    };
    struct Case {
        const char* what;
        TPayloadSettings settings;
        bool installed;
        const char* version;
        TInstallResult result;
        int created; // player objects made
    } cases[] = {
        {"recent player", intact("7.0.19.0", true), true, "9.0.124.0", TInstallResult::Installed, 1},
        {"same version", intact("9.0.124.0", true), true, "9.0.124.0", TInstallResult::Installed, 1},
        {"old player", intact("7.0.19.0", true), true, "6.0.79.0", TInstallResult::PlayerMissing, 1},
        {"old player, any version accepted", intact("7.0.19.0", false), true, "6.0.79.0",
         TInstallResult::Installed, 1},
        {"no player", intact("7.0.19.0", true), false, "", TInstallResult::PlayerMissing, 1},
        {"no player, any version accepted", intact("7.0.19.0", false), false, "",
         TInstallResult::PlayerMissing, 1},
        {"player without version record", intact("7.0.19.0", true), true, "", TInstallResult::PlayerMissing,
         1},
        {"no FlashVersion item: no minimum", intact(nullptr, true), true, "6.0.79.0",
         TInstallResult::Installed, 1},
        // The player is never examined for data that fails its check.
        {"tampered data, good player", Payload("X" + kScr, std::uint32_t(kScr.size() + 1), whole), true,
         "9.0.124.0", TInstallResult::InvalidPayload, 0},
        {"no container", Apply({}), true, "9.0.124.0", TInstallResult::InvalidPayload, 0},
        // The digest leaves the name unprotected: one that leaves the folder is invalid data.
        {"name leaving the folder", intact("7.0.19.0", true, "..\\..\\x"), true, "9.0.124.0",
         TInstallResult::InvalidPayload, 0},
        {"device name", intact("7.0.19.0", true, "nul.txt"), true, "9.0.124.0",
         TInstallResult::InvalidPayload, 0},
        {"no name: reported when installing", intact("7.0.19.0", true, ""), true, "9.0.124.0",
         TInstallResult::Installed, 1},
        // A signed uninstaller carried in the payload must belong to this installation.
        {"signed uninstaller of this GUID", intact("7.0.19.0", true, "Aurora", uninstallerOf("{G}")), true,
         "9.0.124.0", TInstallResult::Installed, 1},
        {"signed uninstaller of another GUID", intact("7.0.19.0", true, "Aurora", uninstallerOf("{H}")), true,
         "9.0.124.0", TInstallResult::InvalidPayload, 0},
        {"signed uninstaller without a container", intact("7.0.19.0", true, "Aurora", "MZ uninstaller"), true,
         "9.0.124.0", TInstallResult::InvalidPayload, 0},
    };
    for (auto& c : cases) {
        TFakeProbe probe(c.installed, c.version);
        const TStartupVerdict v = c.settings.StartupVerdict(probe);
        EXPECT_EQ(v.Result, c.result) << c.what;
        EXPECT_EQ(probe.Created, c.created) << c.what;
        EXPECT_FALSE(v.Why.empty()) << c.what;
    }
}

// A screensaver that does not need the player: the probe is never asked, whatever it
// would answer; the digest still decides.
TEST(StartupVerdict, NoPlayerNeededSkipsOnlyTheGate) {
    const std::string whole = PayloadDigestText(kScr.data(), kScr.size());
    const TItemType noPlayer = Item("InstallerNeedsPlayer", std::string(1, '\0'));
    TFakeProbe probe(false, "");
    TPayloadSettings s = Apply({Item("SCR", kScr), Item("mxl", Le32(std::uint32_t(kScr.size()))),
                                Item("mxf", whole), Item("FlashVersion", "7.0.19.0"), noPlayer});
    EXPECT_TRUE(s.StartupVerdict(probe).Welcome());
    TStartupVerdict v = Apply({Item("SCR", "X" + kScr), Item("mxf", whole), noPlayer}).StartupVerdict(probe);
    EXPECT_EQ(v.Result, TInstallResult::InvalidPayload);
    EXPECT_EQ(v.Why.rfind("digest: FAIL (expected", 0), 0u) << v.Why;
    EXPECT_EQ(probe.Created, 0);
}

TEST(StartupVerdict, PlayerFailureCarriesTheRequiredVersion) {
    const std::string none = PayloadDigestText(nullptr, 0);
    TPayloadSettings s = Apply({Item("mxf", none), Item("FlashVersion", "8.0.22.0")});
    TFakeProbe probe(true, "7.0.14.0");
    TStartupVerdict v = s.StartupVerdict(probe);
    EXPECT_EQ(v.Result, TInstallResult::PlayerMissing);
    EXPECT_EQ(v.Argument, "8.0.22.0");
    EXPECT_TRUE(OutcomeRule(v.Result).OfferDownload);
}

TEST(FormatMessageText, ReplacesTheOneFormatMark) {
    EXPECT_EQ(FormatMessageText("version %s or later", "7.0.19.0"), "version 7.0.19.0 or later");
    EXPECT_EQ(FormatMessageText("version %s or later", ""), "version  or later");
    EXPECT_EQ(FormatMessageText("no mark", "x"), "no mark");
    EXPECT_EQ(FormatMessageText("%s", "%s"), "%s"); // the argument is not scanned again
    EXPECT_EQ(FormatMessageText("%s and %s", "a"), "a and %s");
    EXPECT_EQ(FormatMessageText("100%", "a"), "100%");
    std::string cp932Template;
    ASSERT_TRUE(Utf8ToCp932("バージョン %s 以降が必要です", cp932Template));
    std::string expected;
    ASSERT_TRUE(Utf8ToCp932("バージョン 7.0.19.0 以降が必要です", expected));
    EXPECT_EQ(FormatMessageText(cp932Template, "7.0.19.0"), expected);
}
