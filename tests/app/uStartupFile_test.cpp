// LoadPayloadSettings on real files carrying a container written by the store.
#include "app/uStartup.h"

#include "app/PayloadItems.h"
#include "app/uDigest.h"
#include "common/TestFiles.h"
#include "store/uExeAdder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {

// While not 0, every allocation of at least this many bytes fails with std::bad_alloc, as
// on a machine short of memory.
std::size_t gFailAllocationsFrom = 0;

} // namespace

void* operator new(std::size_t size) {
    if (gFailAllocationsFrom != 0 && size >= gFailAllocationsFrom) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// Not inlined: GCC would pair the inlined free with the new-expression and warn.
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

const std::string kScr = std::string("MZ\x90\0\x03\0\0\0", 8) + std::string(3000, 'S') + "end of screensaver";
const std::vector<std::uint8_t> kStub = Bytes(std::string("MZ stub program\0\1\2", 18));

// Never asked anything when the data is tampered; answers "recent player" otherwise.
class TRecentPlayer : public IPlayerProbe {
public:
    std::optional<std::string> InstalledVersion() override { return "9.0.124.0"; }
};

// A stub with a full payload appended, as scrpack builds it.
std::filesystem::path MakeInstaller(const TempDir& dir) {
    auto path = dir / "setup.exe";
    WriteBytes(path, kStub);
    TWriteHelper w;
    w.AddData("SCR", kScr.data(), std::int32_t(kScr.size() - 10), true);
    w.AddString("SCRName", "\x95\x5C\x8E\xA6saver");
    w.AddString("mxf", PayloadDigestText(kScr.data(), kScr.size()));
    const std::string mxl = Le32(std::uint32_t(kScr.size()));
    w.AddData("mxl", mxl.data(), 4, false);
    w.AddString("GUID", "{11111111-2222-3333-4444-555555555555}");
    w.AddString("FlashVersion", "7.0.19.0");
    w.AddString("InstallerTitle", "My title");
    w.AddString("InstallerEULA", "licence\r\ntext");
    w.AddData("InstallerReadme", "read me", 7, false);
    const std::uint8_t yes = 1, no = 0;
    w.AddData("InstallerForceSet", &yes, 1, false);
    w.AddData("InstallerVerCheck", &no, 1, true);
    w.AddString("InstallerLeftImage", "BMleft");
    w.AddData("SCR", kScr.data() + kScr.size() - 10, 10, false); // the rest, stored
    w.AppendToFile(path);
    return path;
}

} // namespace

TEST(LoadPayloadSettings, ReadsTheContainerAtTheEndOfTheFile) {
    TempDir dir;
    auto path = MakeInstaller(dir);
    TPayloadSettings s;
    std::string error = "stale";
    ASSERT_TRUE(s.LoadPayloadSettings(path, kDesignedCaption, &error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(std::string(s.FSCRData.begin(), s.FSCRData.end()), kScr);
    EXPECT_EQ(s.FSCRName, "\x95\x5C\x8E\xA6saver");
    EXPECT_EQ(s.FDigestLength, kScr.size());
    EXPECT_EQ(s.FGUID, "{11111111-2222-3333-4444-555555555555}");
    EXPECT_EQ(s.FFlashVersion, "7.0.19.0");
    EXPECT_EQ(s.FTitle, "My title");
    EXPECT_EQ(s.FEULA, "licence\r\ntext");
    EXPECT_EQ(std::string(s.FReadMeData.begin(), s.FReadMeData.end()), "read me");
    EXPECT_TRUE(s.FForceSet);
    EXPECT_FALSE(s.FVerCheck);
    EXPECT_EQ(std::string(s.FLeftImage.begin(), s.FLeftImage.end()), "BMleft");
    EXPECT_TRUE(s.FTopImage.empty());
    EXPECT_TRUE(s.IsPayloadIntact());
    TRecentPlayer player;
    EXPECT_TRUE(s.StartupVerdict(player).Welcome());
    // The stub itself is untouched by the reading.
    auto bytes = ReadBytes(path);
    EXPECT_TRUE(std::equal(kStub.begin(), kStub.end(), bytes.begin()));

    // The starter of an unattended run: every setting, but not the screensaver, whose
    // digest its machine-wide step checks; loading again takes the whole payload.
    ASSERT_TRUE(s.LoadPayloadSettings(path, kDesignedCaption, &error, {}, false));
    EXPECT_TRUE(s.FSCRData.empty());
    EXPECT_EQ(s.FSCRName, "\x95\x5C\x8E\xA6saver");
    EXPECT_EQ(std::string(s.FReadMeData.begin(), s.FReadMeData.end()), "read me");
    EXPECT_EQ(s.IntegrityVerdict().Why, "digest: left to the machine-wide step");
    EXPECT_TRUE(s.StartupVerdict(player).Welcome());
    ASSERT_TRUE(s.LoadPayloadSettings(path, kDesignedCaption));
    EXPECT_EQ(s.FSCRData.size(), kScr.size());
    EXPECT_EQ(s.IntegrityVerdict().Why.rfind("digest: pass", 0), 0u);
}

TEST(LoadPayloadSettings, LoadingAgainStartsFromTheDefaults) {
    TempDir dir;
    auto path = MakeInstaller(dir);
    auto bare = dir / "bare.exe";
    WriteBytes(bare, kStub);
    TPayloadSettings s;
    ASSERT_TRUE(s.LoadPayloadSettings(path, kDesignedCaption));
    ASSERT_TRUE(s.LoadPayloadSettings(path, kDesignedCaption));
    EXPECT_EQ(s.FSCRData.size(), kScr.size()); // not appended twice
    ASSERT_TRUE(s.LoadPayloadSettings(bare, "caption"));
    EXPECT_TRUE(s.FSCRData.empty());
    EXPECT_EQ(s.FTitle, "caption");
    EXPECT_TRUE(s.FVerCheck);
}

TEST(LoadPayloadSettings, NoContainerMeansInvalidData) {
    TempDir dir;
    auto bare = dir / "bare.exe";
    WriteBytes(bare, kStub);
    for (const auto& path : {bare, dir / "missing.exe"}) {
        TPayloadSettings s;
        EXPECT_TRUE(s.LoadPayloadSettings(path, kDesignedCaption));
        EXPECT_EQ(s.FTitle, kDesignedCaption);
        EXPECT_TRUE(s.FSCRData.empty());
        TRecentPlayer player;
        TStartupVerdict v = s.StartupVerdict(player);
        EXPECT_EQ(v.Result, TInstallResult::InvalidPayload);
    }
}

TEST(LoadPayloadSettings, RejectedContainerIsNotUsedAtAll) {
    TempDir dir;
    // A trailer whose block length points before the start of the file.
    auto outside = dir / "outside.exe";
    std::vector<std::uint8_t> bytes = kStub;
    const std::uint8_t tail[] = {0x00, 0x10, 0, 0, 0, 0, 0, 0, 'P', 'L', 'W', 'S'};
    bytes.insert(bytes.end(), std::begin(tail), std::end(tail));
    WriteBytes(outside, bytes);
    // A damaged compressed item after a good one: the last byte of its zlib stream (the
    // checksum) sits just before the block length and trailer.
    auto damaged = dir / "damaged.exe";
    WriteBytes(damaged, kStub);
    TWriteHelper w;
    w.AddString("InstallerTitle", "must not be applied");
    w.AddData("SCR", kScr.data(), std::int32_t(kScr.size()), true);
    w.AppendToFile(damaged);
    bytes = ReadBytes(damaged);
    bytes[bytes.size() - 13] ^= 0xFF;
    WriteBytes(damaged, bytes);

    for (const auto& path : {outside, damaged}) {
        TPayloadSettings s;
        std::string error;
        EXPECT_FALSE(s.LoadPayloadSettings(path, kDesignedCaption, &error)) << path;
        EXPECT_NE(error, "") << path;
        EXPECT_EQ(s.FTitle, kDesignedCaption) << path;
        EXPECT_TRUE(s.FSCRData.empty()) << path;
        TRecentPlayer player;
        TStartupVerdict v = s.StartupVerdict(player);
        EXPECT_EQ(v.Result, TInstallResult::InvalidPayload) << path;
    }
}

TEST(LoadPayloadSettings, RunningOutOfMemoryIsUnexpectedNotInvalidData) {
    TempDir dir;
    auto path = dir / "big.exe";
    WriteBytes(path, kStub);
    const std::string scr(200000, 'S');
    TWriteHelper w;
    w.AddString("InstallerTitle", "must not be applied");
    w.AddData("SCR", scr.data(), std::int32_t(scr.size()), false);
    w.AppendToFile(path);
    TPayloadSettings s;
    std::string error;
    gFailAllocationsFrom = 100000;
    bool loaded = true;
    EXPECT_NO_THROW(loaded = s.LoadPayloadSettings(path, kDesignedCaption, &error));
    gFailAllocationsFrom = 0;
    EXPECT_FALSE(loaded);
    EXPECT_NE(error, "");
    EXPECT_EQ(s.FTitle, kDesignedCaption);
    EXPECT_TRUE(s.FSCRData.empty());
    TRecentPlayer player;
    EXPECT_EQ(s.StartupVerdict(player).Result, TInstallResult::Unexpected);
    EXPECT_EQ(OutcomeRule(s.StartupVerdict(player).Result).Exit, TSetupExit::Unexpected);
}
