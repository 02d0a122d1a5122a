// The uninstaller run for real under Wine against fake installations: files in a
// temporary folder, the uninstall key under HKLM and the current screensaver under HKCU.
#include "ChildWatch.h"
#include "DirectoryLinks.h"
#include "PeImports.h"
#include "TestFiles.h"
#include "UninstallerTraces.h"
#include "WinDriver.h"
#include "WinTestSupport.h"
#include "platform/uWinHandles.h"
#include "store/uChangeNames.h"
#include "store/uExeAdder.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using windriver::Process;
using windriver::WaitMessageBoxWith;
using namespace uninstallertraces;
using directorylinks::MakeDirectoryLink;
using directorylinks::RemoveDirectoryLink;

namespace {

const std::wstring kUninstallRoot = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kGuid = "{4C1F2A9E-3B7D-4E55-9A10-6D2E8F0B7C31}";

bool Contains(const std::wstring& s, const std::wstring& part) {
    return s.find(part) != std::wstring::npos;
}

// The file kept open without delete sharing (as a program using it would), so it can be
// neither deleted nor renamed until closed.
UniqueHandle HoldOpen(const fs::path& file) {
    return UniqueHandle(
        CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
}

const std::wstring kQuestion = L"「TestSaver」スクリーンセーバーをコンピューターから削除します。";
const std::wstring kPendingValue = L"PendingFileRenameOperations";

// A fake installation of "TestSaver" in a temporary folder, as the installer leaves it:
// for everyone (the entry under HKLM) or, with FRoot HKCU, for the current user alone.
class UninstallerTest : public ::testing::Test {
protected:
    const std::wstring kName = L"TestSaver";

    std::wstring Key() const { return kUninstallRoot + kName; }
    bool PerUser() const { return FRoot == HKEY_CURRENT_USER; }
    fs::path Scr() const { return FFolder / (kName + L".scr"); }
    fs::path Txt() const { return FFolder / (kName + L".txt"); }
    fs::path Uninst() const { return FFolder / (kName + L"Uninst.exe"); }

    std::vector<fs::path> NewHelperFolders() const { return FHelpers->NewFolders(); }
    // Removes the helper folders made so far, once their helpers have ended.
    void ForgetHelpers() {
        FHelpers.reset();
        FHelpers.emplace();
    }

    // The files of the folder that a change set aside from file (uChangeNames.h).
    std::vector<fs::path> SetAsideFrom(const fs::path& file) const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(FDir.Path())) {
            const std::wstring name = entry.path().filename().wstring(); // the result views it
            const auto leftover = changenames::ParseLeftover<wchar_t>(name);
            if (leftover.Kind == changenames::TKind::SetAside && leftover.File == file.filename().wstring())
                found.push_back(entry.path());
        }
        return found;
    }

    // The carried program, copied under the given name, with a one-item "GUID" container.
    void PlaceUninstaller(const fs::path& as, bool withGuid = true) {
        fs::copy_file(TestBinDir() / "uninst.exe", as, fs::copy_options::overwrite_existing);
        if (!withGuid) return;
        TWriteHelper writer;
        writer.AddString("GUID", kGuid);
        writer.AppendToFile(as);
    }

    void Install(const std::wstring& uninstallString = L"") {
        PlaceUninstaller(Uninst());
        WriteBytes(Scr(), Bytes("MZ screensaver"));
        WriteBytes(Txt(), Bytes("readme"));
        SetRegString(FRoot, Key(), L"UninstallString",
                     uninstallString.empty() ? Quoted(Uninst()) : uninstallString);
        SetRegString(FRoot, Key(), L"DisplayName", kName + L"スクリーンセーバー");
    }

    // Runs exe with args and waits for its end; FSteps tells how many second runs of the
    // installation's uninstaller (the elevated step) it started meanwhile.
    DWORD Run(const fs::path& exe, const std::wstring& args) {
        return RunWatchingChildren(Quoted(exe) + L" " + args, Uninst().filename().wstring(), FSteps, 30000);
    }

    // After a run that removed itself: the helper deletes the parked original from its
    // folder; for everyone it schedules its own removal with the private folder's, for one
    // user (a folder in %TEMP%, which no restart removes without administrator rights) it
    // leaves them.
    void ExpectHelperFinished() {
        auto folders = NewHelperFolders();
        ASSERT_EQ(folders.size(), 1u);
        fs::path folder = folders[0];
        EXPECT_EQ(folder.parent_path() == SystemTempFolder(), !PerUser()) << folder.string();
        EXPECT_TRUE(windriver::WaitFor([&] { return !fs::exists(folder / Uninst().filename()); }));
        fs::path helper = folder / (kName + L"Cleanup.exe");
        EXPECT_TRUE(fs::exists(helper));
        if (PerUser()) {
            EXPECT_FALSE(DeletionPending(helper.wstring()));
        } else {
            EXPECT_TRUE(windriver::WaitFor(
                [&] { return DeletionPending(helper.wstring()) && DeletionPending(folder.wstring()); }));
        }
    }

    void ExpectAllRemoved() {
        EXPECT_FALSE(fs::exists(Scr()));
        EXPECT_FALSE(fs::exists(Txt()));
        // Parked away before the process ended (same volume as %TEMP%).
        EXPECT_FALSE(fs::exists(Uninst()));
        EXPECT_FALSE(RegKeyExists(FRoot, Key()));
    }

    void ExpectUntouched() {
        EXPECT_TRUE(fs::exists(Scr()));
        EXPECT_TRUE(fs::exists(Txt()));
        EXPECT_TRUE(fs::exists(Uninst()));
        EXPECT_TRUE(RegKeyExists(FRoot, Key()));
        EXPECT_TRUE(NewHelperFolders().empty());
    }

    TempDir FDir;
    // The installation's folder.
    fs::path FFolder = FDir.Path();
    // Where the installation is registered: HKLM for everyone, HKCU for one user.
    HKEY FRoot = HKEY_LOCAL_MACHINE;
    // How many elevated steps the last Run started.
    std::size_t FSteps = 0;
    // What the runs change is put back or forgotten: the prefix outlives the test.
    ScopedScreenSaver FScreenSaver;
    ScopedRegValue FPending{HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue};
    ScopedRegTree FMachineKey{HKEY_LOCAL_MACHINE, Key()}, FUserKey{HKEY_CURRENT_USER, Key()};
    // The helper copies end on their own; their folders wait for a restart otherwise.
    std::optional<HelperCleanup> FHelpers{std::in_place};
};

// For everyone, the removal runs in a second, elevated run, and its helper copy is never
// started from the user's temporary folder (which every process of the user may change),
// only from a fresh folder of random name under the Windows directory's Temp folder. For
// the current user alone (the entry under HKCU) the user's own run removes everything,
// with no second run, and its helper copy runs from a fresh folder in that user's %TEMP%.
TEST_F(UninstallerTest, SilentRunRemovesEverythingAndResetsItsLongPathScreenSaver) {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        FRoot = root;
        SCOPED_TRACE(PerUser() ? "for one user" : "for everyone");
        Install();
        SetCurrentScreenSaver(Scr().wstring());
        const fs::path userTemp = FDir.Path() / (PerUser() ? L"usertemp1" : L"usertemp");
        fs::create_directory(userTemp);
        ScopedEnv temp(L"TEMP", userTemp.c_str()), tmp(L"TMP", userTemp.c_str());
        EXPECT_EQ(Run(Uninst(), L"/S"), 0u);
        EXPECT_EQ(FSteps, PerUser() ? 0u : 1u);
        ExpectAllRemoved();
        EXPECT_EQ(CurrentScreenSaver(), kMissing);
        ExpectHelperFinished(); // seen in userTemp while it is %TEMP%
        EXPECT_EQ(fs::is_empty(userTemp), !PerUser());
        for (const fs::path& folder : NewHelperFolders())
            EXPECT_EQ(folder.filename().wstring().size(), 6u + 32u); // "~scrun" + 128 random bits
        ForgetHelpers();
    }
}

// "/S", "/s" and "-S" all run silently, with the entry's command quoted or not and without a
// ReadMe; the current screensaver is reset when it names the removed one, in its long or
// short (8.3, as the installer stores it) form, and another one beside it stays.
TEST_F(UninstallerTest, SilentRunsResetOnlyTheirOwnScreenSaver) {
    const fs::path other = FDir.Path() / L"Other.scr"; // same folder, other file
    WriteBytes(other, Bytes("MZ other"));
    enum TSaver { Long, Short, Other };
    const struct {
        const char* What;
        const wchar_t* Switch;
        TSaver Saver;
        bool QuotedCommand, ReadMe;
    } rows[] = {
        {"its short path", L"/s", Short, true, true},
        {"another screensaver", L"/S", Other, true, true},
        {"an unquoted command and no ReadMe", L"-S", Long, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.What);
        ForgetHelpers();
        Install(row.QuotedCommand ? L"" : Uninst().wstring());
        if (!row.ReadMe) fs::remove(Txt());
        const std::wstring current = row.Saver == Other   ? other.wstring()
                                     : row.Saver == Short ? ShortPathOf(Scr())
                                                          : Scr().wstring();
        ASSERT_FALSE(current.empty());
        if (row.Saver == Short) {
            ASSERT_NE(fs::path(current).filename(), Scr().filename()) << "no short form here";
        }
        SetCurrentScreenSaver(current);
        EXPECT_EQ(Run(Uninst(), row.Switch), 0u);
        ExpectAllRemoved();
        EXPECT_EQ(CurrentScreenSaver(), row.Saver == Other ? other.wstring() : kMissing);
        ExpectHelperFinished();
    }
    EXPECT_TRUE(fs::exists(other));
}

// A file in use goes at the next restart, and the entry at once with the rest (exit code
// 3010). A running program's file is first renamed aside, freeing its name; one held open
// without delete sharing cannot be renamed and waits for the restart under its own name.
// For one user nothing is left to the restart (that needs administrator rights): the
// file renamed aside stays so, the one held open under its name, the entry and the
// uninstaller stay (exit code 3), and once the file is closed a second run finishes.
TEST_F(UninstallerTest, AFileInUseGoesAtTheNextRestartAndTheEntryAtOnce) {
    for (const bool perUser : {false, true})
        for (const bool running : {true, false}) {
            SCOPED_TRACE(std::string(running ? "a running program's file" : "held open") +
                         (perUser ? ", for one user" : ""));
            FRoot = perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
            ForgetHelpers();
            Install();
            SetCurrentScreenSaver(Scr().wstring());
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSessionManager.c_str(), kPendingValue.c_str());
            std::optional<Process> program;
            UniqueHandle held;
            if (running) {
                fs::copy_file(TestBinDir() / "uninst.exe", Scr(), fs::copy_options::overwrite_existing);
                program.emplace(L"\"" + Scr().wstring() + L"\"", nullptr, true);
                ASSERT_TRUE(program->Started());
            } else {
                ASSERT_TRUE(held = HoldOpen(Scr()));
            }
            EXPECT_EQ(Run(Uninst(), L"/S"), perUser ? 3u : 3010u);
            EXPECT_EQ(RegKeyExists(FRoot, Key()), perUser);
            EXPECT_EQ(fs::exists(Uninst()), perUser);
            EXPECT_EQ(NewHelperFolders().empty(), perUser);
            EXPECT_FALSE(fs::exists(Txt()));
            EXPECT_EQ(fs::exists(Scr()), !running);
            const std::vector<fs::path> aside = SetAsideFrom(Scr());
            ASSERT_EQ(aside.size(), running ? 1u : 0u);
            EXPECT_EQ(DeletionPending((running ? aside[0] : Scr()).wstring()), !perUser);
            // The setting goes with the screensaver's name.
            EXPECT_EQ(CurrentScreenSaver() != kMissing, perUser && !running);
            program.reset(); // ended: its file can go now
            held.Reset();
            if (perUser) {
                EXPECT_TRUE(windriver::WaitFor([&] { return Run(Uninst(), L"/S") == 0u; }));
                ExpectAllRemoved();
                EXPECT_EQ(CurrentScreenSaver(), kMissing);
                ExpectHelperFinished();
            } else if (running) {
                windriver::WaitFor([&] {
                    std::error_code ec;
                    return fs::remove(aside[0], ec) || !fs::exists(aside[0]);
                });
            }
            EXPECT_TRUE(SetAsideFrom(Scr()).empty());
        }
}

// A change that died half way leaves its names beside the files (uChangeNames.h): the
// uninstallation removes those of its own files and its pending mark, no other.
TEST_F(UninstallerTest, RemovesWhatADeadChangeOfItsOwnLeftAndNothingElse) {
    Install();
    const std::wstring change = L".~0123456789abcdef0123456789abcdef";
    struct TCase {
        std::wstring Name;
        bool Ours;
    };
    const TCase files[] = {
        {L"TestSaver.scr" + change + L".tmp", true},       {L"TestSaver.txt" + change + L".old", true},
        {L"TestSaverUninst.exe" + change + L".new", true}, {L"TestSaver" + change + L".pending", true},
        {L"Other.scr" + change + L".old", false},          {L"TestSaver2" + change + L".pending", false},
    };
    for (const TCase& f : files) WriteBytes(FDir.Path() / f.Name, {});
    // A set-aside earlier file keeps its attributes.
    ASSERT_TRUE(SetFileAttributesW((FDir.Path() / files[1].Name).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Run(Uninst(), L"/S"), 0u);
    for (const TCase& f : files)
        EXPECT_EQ(fs::exists(FDir.Path() / f.Name), !f.Ours) << fs::path(f.Name).string();
    ExpectAllRemoved();
    ExpectHelperFinished();
}

// A folder of its own on another volume than the Windows directory's Temp folder (Wine:
// a tmpfs, /dev/shm), removed with its contents; none where there is no such volume.
class OtherVolumeDir {
public:
    OtherVolumeDir() {
        std::error_code ec;
        if (!fs::create_directory(Path, ec)) {
            Path.clear();
            return;
        }
        // Another volume: a file cannot be renamed into that Temp folder.
        const fs::path probe = Path / L"probe",
                       moved = SystemTempFolder() / (Path.filename().wstring() + L".probe");
        WriteBytes(probe, Bytes("probe"));
        Available = !MoveFileExW(probe.c_str(), moved.c_str(), 0) && GetLastError() == ERROR_NOT_SAME_DEVICE;
        fs::remove(moved, ec);
        fs::remove(probe, ec);
    }
    ~OtherVolumeDir() {
        std::error_code ec;
        if (!Path.empty()) fs::remove_all(Path, ec);
    }
    fs::path Path = fs::path(L"Z:\\dev\\shm") / (L"scrtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                                 std::to_wstring(GetTickCount()));
    bool Available = false;
};

// The removal step holds its file open for the helper without delete sharing. When the
// file cannot be moved into the helper's folder (another volume), the helper deletes it
// in place through that handle once the runs have ended; when a program holds it open
// without delete sharing, it goes at the next restart and no helper is started.
TEST_F(UninstallerTest, AnUninstallerThatCannotBeMovedAwayIsDeletedInPlaceOrAtTheNextRestart) {
    {
        SCOPED_TRACE("held open");
        Install();
        UniqueHandle hold = HoldOpen(Uninst());
        ASSERT_TRUE(hold);
        EXPECT_EQ(Run(Uninst(), L"/S"), 0u);
        EXPECT_FALSE(fs::exists(Scr()));
        EXPECT_FALSE(RegKeyExists(FRoot, Key()));
        EXPECT_TRUE(fs::exists(Uninst()));
        EXPECT_TRUE(DeletionPending(Uninst().wstring()));
        EXPECT_TRUE(NewHelperFolders().empty());
    }
    OtherVolumeDir other;
    if (!other.Available) GTEST_SKIP() << "no folder on another volume than " << SystemTempFolder().string();
    FFolder = other.Path;
    Install();
    EXPECT_EQ(Run(Uninst(), L"/S"), 0u);
    EXPECT_TRUE(windriver::WaitFor([&] { return !fs::exists(Uninst()); }));
    ExpectAllRemoved();
    auto folders = NewHelperFolders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_FALSE(fs::exists(folders[0] / Uninst().filename())); // nothing was parked
    EXPECT_TRUE(windriver::WaitFor(
        [&] { return DeletionPending((folders[0] / L"TestSaverCleanup.exe").wstring()); }));
}

TEST_F(UninstallerTest, AnsweringNoLeavesEverythingInPlace) {
    Install();
    SetCurrentScreenSaver(Scr().wstring());
    Process p(Quoted(Uninst()));
    ASSERT_TRUE(p.Started());
    HWND box = WaitMessageBoxWith(p.Id(), kQuestion);
    ASSERT_TRUE(box);
    EXPECT_EQ(windriver::TextOf(box), L"TestSaver のアンインストール");
    ASSERT_TRUE(GetDlgItem(box, IDYES));
    ASSERT_TRUE(windriver::AnswerMessageBox(box, IDNO));
    EXPECT_EQ(p.Wait(), 1u);
    ExpectUntouched();
    EXPECT_EQ(CurrentScreenSaver(), Scr().wstring());
}

// The user's run keeps the program's file mapped while it shows its result: the helper
// waits for that run too, however long the box stays open (longer than the helper's 10 s
// of retrying here), and deletes the file once it has ended.
TEST_F(UninstallerTest, AnsweringYesRemovesAndReportsCompletion) {
    Install();
    Process p(Quoted(Uninst()));
    ASSERT_TRUE(p.Started());
    ASSERT_TRUE(windriver::AnswerMessageBox(WaitMessageBoxWith(p.Id(), kQuestion), IDYES));
    HWND done = WaitMessageBoxWith(p.Id(), L"「TestSaver」のアンインストールが完了しました。");
    ASSERT_TRUE(done);
    const auto folders = NewHelperFolders();
    ASSERT_EQ(folders.size(), 1u);
    const fs::path parked = folders[0] / Uninst().filename();
    Sleep(11000);
    EXPECT_TRUE(fs::exists(parked));
    EXPECT_FALSE(DeletionPending(parked.wstring()));
    ASSERT_TRUE(windriver::AnswerMessageBox(done, IDOK));
    EXPECT_EQ(p.Wait(), 0u);
    ExpectAllRemoved();
    ExpectHelperFinished();
}

// What can be neither removed nor left to the next restart keeps the entry and the
// uninstaller: the run lists it, and once it is out of the way the entry finishes the job.
TEST_F(UninstallerTest, InteractiveRunListsWhatItCouldNotRemoveAndKeepsTheEntry) {
    Install();
    SetCurrentScreenSaver(Scr().wstring());
    fs::remove(Txt());
    fs::create_directory(Txt());
    {
        Process p(Quoted(Uninst()));
        ASSERT_TRUE(p.Started());
        ASSERT_TRUE(windriver::AnswerMessageBox(WaitMessageBoxWith(p.Id(), kQuestion), IDYES));
        HWND report = WaitMessageBoxWith(p.Id(), L"次の項目を削除できませんでした。");
        ASSERT_TRUE(report);
        const std::wstring text = windriver::BoxText(report);
        EXPECT_TRUE(Contains(text, Txt().wstring()));
        EXPECT_FALSE(Contains(text, Scr().wstring()));
        EXPECT_TRUE(Contains(text, L"アンインストールの登録は残してあります。"));
        ASSERT_TRUE(windriver::AnswerMessageBox(report, IDOK));
        EXPECT_EQ(p.Wait(), 3u);
    }
    EXPECT_FALSE(fs::exists(Scr()));
    EXPECT_EQ(CurrentScreenSaver(), kMissing); // its file is gone
    WriteBytes(Scr(), Bytes("MZ screensaver"));
    fs::remove(Txt());
    WriteBytes(Txt(), Bytes("readme"));
    ExpectUntouched();

    UniqueHandle busy = HoldOpen(Txt());
    ASSERT_TRUE(busy);
    Process again(Quoted(Uninst()));
    ASSERT_TRUE(again.Started());
    ASSERT_TRUE(windriver::AnswerMessageBox(WaitMessageBoxWith(again.Id(), kQuestion), IDYES));
    HWND done =
        WaitMessageBoxWith(again.Id(), L"「TestSaver」のアンインストールが完了しました。\n"
                                       L"使用中のファイルは、コンピューターの再起動後に削除されます。");
    ASSERT_TRUE(done);
    ASSERT_TRUE(windriver::AnswerMessageBox(done, IDOK));
    EXPECT_EQ(again.Wait(), 3010u);
    EXPECT_FALSE(RegKeyExists(FRoot, Key()));
    EXPECT_TRUE(DeletionPending(Txt().wstring()));
    ExpectHelperFinished();
}

// Only a copy that the uninstall registration names, carrying the installation record,
// removes anything: the carried program without its "GUID" container, one under a file
// name that names no screensaver, one renamed after another screensaver beside it, or one
// whose key belongs to another product deletes nothing at all.
TEST_F(UninstallerTest, RefusesUnlessItsRegistrationNamesIt) {
    const fs::path otherScr = FDir.Path() / L"Other.scr", otherTxt = FDir.Path() / L"Other.txt";
    WriteBytes(otherScr, Bytes("MZ other"));
    WriteBytes(otherTxt, Bytes("other readme"));
    const std::wstring foreign = L"\"C:\\Program Files\\Other\\TestSaverUninst.exe\" /x";
    const struct {
        const wchar_t* Name;
        bool WithGuid;
        std::wstring Command; // the entry's; empty: the installed uninstaller's
    } rows[] = {
        {L"TestSaverUninst.exe", false, L""}, {L"Uninst.exe", true, L""},
        {L"TestSaver.exe", true, L""},        {L"TestSaverUninst.exe.bak", true, L""},
        {L"OtherUninst.exe", true, L""},      {L"TestSaverUninst.exe", true, foreign},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(fs::path(row.Name).string() + (row.WithGuid ? "" : " without its container"));
        Install(row.Command);
        const fs::path program = FDir.Path() / row.Name;
        PlaceUninstaller(program, row.WithGuid);
        EXPECT_EQ(Run(program, L"/S"), 2u);
        EXPECT_TRUE(fs::exists(program));
        ExpectUntouched();
        EXPECT_EQ(RawRegString(FRoot, Key(), L"UninstallString"),
                  row.Command.empty() ? Quoted(Uninst()) : row.Command);
    }
    EXPECT_TRUE(fs::exists(otherScr));
    EXPECT_TRUE(fs::exists(otherTxt));
}

// The removal holds its folder open and refuses one that it reaches through a link (the
// folder itself, or a folder on its way): a junction could point its names elsewhere.
// Nothing is removed, for everyone or for one user, though the entry names that path.
TEST_F(UninstallerTest, RefusesAFolderReachedThroughALink) {
    const fs::path base = FDir.Path() / L"base", real = base / L"real";
    fs::create_directories(real);
    FFolder = real;
    struct TCase {
        const char* What;
        fs::path Link, Target, Folder;
    };
    const TCase cases[] = {
        {"the folder a link", FDir.Path() / L"linked", real, FDir.Path() / L"linked"},
        {"a link on the way", FDir.Path() / L"up", base, FDir.Path() / L"up" / L"real"},
    };
    int rows = 0;
    for (const TCase& c : cases) {
        // A row without a directory link (none possible here) is skipped.
        if (!MakeDirectoryLink(c.Link, c.Target)) continue;
        ++rows;
        const fs::path linkedUninst = c.Folder / Uninst().filename();
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            FRoot = root;
            SCOPED_TRACE(std::string(c.What) + (PerUser() ? ", for one user" : ", for everyone"));
            Install(L"\"" + linkedUninst.wstring() + L"\"");
            EXPECT_EQ(Run(linkedUninst, L"/S"), 2u);
            EXPECT_EQ(FSteps, PerUser() ? 0u : 1u);
            ExpectUntouched();
            RegDeleteTreeW(root, Key().c_str());
        }
        RemoveDirectoryLink(c.Link);
    }
    if (rows == 0) GTEST_SKIP() << "no directory links here";
}

// A container laid out byte by byte (key 0x2A, one item "GUID" stored as is) is read; the
// same container damaged is refused, though its first record is a whole "GUID" item.
TEST_F(UninstallerTest, ReadsAContainerLaidOutByHandAndRefusesItDamaged) {
    Install();
    // A block whose first record is a whole "GUID" item (key 0x2A), then the damage.
    auto block = [&](std::int32_t count, bool badSecondName) {
        std::vector<std::uint8_t> b;
        auto i32 = [&](std::uint32_t v) {
            for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        };
        i32(0x2A);
        i32(static_cast<std::uint32_t>(count));
        i32(4);
        for (char c : std::string("GUID")) b.push_back(static_cast<std::uint8_t>(c ^ 0x2A));
        b.push_back(0);
        i32(static_cast<std::uint32_t>(kGuid.size()));
        b.insert(b.end(), kGuid.begin(), kGuid.end());
        if (badSecondName) { // a name length past the end of the block
            i32(5000);
            for (int i = 0; i < 16; ++i) b.push_back('x');
        }
        return b;
    };
    auto tail = [](std::uint64_t length) {
        std::vector<std::uint8_t> t;
        for (int i = 0; i < 8; ++i) t.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
        for (char c : std::string("PLWS")) t.push_back(static_cast<std::uint8_t>(c));
        return t;
    };
    auto withContainer = [&](const std::vector<std::uint8_t>& b, std::uint64_t length) {
        fs::copy_file(TestBinDir() / "uninst.exe", Uninst(), fs::copy_options::overwrite_existing);
        std::vector<std::uint8_t> file = ReadBytes(Uninst());
        file.insert(file.end(), b.begin(), b.end());
        std::vector<std::uint8_t> t = tail(length);
        file.insert(file.end(), t.begin(), t.end());
        WriteBytes(Uninst(), file);
    };
    struct TCase {
        const char* What;
        std::vector<std::uint8_t> Block;
        std::uint64_t Length;
    };
    const std::vector<std::uint8_t> good = block(1, false);
    const std::vector<std::uint8_t> badName = block(2, true);
    const std::vector<std::uint8_t> negative = block(-1, false);
    const TCase cases[] = {
        {"name length past the end", badName, badName.size()},
        {"negative count", negative, negative.size()},
        {"block length past the start of the file", good, 0x7FFFFFFFFFFFFFFFull},
        {"block length below its head", good, 4},
        {"truncated record", std::vector<std::uint8_t>(good.begin(), good.end() - 5), good.size() - 5},
    };
    for (const TCase& c : cases) {
        withContainer(c.Block, c.Length);
        EXPECT_EQ(Run(Uninst(), L"/S"), 2u) << c.What;
        ExpectUntouched();
    }
    // The same bytes whole are read.
    withContainer(good, good.size());
    EXPECT_EQ(Run(Uninst(), L"/S"), 0u);
    ExpectAllRemoved();
    ExpectHelperFinished();
}

// The removal step starts a copy of its own file with administrator rights. A process of
// the user may rename the running step's file (allowed for a mapped image) and put
// another program under its name, the installation's container copied onto its end: the
// step checks the file it holds against its own mapped image first, and finding another
// program there, or this one with another DLL's name among its imports, it removes
// nothing and starts nothing.
TEST_F(UninstallerTest, AStepWhoseFileWasReplacedRemovesNothingAndStartsNothing) {
    Install();
    const std::vector<std::uint8_t> installed = ReadBytes(Uninst());
    std::vector<std::uint8_t> otherProgram = ReadBytes(TestBinDir() / "step_forger.exe");
    otherProgram.insert(otherProgram.end(), installed.begin() + fs::file_size(TestBinDir() / "uninst.exe"),
                        installed.end());
    std::vector<std::uint8_t> otherImport = installed;
    const std::string user32 = "USER32.dll";
    const auto name = std::search(otherImport.begin(), otherImport.end(), user32.begin(), user32.end());
    ASSERT_NE(name, otherImport.end());
    name[5] = '3';
    const struct {
        const char* What;
        const std::vector<std::uint8_t>& Planted;
    } cases[] = {{"another program", otherProgram}, {"an import changed", otherImport}};
    const fs::path moved = FFolder / L"moved.exe";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        Install();
        Process step(L"\"" + Uninst().wstring() + L"\" /_remove /S", nullptr, true);
        ASSERT_TRUE(step.Started());
        TChildWatch helpers(step.Id(), kName + L"Cleanup.exe");
        ASSERT_TRUE(MoveFileExW(Uninst().c_str(), moved.c_str(), 0));
        WriteBytes(Uninst(), c.Planted);
        step.Resume();
        EXPECT_EQ(step.Wait(30000), 2u);
        EXPECT_EQ(helpers.Stop(), 0u);
        ExpectUntouched();
        fs::remove(moved);
    }
}

// The helper is handed the file it deletes as an inherited handle: a path given to it,
// even one of an installed uninstaller's copy in another folder, deletes nothing.
TEST_F(UninstallerTest, RejectsUnknownSwitchesAndAPathForItsHelper) {
    Install();
    EXPECT_EQ(Run(Uninst(), L"/S /X"), 4u);
    EXPECT_EQ(Run(Uninst(), L"/S /_parent 12"), 4u);
    const fs::path elsewhere = FDir.Path() / L"elsewhere";
    fs::create_directory(elsewhere);
    const fs::path copy = elsewhere / Uninst().filename();
    PlaceUninstaller(copy);
    EXPECT_EQ(Run(Uninst(), L"/S /_cleanup \"" + copy.wstring() + L"\""), 4u);
    EXPECT_TRUE(fs::exists(copy));
    ExpectUntouched();
}

// One change to an installation at a time: the removal waits for the lock an installer
// holds while it works ("Global\ScrSetupChange-<name>"), and removes anything only once
// it has it: released, or abandoned by a run that ended without letting go.
TEST_F(UninstallerTest, RemovesOnlyOnceAChangeAtWorkHasLetGoOfItsLock) {
    const std::wstring lockName = L"Global\\ScrSetupChange-" + kName;
    for (bool abandon : {false, true}) {
        SCOPED_TRACE(abandon ? "abandoned" : "released");
        ForgetHelpers();
        Install();
        UniqueHandle mutex(CreateMutexW(nullptr, FALSE, lockName.c_str()));
        UniqueHandle taken(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        UniqueHandle end(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(mutex && taken && end);
        std::thread holder([&] {
            WaitForSingleObject(mutex.Get(), INFINITE);
            SetEvent(taken.Get());
            WaitForSingleObject(end.Get(), INFINITE);
            if (!abandon) ReleaseMutex(mutex.Get());
        });
        EXPECT_EQ(WaitForSingleObject(taken.Get(), 5000), WAIT_OBJECT_0);
        Process p(Quoted(Uninst()) + L" /S");
        EXPECT_EQ(p.Wait(2000), STILL_ACTIVE);
        ExpectUntouched();
        SetEvent(end.Get());
        holder.join();
        EXPECT_EQ(p.Wait(30000), 0u);
        ExpectAllRemoved();
    }
}

// It travels compressed inside every installer: built without the C and C++ runtimes it
// imports only kernel32, user32 and advapi32 and stays far below 64 KB; one use of
// std::string or an exception would bring the C++ runtime (and with it some 200 KB) back.
TEST(UninstallerImage, ImportsOnlyTheCoreSystemDllsAndStaysWithinItsSizeBudget) {
    const fs::path exe = TestBinDir() / "uninst.exe";
    EXPECT_LE(fs::file_size(exe), 64u * 1024u);
    EXPECT_FALSE(peimports::ImportedDlls(exe).empty());
    EXPECT_EQ(peimports::ImportsOutside(exe, {"kernel32.dll", "user32.dll", "advapi32.dll"}),
              std::vector<std::string>{});
}

} // namespace
