// The player detection against the stand-in player registered in the test prefix.
#include "platform/uFlashUtils.h"
#include "platform/uVersionRecord.h"

#include "common/StandInPlayer.h"
#include "common/TestFiles.h"
#include "common/WinTestSupport.h"
#include "platform/uShellUtils.h"
#include "store/uText.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include <windows.h>

#include <ole2.h>

#include <filesystem>

namespace {

std::string Cp932(const std::wstring& w) {
    return FromWide(w);
}

class FlashDetection : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FCom.Ok());
        // The test prefix has no player; a left-over registration would spoil every case.
        HKEY key = nullptr;
        LONG rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}", 0,
                                KEY_READ, &key);
        if (rc == ERROR_SUCCESS) RegCloseKey(key);
        ASSERT_NE(rc, ERROR_SUCCESS) << "a player is registered in the test prefix";
    }
    TComScope FCom;
};

} // namespace

TEST_F(FlashDetection, AbsentPlayer) {
    EXPECT_FALSE(IsFlashPlayerInstalled());
    EXPECT_EQ(GetFlashPlayerVersion(), "0.0.0.0");
    EXPECT_EQ(TFlashPlayerProbe().InstalledVersion(), std::nullopt);
}

TEST_F(FlashDetection, RecentPlayer) {
    TStandInRegistration reg(BesideTestProgram(L"standin_player_new.dll"));
    ASSERT_TRUE(reg.Ok());
    EXPECT_TRUE(IsFlashPlayerInstalled());
    EXPECT_EQ(GetFlashPlayerVersion(), "9.0.124.0");
    EXPECT_EQ(TFlashPlayerProbe().InstalledVersion(), "9.0.124.0");
    // A registration of the user's own, seen through HKEY_CLASSES_ROOT as Windows merges it
    // (made here by overriding that root with HKCU\Software\Classes), is not read.
    ScopedRegTree userKey(HKEY_CURRENT_USER,
                          L"Software\\Classes\\CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}");
    ASSERT_TRUE(WriteRegistryString(HKEY_CURRENT_USER,
                                    "Software\\Classes\\CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}"
                                    "\\InprocServer32\\",
                                    Cp932(BesideTestProgram(L"standin_player_old.dll"))));
    std::string version;
    {
        ScopedUserClassesRoot merged;
        ASSERT_TRUE(merged.Ok());
        version = GetFlashPlayerVersion();
    }
    EXPECT_EQ(version, "9.0.124.0");
}

TEST_F(FlashDetection, OldPlayer) {
    TStandInRegistration reg(BesideTestProgram(L"standin_player_old.dll"));
    ASSERT_TRUE(reg.Ok());
    EXPECT_TRUE(IsFlashPlayerInstalled());
    EXPECT_EQ(GetFlashPlayerVersion(), "6.0.79.0");
}

TEST_F(FlashDetection, PlayerFileWithoutVersionRecord) {
    TStandInRegistration reg(BesideTestProgram(L"standin_player_nover.dll"));
    ASSERT_TRUE(reg.Ok());
    EXPECT_TRUE(IsFlashPlayerInstalled());
    EXPECT_EQ(GetFlashPlayerVersion(), "");
    EXPECT_EQ(GetFileVersionText(Cp932(BesideTestProgram(L"standin_player_nover.dll"))), "");
}

TEST_F(FlashDetection, RegisteredButMissingFile) {
    TStandInRegistration reg(BesideTestProgram(L"no_such_player.dll"));
    ASSERT_TRUE(reg.Ok());
    EXPECT_FALSE(IsFlashPlayerInstalled());
    EXPECT_EQ(GetFlashPlayerVersion(), "0.0.0.0");
}

TEST_F(FlashDetection, RegisteredButRefusingServer) {
    // The file carries 9.0.124.0, so only the failed creation can make the check fail.
    TStandInRegistration reg(BesideTestProgram(L"standin_player_refuse.dll"));
    ASSERT_TRUE(reg.Ok());
    EXPECT_FALSE(IsFlashPlayerInstalled());
    EXPECT_EQ(GetFlashPlayerVersion(), "9.0.124.0");
    EXPECT_EQ(TFlashPlayerProbe().InstalledVersion(), std::nullopt);
}

TEST_F(FlashDetection, RegistryPathIsTrimmedAndExpanded) {
    {
        TStandInRegistration reg(L"  " + BesideTestProgram(L"standin_player_old.dll") + L" \t");
        ASSERT_TRUE(reg.Ok());
        EXPECT_EQ(GetFlashPlayerVersion(), "6.0.79.0");
    }
    std::wstring dll = BesideTestProgram(L"standin_player_new.dll");
    std::wstring dir = dll.substr(0, dll.find_last_of(L'\\'));
    ASSERT_TRUE(SetEnvironmentVariableW(L"SCR_STANDIN_DIR", dir.c_str()));
    {
        TStandInRegistration reg(L"%SCR_STANDIN_DIR%\\standin_player_new.dll", REG_EXPAND_SZ);
        ASSERT_TRUE(reg.Ok());
        EXPECT_EQ(GetFlashPlayerVersion(), "9.0.124.0");
    }
    SetEnvironmentVariableW(L"SCR_STANDIN_DIR", nullptr);
}

TEST_F(FlashDetection, LongJapanesePathToThePlayer) {
    // Over 255 bytes in code page 932 (each "表示" is four bytes, the second a 5C trail
    // byte), under MAX_PATH in UTF-16, so the player still loads from there.
    TempDir tmp;
    std::wstring name;
    for (int i = 0; i < 60; ++i) name += L"\u8868\u793A";
    std::filesystem::path dir = tmp.Path() / name;
    std::filesystem::create_directories(dir);
    std::filesystem::path dll = dir / L"player.dll";
    std::filesystem::copy_file(BesideTestProgram(L"standin_player_new.dll"), dll);
    ASSERT_GT(Cp932(dll.wstring()).size(), 255u);
    ASSERT_LT(dll.wstring().size(), static_cast<std::size_t>(MAX_PATH));
    EXPECT_EQ(GetFileVersionText(Cp932(dll.wstring())), "9.0.124.0");
    {
        TStandInRegistration reg(dll.wstring());
        ASSERT_TRUE(reg.Ok());
        EXPECT_EQ(GetFlashPlayerVersion(), "9.0.124.0");
        EXPECT_TRUE(IsFlashPlayerInstalled());
    }
    CoFreeUnusedLibraries();
}

// The system's reading of real version records, and ours from the same bytes (the list of
// installed programs and scrpack's manifest use ours).
TEST(FileVersionText, ProductVersionOfVersionRecords) {
    for (const auto& [file, version] :
         {std::pair{L"standin_player_new.dll", "9.0.124.0"}, std::pair{L"standin_player_old.dll", "6.0.79.0"},
          std::pair{L"standin_player_nover.dll", ""}}) {
        EXPECT_EQ(GetFileVersionText(Cp932(BesideTestProgram(file))), version);
        const std::vector<std::uint8_t> bytes = ReadBytes(std::filesystem::path(BesideTestProgram(file)));
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(VersionRecordOf(bytes.data(), bytes.size()).ProductVersion, version);
    }
    EXPECT_EQ(GetFileVersionText(Cp932(BesideTestProgram(L"no_such_file.dll"))), "");
    EXPECT_EQ(GetFileVersionText(""), "");
}

TEST_F(FlashDetection, CreatedObjectIsReleased) {
    const std::wstring dll = BesideTestProgram(L"standin_player_new.dll");
    TStandInRegistration reg(dll);
    ASSERT_TRUE(reg.Ok());
    ASSERT_EQ(GetModuleHandleW(dll.c_str()), nullptr);
    EXPECT_TRUE(IsFlashPlayerInstalled());
    EXPECT_NE(GetModuleHandleW(dll.c_str()), nullptr);
    // An apartment-threaded server is unloaded at once when it holds no objects: any
    // reference kept by the check would keep it loaded.
    CoFreeUnusedLibraries();
    EXPECT_EQ(GetModuleHandleW(dll.c_str()), nullptr);
}

TEST_F(FlashDetection, StandInAnswersLikeTheRealObject) {
    TStandInRegistration reg(BesideTestProgram(L"standin_player_new.dll"));
    ASSERT_TRUE(reg.Ok());
    const CLSID clsid = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
    IUnknown* unknown = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&unknown)),
              S_OK);
    IOleObject* ole = nullptr;
    EXPECT_EQ(unknown->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)), S_OK);
    ASSERT_NE(ole, nullptr);
    EXPECT_EQ(ole->Update(), E_NOTIMPL);
    IClassFactory* factory = reinterpret_cast<IClassFactory*>(1);
    EXPECT_EQ(unknown->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory)), E_NOINTERFACE);
    EXPECT_EQ(factory, nullptr);
    EXPECT_EQ(ole->Release(), 1u);
    EXPECT_EQ(unknown->Release(), 0u);
    // Aggregation is refused, as the check never asks for it.
    IUnknown* outer = reinterpret_cast<IUnknown*>(&ole);
    unknown = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&unknown)),
              CLASS_E_NOAGGREGATION);
}
