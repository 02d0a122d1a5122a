// The installation for real under Wine: files in a temporary folder, the uninstall key
// under HKLM, the current screensaver under HKCU, message boxes answered from a second
// thread, and the real uninstaller carried by a window's file embedder.
#include "app/uInstall.h"

#include "app/Cp932Text.h"
#include "common/TestFiles.h"
#include "common/UninstallerTraces.h"
#include "common/WinDriver.h"
#include "common/WinTestSupport.h"
#include "components/uFileEmbedder.h"
#include "components/uRegister.h"
#include "platform/uSetScreenSaver.h"
#include "platform/uWinHandles.h"
#include "store/uExeAdder.h"
#include "store/uText.h"
#include "toolkit/uForms.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::wstring kUninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::string kGuid = "{6E0C5B1A-2F4D-4C3B-8A77-19D3E5F0A2B4}";

// What a message box showed, and which button answered it.
struct TSeenBox {
    std::wstring Text, Caption;
    HWND Owner = nullptr;
};

// Answers the next message box of this process with button from another thread (the
// box's own thread is waiting inside MessageBox).
class BoxAnswerer {
public:
    explicit BoxAnswerer(int button)
        : FThread([this, button] {
              HWND box = nullptr;
              windriver::WaitFor(
                  [&] { return (box = windriver::FindMessageBox(GetCurrentProcessId())) != nullptr; });
              if (!box) return;
              FSeen.Text = windriver::BoxText(box);
              FSeen.Caption = windriver::TextOf(box);
              FSeen.Owner = GetWindow(box, GW_OWNER);
              FFound = windriver::AnswerMessageBox(box, button);
          }) {}
    // Waits for the thread; true when a box was found and answered.
    bool Join() {
        FThread.join();
        return FFound;
    }
    const TSeenBox& Seen() const { return FSeen; }

private:
    TSeenBox FSeen;
    bool FFound = false;
    std::thread FThread;
};

std::vector<std::string> FileNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(PathToCp932(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// Destinations are made absolute by the system's rules and must be full local paths that
// code page 932 holds exactly: "¥" (U+00A5) is never turned into a separator. (The forms
// refused by their shape alone are the host's table of IsLocalDrivePath.)
TEST(Destination, FullLocalPathsOnly) {
    struct Case {
        const wchar_t* typed;
        const char* folder; // empty: refused
        TInstallResult result;
    } cases[] = {
        {L"C:\\a\\..\\b\\.", "C:\\b", TInstallResult::Installed},
        {L"c:/x/y", "c:\\x\\y", TInstallResult::Installed},
        {L"C:sub", "", TInstallResult::BadDestination},
        {L"C:\\poc\\x\u00A5..\u00A5sub2", "", TInstallResult::UnrepresentableDestination},
        {L"C:\\\u8868\u793A", "C:\\\x95\x5C\x8E\xA6", TInstallResult::Installed}, // 表示: kept byte for byte
    };
    for (const Case& c : cases) {
        std::string folder;
        EXPECT_EQ(ResolveDestination(c.typed, folder), c.result) << FromWide(c.typed);
        EXPECT_EQ(folder, c.folder) << FromWide(c.typed);
    }
    std::string out;
    EXPECT_FALSE(FromWideExact(L"x\u00A5", out));
    EXPECT_EQ(out, "x?");
}

// A shown window carrying the real uninstaller, a payload filled by hand, and the user's
// screensaver setting and the uninstall keys put back afterwards.
class InstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterToolkitClasses();
        RegisterSystemComponents();
        Application.Title = Sjis("テスト インストーラー");
        Application.OnException = [this](std::exception_ptr e) { FErrors.push_back(ExceptionText(e)); };
        // One window for all tests: destroying a shown window takes Wine a while.
        if (!Form) {
            Form = std::make_unique<TForm>(nullptr);
            Form->LoadDefinitionResource("INSTALLFORM");
            Form->Show();
            Application.ProcessMessages();
        }
        Embedder = Form->Find<TFileEmbedder>("embedderUninstaller");
        ASSERT_NE(Embedder, nullptr);
        Settings.FGUID = kGuid;
        Settings.FSCRData = Bytes("MZ screensaver, first edition");
        Settings.FReadMeData = Bytes("read me");
        SetName("ScrTestAurora");
    }
    static void TearDownTestSuite() { Form.reset(); }
    void TearDown() override {
        Application.OnException = nullptr;
        EXPECT_TRUE(FErrors.empty()) << FErrors.front();
    }

    // The name, with its uninstall key removed now and when the test ends.
    void SetName(const std::string& name) {
        Settings.FSCRName = name;
        FKeys.push_back(std::make_unique<ScopedRegTree>(HKEY_LOCAL_MACHINE, Key()));
    }
    std::wstring Key() const { return kUninstallKey + L"\\" + ToWide(Settings.FSCRName); }
    std::wstring RegValue(const wchar_t* name) const { return RawRegString(HKEY_LOCAL_MACHINE, Key(), name); }

    // The machine-wide step: it never touches the user's current screensaver.
    TInstallOutcome Install(const fs::path& dir) {
        const std::wstring before = CurrentScreenSaver();
        TInstallOutcome outcome = InstallScreenSaver(Settings, {PathToCp932(dir), Embedder->Data().Bytes()});
        EXPECT_EQ(CurrentScreenSaver(), before);
        return outcome;
    }
    fs::path File(const fs::path& dir, const char* suffix) const {
        return dir / PathFromCp932(Settings.FSCRName + suffix);
    }

    // A failed installation over an earlier one: file as it was, nothing else in the
    // folder, no entry written, and the window (the notifier gone) usable again.
    void ExpectEarlierKept(const fs::path& file, const std::vector<std::uint8_t>& old) {
        EXPECT_EQ(ReadBytes(file), old);
        EXPECT_EQ(FileNames(Dir.Path()).size(), 3u);
        EXPECT_EQ(RegValue(L"UninstallString"), kMissing);
        EXPECT_TRUE(IsWindowEnabled(static_cast<HWND>(Form->Handle())));
    }

    // The three files of the payload as installed into dir, and the registration.
    void ExpectInstalled(const fs::path& dir) {
        EXPECT_EQ(ReadBytes(File(dir, ".scr")), Settings.FSCRData);
        if (!Settings.FReadMeData.empty()) {
            EXPECT_EQ(ReadBytes(File(dir, ".txt")), Settings.FReadMeData);
        }
        EXPECT_EQ(fs::exists(File(dir, ".txt")), !Settings.FReadMeData.empty());

        // The carried program byte for byte, then a container whose only item is "GUID".
        const auto program = ReadBytes(TestBinDir() / "uninst.exe");
        ASSERT_GT(program.size(), 10000u);
        const auto uninstaller = ReadBytes(File(dir, "Uninst.exe"));
        ASSERT_GT(uninstaller.size(), program.size());
        EXPECT_TRUE(std::equal(program.begin(), program.end(), uninstaller.begin()));
        TItemTypes items;
        ReadItems(File(dir, "Uninst.exe"), items);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].Name, "GUID");
        EXPECT_EQ(std::string(items[0].Data.begin(), items[0].Data.end()), Settings.FGUID);

        EXPECT_EQ(RegValue(L"UninstallString"), Quoted(File(dir, "Uninst.exe")));
        EXPECT_EQ(RegValue(L"DisplayName"), ToWide(Settings.FSCRName) + L"スクリーンセーバー");
    }

    static inline std::unique_ptr<TForm> Form;
    TFileEmbedder* Embedder = nullptr;
    TPayloadSettings Settings;
    TempDir Dir;

private:
    std::vector<std::string> FErrors;
    ScopedScreenSaver FScreenSaver;
    std::vector<std::unique_ptr<ScopedRegTree>> FKeys;
    uninstallertraces::HelperCleanup FHelpers;
};

TEST_F(InstallTest, FullInstallationThenASecondOneOverIt) {
    auto outcome = Install(Dir.Path());
    EXPECT_EQ(outcome.Result, TInstallResult::Installed);
    EXPECT_TRUE(outcome.ReadMePresent);
    ExpectInstalled(Dir.Path());
    // Nothing else in the folder: no temporary file left over.
    EXPECT_EQ(FileNames(Dir.Path()), (std::vector<std::string>{"ScrTestAurora.scr", "ScrTestAurora.txt",
                                                               "ScrTestAuroraUninst.exe"}));
    EXPECT_TRUE(IsWindowEnabled(static_cast<HWND>(Form->Handle())));

    // Everything overwritten, also values changed meanwhile.
    Settings.FSCRData = Bytes("MZ screensaver, second edition with more bytes");
    Settings.FReadMeData = Bytes("read me again");
    Settings.FGUID = "{00000000-1111-2222-3333-444444444444}";
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, Key().c_str(), L"DisplayName", REG_SZ, L"old", 8);
    outcome = Install(Dir.Path());
    EXPECT_EQ(outcome.Result, TInstallResult::Installed);
    ExpectInstalled(Dir.Path());
    EXPECT_EQ(FileNames(Dir.Path()).size(), 3u);
}

TEST_F(InstallTest, NoReadMeNoTextFile) {
    Settings.FReadMeData.clear();
    auto outcome = Install(Dir.Path());
    EXPECT_EQ(outcome.Result, TInstallResult::Installed);
    EXPECT_FALSE(outcome.ReadMePresent);
    ExpectInstalled(Dir.Path()); // and no text file
}

// The step shows no box: the user's process has told the user already.
TEST_F(InstallTest, MissingDestinationWritesNothing) {
    const fs::path missing = Dir / "missing";
    auto outcome = Install(missing);
    EXPECT_EQ(outcome.Result, TInstallResult::NoDestination);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_TRUE(fs::is_empty(Dir.Path()));
    EXPECT_EQ(RegValue(L"UninstallString"), kMissing);
}

TEST_F(InstallTest, DoubleByteFolderAndName) {
    // "表" ends in the byte 5C: the folder "表示表" must still get its own "\".
    const fs::path folder = Dir.Path() / L"表示表";
    fs::create_directory(folder);
    SetName(Sjis("表示"));
    ASSERT_EQ(PathToCp932(folder).back(), '\x5C');
    auto outcome = Install(folder);
    EXPECT_EQ(outcome.Result, TInstallResult::Installed);
    ExpectInstalled(folder);
    EXPECT_EQ(FileNames(folder),
              (std::vector<std::string>{Sjis("表示.scr"), Sjis("表示.txt"), Sjis("表示Uninst.exe")}));
}

TEST_F(InstallTest, ReadOnlyTargetFailsNamingItAndKeepsIt) {
    ASSERT_EQ(Install(Dir.Path()).Result, TInstallResult::Installed);
    const fs::path scr = File(Dir.Path(), ".scr");
    const auto old = ReadBytes(scr);
    ASSERT_TRUE(SetFileAttributesW(scr.c_str(), FILE_ATTRIBUTE_READONLY));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, Key().c_str());

    Settings.FSCRData = Bytes("MZ newer");
    auto outcome = Install(Dir.Path());
    SetFileAttributesW(scr.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(outcome.Result, TInstallResult::WriteFailed);
    EXPECT_EQ(
        outcome.Message,
        Sjis("次のファイルを書き込めませんでした\r\n") + PathToCp932(scr) +
            Sjis("\r\n原因: アクセスが拒否されました (書き込みが禁止されているか、権限がありません)\r\n") +
            LoadResString(SRolledBack));
    ExpectEarlierKept(scr, old);
}

TEST_F(InstallTest, UninstallerInUseFailsNamingItAndKeepsIt) {
    ASSERT_EQ(Install(Dir.Path()).Result, TInstallResult::Installed);
    const fs::path uninst = File(Dir.Path(), "Uninst.exe");
    const auto old = ReadBytes(uninst);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, Key().c_str());

    Settings.FGUID = "{changed}";
    TInstallOutcome outcome;
    {
        // Open without delete sharing, as a running program holds its file.
        UniqueHandle held(
            CreateFileW(uninst.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(held.Get(), INVALID_HANDLE_VALUE);
        outcome = Install(Dir.Path());
    }
    EXPECT_NE(outcome.Result, TInstallResult::Installed);
    EXPECT_NE(outcome.Message.find(Sjis("原因: ")), std::string::npos);
    EXPECT_NE(outcome.Message.find(PathToCp932(uninst)), std::string::npos);
    ExpectEarlierKept(uninst, old);
}

// A value that cannot be written (here: HKLM seen through a volatile key, under which no
// lasting key can be made) fails the upgrade, naming it: the earlier files come back byte
// for byte, nothing else is left in the folder, and the earlier entry is as it was.
TEST_F(InstallTest, AnUnwritableRegistrationPutsTheEarlierInstallationBack) {
    ASSERT_EQ(Install(Dir.Path()).Result, TInstallResult::Installed);
    const auto scr = ReadBytes(File(Dir.Path(), ".scr")), txt = ReadBytes(File(Dir.Path(), ".txt")),
               uninst = ReadBytes(File(Dir.Path(), "Uninst.exe"));
    const std::wstring command = RegValue(L"UninstallString"), location = RegValue(L"InstallLocation");
    Settings.FSCRData = Bytes("MZ screensaver, second edition with more bytes");
    Settings.FReadMeData = Bytes("read me again");
    ScopedRegTree scratch(HKEY_CURRENT_USER, L"Software\\ScrTestVolatileMachine");
    UniqueHKey root;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\ScrTestVolatileMachine", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, root.Put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, root.Get()), ERROR_SUCCESS);
    const TInstallOutcome outcome = Install(Dir.Path());
    EXPECT_EQ(RegValue(L"UninstallString"), kMissing);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    EXPECT_EQ(outcome.Result, TInstallResult::RegistrationFailed);
    EXPECT_NE(outcome.Message.find("UninstallString"), std::string::npos) << outcome.Message;
    EXPECT_NE(outcome.Message.find(LoadResString(SRolledBack)), std::string::npos) << outcome.Message;
    EXPECT_EQ(ReadBytes(File(Dir.Path(), ".scr")), scr);
    EXPECT_EQ(ReadBytes(File(Dir.Path(), ".txt")), txt);
    EXPECT_EQ(ReadBytes(File(Dir.Path(), "Uninst.exe")), uninst);
    EXPECT_EQ(FileNames(Dir.Path()).size(), 3u);
    EXPECT_EQ(RegValue(L"UninstallString"), command);
    EXPECT_EQ(RegValue(L"InstallLocation"), location);
}

TEST_F(InstallTest, NoNameIsRefusedBeforeAnythingIsWritten) {
    Settings.FSCRName.clear();
    auto outcome = Install(Dir.Path());
    EXPECT_EQ(outcome.Result, TInstallResult::NoName);
    EXPECT_EQ(outcome.Message, LoadResString(SNoScreenSaverName));
    EXPECT_TRUE(fs::is_empty(Dir.Path()));
    EXPECT_EQ(RawRegString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"), kMissing);
}

TEST_F(InstallTest, TheRealUninstallerRemovesWhatWasInstalled) {
    for (bool current : {true, false}) {
        SCOPED_TRACE(current);
        SetCurrentScreenSaver(L"C:\\other.scr");
        ASSERT_EQ(Install(Dir.Path()).Result, TInstallResult::Installed);
        // What the user's process does after the step.
        if (current) SetScreenSaver(PathToCp932(File(Dir.Path(), ".scr")));
        EXPECT_EQ(RunAndWait(Quoted(File(Dir.Path(), "Uninst.exe")) + L" /S"), 0u);
        EXPECT_TRUE(fs::is_empty(Dir.Path()));
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, Key()));
        EXPECT_EQ(CurrentScreenSaver(), current ? kMissing : L"C:\\other.scr");
    }
}
