// End to end: real installers built by scrpack.exe, started as their own processes and
// driven through their windows like a user would (find controls by class and caption,
// click, type), then the files and registry they leave are checked.
#include "ChildWatch.h"
#include "DirectoryLinks.h"
#include "PeImports.h"
#include "StandInPlayer.h"
#include "TestFiles.h"
#include "UninstallerTraces.h"
#include "WinTestSupport.h"
#include "WizardDriver.h"
#include "platform/uSha256.h"
#include "platform/uWinHandles.h"
#include "store/uExeAdder.h"
#include "store/uHexText.h"
#include "store/uImageBinding.h"
#include "tools/RunTool.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <shlobj.h>
#include <sstream>
#include <string>
#include <vector>

using namespace e2e;
namespace fs = std::filesystem;

namespace {

const std::wstring kUninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\E2eSaver";
const std::wstring kTitle = L"E2E スクリーンセーバー　インストーラー";

fs::path Source(const std::string& rel) {
    return fs::path("Z:" SCR_SOURCE_DIR) / rel;
}

// A value of the installation's entry in the list of programs (for everyone unless root).
std::wstring Entry(const wchar_t* name, HKEY root = HKEY_LOCAL_MACHINE) {
    return RawRegString(root, kUninstallKey, name);
}
DWORD EntryNumber(const wchar_t* name) {
    return RegNumber(HKEY_LOCAL_MACHINE, kUninstallKey, name);
}
bool Registered(HKEY root = HKEY_LOCAL_MACHINE) {
    return RegKeyExists(root, kUninstallKey);
}
bool NoCurrentScreenSaver() {
    const std::wstring current = CurrentScreenSaver();
    return current == kMissing || current.empty();
}

struct TPack {
    bool Eula = true;
    bool ReadMe = true;
    std::wstring FlashVersion = L"7.0.19.0";
    std::wstring Extra = {};            // more scrpack options, such as --no-player or --force-set
    fs::path Scr = {}, ReadMeFile = {}; // other than the sample's
};

// Builds an installer with the Windows scrpack.exe onto the real installer program.
fs::path BuildInstaller(const TempDir& dir, const TPack& pack, const std::wstring& fileName = L"setup.exe") {
    const fs::path out = dir.Path() / fileName;
    std::wstring options =
        L"--name E2eSaver --title \"" + kTitle + L"\" --flash-version " + pack.FlashVersion + pack.Extra;
    if (pack.Eula) options += L" --eula " + Quoted(Source("samples/EULA.txt"));
    if (pack.ReadMe)
        options +=
            L" --readme " + Quoted(pack.ReadMeFile.empty() ? Source("samples/ReadMe.txt") : pack.ReadMeFile);
    EXPECT_TRUE(PackInstaller(out, options, pack.Scr.empty() ? BinFile(L"OrvaneSample.scr") : pack.Scr))
        << "scrpack build failed";
    return out;
}

// The sample installed in folder and registered under root, with its ReadMe when readMe.
void ExpectInstalled(const fs::path& folder, HKEY root = HKEY_LOCAL_MACHINE, bool readMe = true) {
    EXPECT_EQ(ReadBytes(folder / L"E2eSaver.scr"), ReadBytes(BinFile(L"OrvaneSample.scr")));
    if (readMe) {
        EXPECT_EQ(ReadBytes(folder / L"E2eSaver.txt"), ReadBytes(Source("samples/ReadMe.txt")));
    }
    EXPECT_TRUE(fs::exists(folder / L"E2eSaverUninst.exe"));
    EXPECT_EQ(Entry(L"UninstallString", root), Quoted(folder / L"E2eSaverUninst.exe"));
    EXPECT_EQ(Entry(L"DisplayName", root), L"E2eSaverスクリーンセーバー");
    EXPECT_EQ(Entry(L"InstallLocation", root), folder.wstring() + L"\\");
}

// Runs an uninstall command line for everyone: it ends with 0 and leaves folder empty and no
// entry; steps (when not negative): how many elevated runs of the uninstaller it starts.
void ExpectUninstalledBy(const std::wstring& command, const fs::path& folder, int steps = -1) {
    uninstallertraces::HelperCleanup helpers;
    std::size_t started = 0;
    EXPECT_EQ(RunWatchingChildren(command, L"E2eSaverUninst.exe", started, 30000), 0u);
    if (steps >= 0) {
        EXPECT_EQ(started, static_cast<std::size_t>(steps));
    }
    EXPECT_TRUE(WaitFor([&] { return IsEmptyFolder(folder); })) << "files left in the folder";
    EXPECT_FALSE(Registered()) << "the uninstall key is left";
}

// Nothing of ours in folder, and no registration: a fresh start.
void Clear(const fs::path& folder) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str());
    for (const auto& f : fs::directory_iterator(folder)) fs::remove(f.path());
}

// Builds the sample's installer as a publisher's pipeline does (helpers/build_signed.sh:
// the host's scrpack with --sign-uninstaller running osslsigncode with a throwaway
// certificate, then the finished installer signed too, each signature verified, all as
// Unix programs) into out; work receives unsigned.exe, the carried uninstaller uninst.exe
// and the log. Returns the tools' exit status (-1 when it never came).
int BuildSignedInstaller(const fs::path& out, const TempDir& work, std::string& log) {
    const char* hostBin = std::getenv("SCR_HOST_BIN"); // set by ./x test: the Linux build's bin folder
    if (!hostBin) {
        log = "SCR_HOST_BIN (the host build's bin folder, holding scrpack) is not set";
        return -1;
    }
    using directorylinks::UnixPath;
    const std::string bin = hostBin;
    std::wstring cmd = L"Z:\\bin\\sh " + UnixPath(Source("tests/e2e/helpers/build_signed.sh")) + L" " +
                       std::wstring(bin.begin(), bin.end()) + L"/scrpack " +
                       UnixPath(BinFile(L"scrsetup.exe")) + L" " + UnixPath(BinFile(L"OrvaneSample.scr")) +
                       L" {0123ABCD-4567-89EF-0123-456789ABCDEF} " + UnixPath(out) + L" " +
                       UnixPath(work.Path());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    const fs::path status = work.Path() / "status";
    WaitFor([&] { return fs::exists(status); }, std::chrono::seconds(120));
    log = ReadText(work.Path() / "sign.log");
    const std::string code = ReadText(status);
    return code.empty() ? -1 : std::atoi(code.c_str());
}

// Keeps the current screensaver and removes the uninstall registration around a test.
struct TRegistryGuard {
    ScopedScreenSaver Saver;
    ScopedRegTree Key{HKEY_LOCAL_MACHINE, kUninstallKey};
};

std::wstring Today() {
    wchar_t buf[16];
    return std::wstring(buf,
                        std::max(GetDateFormatW(LOCALE_INVARIANT, 0, nullptr, L"yyyyMMdd", buf, 16) - 1, 0));
}

// Runs an installer with switches (an unattended run) and returns its exit code; while it
// runs, it must show no window (wizard, notifier or message box).
DWORD RunSilently(const fs::path& exe, const std::wstring& switches) {
    Process p(Quoted(exe) + L" " + switches);
    EXPECT_TRUE(p.Started());
    std::wstring shown;
    for (int i = 0; i < 6000 && WaitForSingleObject(p.Handle(), 10) == WAIT_TIMEOUT; ++i)
        for (HWND h : TopWindows(p.Id())) shown = ClassOf(h);
    EXPECT_EQ(shown, L"") << "an unattended run showed a window";
    return p.Wait(1000);
}

// The binding an installer's image carries, as the step's command line passes it.
std::wstring BindingOf(const fs::path& exe) {
    const std::vector<std::uint8_t> bytes = ReadBytes(exe);
    const std::size_t at =
        imagebinding::FindHashField(bytes.data(), imagebinding::ImageEnd(bytes.data(), bytes.size()));
    if (at == imagebinding::npos) return kMissing;
    std::wstring hex(2 * imagebinding::kHashSize, L'\0');
    hextext::Write(bytes.data() + at, imagebinding::kHashSize, hex.data());
    return hex;
}

// The offset of the stored data of the item named name in the installer's container.
std::size_t StoredItemOffset(const std::vector<std::uint8_t>& bytes, const char* name) {
    const itemlayout::TContainerPlace place = itemlayout::LocateContainerIn(
        static_cast<std::int64_t>(bytes.size()), [&](std::int64_t offset, void* buffer, std::size_t count) {
            std::memcpy(buffer, bytes.data() + offset, count);
            return true;
        });
    std::size_t offset = 0;
    if (place.Place != itemlayout::TPlace::Found) return 0;
    const std::uint8_t* block = bytes.data() + place.BlockStart;
    itemlayout::WalkContainer(block, static_cast<std::size_t>(place.BlockLength),
                              [&](const itemlayout::TItemRecord& r) {
                                  if (r.NameIs(name, std::strlen(name)) && !r.Compressed && r.Stored > 0)
                                      offset = static_cast<std::size_t>(r.Data - bytes.data());
                              });
    return offset;
}

// A copy of the installer at out (or the installer itself) whose item name change alters,
// written as the installer's container anew (it hides the old one) and bound to the image
// as scrpack does: only the installer's other checks can tell.
fs::path WithItemChanged(const fs::path& exe, const fs::path& out, const std::string& name,
                         const std::function<void(std::vector<std::uint8_t>&)>& change) {
    if (out != exe) fs::copy_file(exe, out);
    TItemTypes items;
    ReadItems(out, items);
    for (TItemType& item : items)
        if (item.Name == name) {
            change(item.Data);
            item.Size = static_cast<std::int32_t>(item.Data.size());
        }
    WriteItems(out, items);
    const std::vector<std::uint8_t> container = ReadContainerBytes(out);
    const TSha256 hash = Sha256(container.data(), container.size());
    std::vector<std::uint8_t> bytes = ReadBytes(out);
    const std::size_t at =
        imagebinding::FindHashField(bytes.data(), imagebinding::ImageEnd(bytes.data(), bytes.size()));
    EXPECT_NE(at, imagebinding::npos);
    if (at != imagebinding::npos)
        std::copy(hash.begin(), hash.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    WriteBytes(out, bytes);
    return out;
}
// An item's data set to text.
std::function<void(std::vector<std::uint8_t>&)> SetTo(const std::string& text) {
    return [text](std::vector<std::uint8_t>& data) { data.assign(text.begin(), text.end()); };
}

// A copy of the installer at out whose screensaver differs in one byte, in a sound
// container bound to the image: only the digest can tell.
fs::path WithChangedScreenSaver(const fs::path& exe, const fs::path& out) {
    return WithItemChanged(exe, out, "SCR",
                           [](std::vector<std::uint8_t>& data) { data[data.size() / 2] ^= 0x55; });
}

std::wstring SystemDirectory() {
    wchar_t dir[MAX_PATH];
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(dir, n < MAX_PATH ? n : 0);
}

// The lines of a text file, without their line breaks.
std::vector<std::string> LinesOf(const fs::path& file) {
    std::istringstream in(ReadText(file));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// For its life both finish actions start the recorder (tests/components/helpers), which
// notes its command line and current folder in log and log + ".cwd": ".txt" files open
// with it, machine-wide, and it stands in for the system's control.exe (which Wine
// replaces by its own unless told to load the file). Without control.exe (the file gone,
// and Wine told not to use its own) the recorder opens "ms-settings:" links instead.
class TFinishRecorder {
public:
    explicit TFinishRecorder(const fs::path& log, bool withControl = true)
        : FLog(L"SCRTEST_RECORDER_LOG", log.c_str()) {
        const std::wstring recorder = Quoted(BinFile(L"cmdline_recorder.exe"));
        EXPECT_TRUE(MoveFileW(FControl.c_str(), FSaved.c_str()));
        if (withControl) {
            EXPECT_TRUE(CopyFileW(BinFile(L"cmdline_recorder.exe").c_str(), FControl.c_str(), FALSE));
        }
        SetRegString(HKEY_CURRENT_USER, kOverrides, L"control.exe", L"native");
        SetRegString(HKEY_LOCAL_MACHINE, kTxtKey, nullptr, kClass);
        SetRegString(HKEY_LOCAL_MACHINE, kCommandKey, nullptr, recorder);
        SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey, L"URL Protocol", L"");
        SetRegString(HKEY_LOCAL_MACHINE, kSettingsKey + std::wstring(L"\\shell\\open\\command"), nullptr,
                     recorder + L" %1");
    }
    ~TFinishRecorder() {
        DeleteFileW(FControl.c_str());
        MoveFileW(FSaved.c_str(), FControl.c_str());
    }

private:
    static constexpr wchar_t kTxtKey[] = L"Software\\Classes\\.txt";
    static constexpr wchar_t kClass[] = L"ScrE2eRecordedText";
    static constexpr wchar_t kCommandKey[] = L"Software\\Classes\\ScrE2eRecordedText\\shell\\open\\command";
    static constexpr wchar_t kOverrides[] = L"Software\\Wine\\DllOverrides";
    static constexpr wchar_t kSettingsKey[] = L"Software\\Classes\\ms-settings";
    ScopedRegTree FClassKey{HKEY_LOCAL_MACHINE, L"Software\\Classes\\ScrE2eRecordedText"};
    ScopedRegTree FSettingsClass{HKEY_LOCAL_MACHINE, kSettingsKey}; // none in a Wine prefix
    ScopedRegValue FTxtClass{HKEY_LOCAL_MACHINE, kTxtKey, L""},
        FOverride{HKEY_CURRENT_USER, kOverrides, L"control.exe"};
    ScopedEnv FLog;
    const std::wstring FControl = SystemDirectory() + L"\\control.exe", FSaved = FControl + L".saved";
};

// Waits until count programs the recorder stood in for noted their current folder (log +
// ".cwd"), and checks that each was the system directory.
void ExpectStartedInTheSystemDirectory(const fs::path& log, std::size_t count) {
    const fs::path cwdLog = fs::path(log) += L".cwd";
    ASSERT_TRUE(WaitFor([&] { return LinesOf(cwdLog).size() == count; })) << LinesOf(cwdLog).size();
    const std::wstring wide = SystemDirectory();
    const std::string system(wide.begin(), wide.end()); // ASCII here
    for (std::string cwd : LinesOf(cwdLog))
        EXPECT_EQ(_stricmp(cwd.erase(cwd.find_last_not_of('\\') + 1).c_str(), system.c_str()), 0) << cwd;
}

// A one-pixel uncompressed 24-bit bitmap file of the colour c.
std::vector<std::uint8_t> OneColourBitmap(COLORREF c) {
    std::vector<std::uint8_t> bmp = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,      // file header, then
                                     40,  0,   0,  0, 1, 0, 0, 0, 1, 0, 0,  0, 1, 0, 24}; // 1 x 1, 24 bits
    bmp.resize(54);
    bmp.insert(bmp.end(), {GetBValue(c), GetGValue(c), GetRValue(c), 0});
    return bmp;
}

// The colours the screen shows at nine points spread over a window.
std::set<COLORREF> ColoursShownBy(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    HDC screen = GetDC(nullptr);
    std::set<COLORREF> seen;
    for (int x = 1; x < 4; ++x)
        for (int y = 1; y < 4; ++y)
            seen.insert(
                GetPixel(screen, r.left + (r.right - r.left) * x / 4, r.top + (r.bottom - r.top) * y / 4));
    ReleaseDC(nullptr, screen);
    return seen;
}

struct TButtonRow {
    std::wstring Next;
    bool NextEnabled, PrevEnabled, CancelEnabled;
};

void ExpectRow(const TWizard& w, const TButtonRow& row) {
    HWND next = w.Button(row.Next);
    ASSERT_TRUE(next) << "no Next button reading the expected caption";
    EXPECT_EQ(IsEnabled(next), row.NextEnabled);
    EXPECT_EQ(IsEnabled(w.Button(kBack)), row.PrevEnabled);
    EXPECT_EQ(IsEnabled(w.Button(kCancel)), row.CancelEnabled);
}

// The wizard of exe opens on the failure page with message, where only Next ("exit")
// works; the player's download is offered when download.
void ExpectFailurePage(const fs::path& exe, const std::wstring& message, bool download) {
    TWizard w(exe);
    ASSERT_TRUE(WaitFor([&] { return w.OnFailure(); }));
    ExpectRow(w, {kExit, true, false, false});
    EXPECT_TRUE(w.MemoStartingWith(message));
    EXPECT_EQ(IsShown(FindControl(w.Main(), L"TFlatBitColorBtn", L"")), download);
    w.Finish();
}

class WizardTest : public ::testing::Test {
protected:
    TComScope FCom;
    TStandInRegistration FPlayer{BesideTestProgram(L"standin_player_new.dll")};
    TRegistryGuard FRegistry;
    TempDir FDir;
};

} // namespace

// Every page with a licence, every caption and enabled state of the button row, the
// agree/disagree rule, a typed destination that survives unchecking its box, and the
// installation's results.
TEST_F(WizardTest, FullRunWithLicenceIntoTypedFolder) {
    ASSERT_TRUE(FPlayer.Ok());
    fs::path exe = BuildInstaller(FDir, {});
    fs::path dest = FDir.Path() / L"表示先";
    fs::create_directory(dest);

    TWizard w(exe);
    EXPECT_EQ(TextOf(w.Main()), kTitle);
    ASSERT_TRUE(WaitFor([&] { return w.OnWelcome(); }));
    ExpectRow(w, {kNext, true, false, true});
    EXPECT_TRUE(w.MemoStartingWith(
        L"このウィザードを使用して、E2eSaverスクリーンセーバーをコンピュータにインストールできます"));

    w.ClickAndWait(w.Button(kNext), [&] { return w.OnLicence(); });
    ExpectRow(w, {kNext, false, true, true});
    EXPECT_FALSE(IsChecked(w.Radio(kAgree)));
    EXPECT_FALSE(IsChecked(w.Radio(kDisagree)));
    EXPECT_TRUE(w.MemoStartingWith(L"使用許諾契約書")) << "licence text missing";
    // Next follows the choice: agree, disagree, agree again.
    for (const std::wstring* choice : {&kAgree, &kDisagree, &kAgree}) {
        Click(w.Radio(*choice));
        EXPECT_TRUE(WaitFor([&] { return IsEnabled(w.Button(kNext)) == (choice == &kAgree); }));
    }

    w.ClickAndWait(w.Button(kNext), [&] { return w.OnOptions(); });
    ExpectRow(w, {kInstall, true, true, true});
    EXPECT_FALSE(IsEnabled(w.Edit()));
    wchar_t windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(TextOf(w.Edit()), std::wstring(windows, length) + L"\\"); // nothing registered
    EXPECT_FALSE(IsEnabled(w.Button(L"参照(&R)...")));
    EXPECT_TRUE(IsChecked(w.Check(kSetCurrent)));
    HWND edit = w.TypeDestination(dest.wstring());
    Click(w.Check(kChangePath));
    ASSERT_TRUE(WaitFor([&] { return !IsEnabled(edit); }));
    EXPECT_EQ(TextOf(edit), dest.wstring());
    w.SetCheck(kSetCurrent, false); // leave the current screensaver alone

    // Back and forth keeps the agreement.
    w.ClickAndWait(w.Button(kBack), [&] { return w.OnLicence(); });
    EXPECT_TRUE(IsChecked(w.Radio(kAgree)));
    ExpectRow(w, {kNext, true, true, true});
    w.ClickAndWait(w.Button(kNext), [&] { return w.OnOptions(); });
    EXPECT_EQ(TextOf(w.Edit()), dest.wstring());

    const std::wstring before = CurrentScreenSaver();
    ASSERT_TRUE(w.Install());
    ExpectRow(w, {kFinish, true, false, false});
    EXPECT_TRUE(IsShown(w.Check(kShowReadMe)));
    EXPECT_FALSE(IsChecked(w.Check(kOpenDialog)));
    ExpectInstalled(dest);
    EXPECT_EQ(CurrentScreenSaver(), before);
    w.Finish(false); // no text editor in a test run

    // The uninstaller the installer wrote finds its installation record and removes what
    // was installed, the registration and itself.
    ExpectUninstalledBy(Quoted(dest / L"E2eSaverUninst.exe") + L" /S", dest);
    EXPECT_EQ(CurrentScreenSaver(), before);
}

// Without a licence the licence page is skipped both ways. The keys work as in a dialog:
// Enter presses the default Next, Alt+N the button of that mnemonic, Escape Cancel, which
// ends the program. The welcome page shows the payload's picture instead of the designed one.
TEST_F(WizardTest, NoLicenceSkipsTheLicencePageAndTheKeysWork) {
    const COLORREF magenta = RGB(255, 0, 255); // never in the designed picture
    WriteBytes(FDir.Path() / L"left.bmp", OneColourBitmap(magenta));
    TWizard w(BuildInstaller(
        FDir, {.Eula = false, .Extra = L" --left-image " + Quoted(FDir.Path() / L"left.bmp")}));
    ASSERT_TRUE(WaitFor([&] { return w.OnWelcome(); }));
    HWND picture = nullptr;
    for (HWND h : Descendants(w.Main()))
        if (ClassOf(h) == L"TImage" && IsShown(h)) picture = h;
    WaitFor([&] { return ColoursShownBy(picture) == std::set<COLORREF>{magenta}; });
    EXPECT_EQ(ColoursShownBy(picture), std::set<COLORREF>{magenta});
    ASSERT_TRUE(PressKeys(w.Main(), {VK_RETURN}));
    EXPECT_TRUE(WaitFor([&] { return w.OnOptions(); }));
    ExpectRow(w, {kInstall, true, true, true});
    w.ClickAndWait(w.Button(kBack), [&] { return w.OnWelcome(); });
    ExpectRow(w, {kNext, true, false, true});
    ASSERT_TRUE(PressKeys(w.Main(), {VK_MENU, 'N'}));
    EXPECT_TRUE(WaitFor([&] { return w.OnOptions(); }));
    ASSERT_TRUE(PressKeys(w.Main(), {VK_ESCAPE}));
    EXPECT_EQ(w.Proc().Wait(20000), 0u);
    EXPECT_FALSE(Registered());
}

// A destination that does not exist: the message box, nothing written, and the options
// page stays for another try. A forced activation hides the choice and sets the
// screensaver all the same; without a ReadMe the finish page hides its box.
TEST_F(WizardTest, MissingDestinationThenForceSetWithoutReadMe) {
    TWizard w(BuildInstaller(FDir, {.Eula = false, .ReadMe = false, .Extra = L" --force-set"}));
    w.ToOptions();
    EXPECT_FALSE(IsShown(w.Check(kSetCurrent)));
    const fs::path missing = FDir.Path() / L"missing";
    HWND edit = w.TypeDestination(missing.wstring());
    Click(w.Button(kInstall));
    w.Dismiss(
        WaitMessageBox(w.Proc().Id(), L"保存先ディレクトリが存在しません\r\nインストールに失敗しました"));
    EXPECT_TRUE(w.OnOptions());
    ExpectRow(w, {kInstall, true, true, true});
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(Registered());

    SetText(edit, FDir.Path().wstring());
    ASSERT_TRUE(w.Install());
    EXPECT_FALSE(IsShown(w.Check(kShowReadMe)));
    EXPECT_FALSE(fs::exists(FDir.Path() / L"E2eSaver.txt"));
    EXPECT_EQ(CurrentScreenSaver(), ShortPathOf(FDir.Path() / L"E2eSaver.scr"));
    w.Finish();
}

// The wizard's Install starts the machine-wide step elevated. When the step cannot be
// started with administrator rights (here the shell fails to start it because the
// program's folder was renamed, which Wine allows while the program runs, as it fails a
// refused prompt) a box says so and the options page stays. Then exactly one step runs, the wizard sets the
// screensaver itself, and the finish actions start, as the user and in the system directory, the program
// registered machine-wide for ".txt" on the ReadMe and the system's control.exe on the screen saver settings,
// by their canonical name.
TEST_F(WizardTest, StepRefusedThenRunOnceAndTheFinishActionsStartInTheSystemDirectory) {
    const fs::path folder = FDir.Path() / L"inst", moved = FDir.Path() / L"moved",
                   exe = folder / L"setup.exe";
    fs::create_directory(folder);
    ASSERT_TRUE(
        MoveFileW(BuildInstaller(FDir, {.Eula = false, .Extra = L" --no-player"}).c_str(), exe.c_str()));
    const fs::path log = FDir.Path() / L"recorder.log";
    TFinishRecorder recorder(log);
    SetCurrentScreenSaver(L"C:\\other.scr");

    TWizard w(exe, L"/D=" + FDir.Path().wstring());
    TChildWatch steps(w.Proc().Id(), L"setup.exe");
    w.ToOptions();
    EXPECT_EQ(TextOf(w.Edit()), FDir.Path().wstring()); // "/D=" stays
    ASSERT_TRUE(MoveFileW(folder.c_str(), moved.c_str()));
    Click(w.Button(kInstall));
    const HWND box = WaitMessageBox(w.Proc().Id());
    ASSERT_TRUE(box);
    // The message, then the system's reason (the shell could not find the program).
    EXPECT_TRUE(BoxText(box).starts_with(
        L"スクリーンセーバーのインストールには管理者の権限が必要です\r\n"
        L"管理者の権限でインストールを始められなかったため、インストールできませんでした\r\n"))
        << BoxText(box);
    w.Dismiss(box);
    EXPECT_TRUE(w.OnOptions());
    EXPECT_FALSE(fs::exists(FDir.Path() / L"E2eSaver.scr"));
    EXPECT_EQ(CurrentScreenSaver(), L"C:\\other.scr");

    ASSERT_TRUE(MoveFileW(moved.c_str(), folder.c_str()));
    ASSERT_TRUE(w.Install());
    EXPECT_EQ(steps.Stop(), 1u);
    EXPECT_EQ(CurrentScreenSaver(), ShortPathOf(FDir.Path() / L"E2eSaver.scr"));
    ASSERT_TRUE(IsChecked(w.Check(kShowReadMe)));
    w.SetCheck(kOpenDialog, true);
    w.Finish();
    ExpectStartedInTheSystemDirectory(log, 2);
    const std::wstring wide = SystemDirectory();
    const std::string system(wide.begin(), wide.end()); // ASCII here
    const std::vector<std::string> started = LinesOf(log);
    EXPECT_EQ(std::count(started.begin(), started.end(),
                         "\"" + system + "\\control.exe\" desk.cpl,screensaver,@screensaver"),
              1)
        << ::testing::PrintToString(started);
}

// The publisher's pipeline: the uninstaller signed while building, the finished installer
// signed before it goes on the web. Both signatures verify; scrpack sees the installer's;
// the installer reads its container from before the certificate table and writes the
// signed uninstaller exactly as carried (its container found before its own table); the
// quiet uninstall by that program removes everything. Adding to the signed file is refused.
TEST_F(WizardTest, SignedUninstallerAndSignedInstaller) {
    const fs::path signedExe = FDir.Path() / L"signed.exe";
    TempDir work;
    std::string log;
    ASSERT_EQ(BuildSignedInstaller(signedExe, work, log), 0) << log;
    EXPECT_NE(log.find("Signature verification: ok"), std::string::npos) << log;

    const TRunResult verified = RunScrpack({"verify", Arg(signedExe)});
    const std::string& out = verified.Out;
    EXPECT_EQ(verified.ExitCode, 0) << out;
    const std::uintmax_t table =
        fs::file_size(signedExe) - (fs::file_size(work.Path() / L"unsigned.exe") + 7) / 8 * 8;
    EXPECT_NE(out.find("signature: present (certificate table " + std::to_string(table) + " bytes)"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("digest: pass"), std::string::npos) << out;
    const std::vector<std::uint8_t> signedBytes = ReadBytes(signedExe);
    EXPECT_EQ(RunScrpack({"append", Arg(signedExe), "Extra=1"}).ExitCode, 2);
    EXPECT_EQ(ReadBytes(signedExe), signedBytes);

    const fs::path dest = FDir.Path() / L"dest";
    fs::create_directory(dest);
    ASSERT_EQ(RunSilently(signedExe, L"/S /D=" + dest.wstring()), 0u);
    const fs::path uninst = dest / L"E2eSaverUninst.exe";
    EXPECT_EQ(ReadBytes(dest / L"E2eSaver.scr"), ReadBytes(BinFile(L"OrvaneSample.scr")));
    EXPECT_EQ(ReadBytes(uninst), ReadBytes(work.Path() / L"uninst.exe"))
        << "not the verified, signed uninstaller";
    const itemlayout::TContainerPlace place = LocateContainerInFile(uninst);
    EXPECT_EQ(place.Place, itemlayout::TPlace::Found);
    EXPECT_GT(place.Signature.Size, 0);
    EXPECT_EQ(Entry(L"QuietUninstallString"), Quoted(uninst) + L" /S");
    ExpectUninstalledBy(Entry(L"QuietUninstallString"), dest);
}

// A screensaver changed after packing: scrpack finds the digest, and only the digest,
// wrong; the failure page with the invalid data message and no download button, where
// only Next ("exit") works.
TEST_F(WizardTest, ChangedScreenSaverFailsTheDigest) {
    const fs::path exe = WithChangedScreenSaver(BuildInstaller(FDir, {}), FDir.Path() / L"changed.exe");
    const TRunResult verified = RunScrpack({"verify", Arg(exe)});
    const std::string& out = verified.Out;
    EXPECT_EQ(verified.ExitCode, 1) << out;
    EXPECT_NE(out.find("binding: pass"), std::string::npos) << out;
    EXPECT_NE(out.find("digest: FAIL"), std::string::npos) << out;
    ExpectFailurePage(exe, L"不正なデータです", false);
}

// The digest does not cover the screensaver's name: a payload whose name would put files
// outside the chosen folder is invalid data all the same, and nothing is written.
TEST_F(WizardTest, PayloadNameLeavingTheFolderShowsTheFailurePage) {
    const fs::path exe = BuildInstaller(FDir, {});
    ExpectFailurePage(WithItemChanged(exe, exe, "SCRName", SetTo("..\\..\\E2eEscape")), L"不正なデータです",
                      false);
    const fs::path above = FDir.Path().parent_path().parent_path();
    for (const wchar_t* file : {L"E2eEscape.scr", L"E2eEscapeUninst.exe"})
        EXPECT_FALSE(fs::exists(above / file)) << fs::path(file).string();
    // The registry takes ".." as a plain key name.
    EXPECT_EQ(RawRegString(HKEY_LOCAL_MACHINE, kUninstallKey + L"\\..\\..\\E2eEscape", L"UninstallString"),
              kMissing);
}

// A player older than the payload needs: the message names the version and the download
// button is offered.
TEST_F(WizardTest, OldPlayerOffersTheDownload) {
    TWizard w(BuildInstaller(FDir, {.FlashVersion = L"10.1.0.0"}));
    ASSERT_TRUE(WaitFor([&] { return w.OnFailure(); }));
    ExpectRow(w, {kExit, true, false, false});
    EXPECT_TRUE(
        w.MemoStartingWith(L"Flash ActiveX Player が見つからないかバージョンが古いため実行できません\r\n"
                           L"バージョン 10.1.0.0 以降が必要です"));
    const HWND download = FindControl(w.Main(), L"TFlatBitColorBtn", L"");
    EXPECT_TRUE(IsShown(download));
    // What a screen reader gets from the system's button proxy: the caption as the name
    // (the window's text, though the button draws a picture) and the push-button role of
    // an owner-drawn button. (Wine's oleacc gives no object for another process's window,
    // so the proxy itself is not asked here.)
    EXPECT_EQ(TextOf(download), L"Get macromedia FLASH PLAYER");
    EXPECT_EQ(GetWindowLongPtrW(download, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    w.Finish();
}

// A player whose object loads slowly (here: never, while the test holds its gate): the
// welcome page is up meanwhile with Next off, and Cancel ends the run at once.
TEST_F(WizardTest, TheWelcomePageWaitsForASlowPlayer) {
    ASSERT_TRUE(FPlayer.Ok());
    const std::wstring gateName = L"ScrStandInGate" + std::to_wstring(GetCurrentProcessId());
    const UniqueHandle gate(CreateEventW(nullptr, TRUE, FALSE, gateName.c_str()));
    ASSERT_TRUE(gate);
    const ScopedEnv env(L"SCR_STANDIN_GATE", gateName.c_str());
    TWizard w(BuildInstaller(FDir, {}));
    ASSERT_TRUE(WaitFor([&] { return w.WelcomeShown(); }));
    Sleep(200); // past the work done after the first paint: nothing else turns Next on
    EXPECT_FALSE(IsEnabled(w.Button(kNext)));
    w.Cancel();
}

// "/S" into a folder with spaces and double-byte characters: no window, the three files,
// the screensaver made current as the wizard's default does, and the whole entry of the
// list of programs (version and publisher from the screensaver's version record). Its
// quiet uninstall command then leaves nothing behind.
TEST_F(WizardTest, SilentInstallThenQuietUninstall) {
    ASSERT_TRUE(FPlayer.Ok());
    fs::path exe = BuildInstaller(FDir, {});
    fs::path dest = FDir.Path() / L"保存 先 folder";
    fs::create_directory(dest);
    const std::wstring dayBefore = Today();
    const fs::path log = FDir.Path() / L"install log.txt";
    ASSERT_EQ(RunSilently(exe, L"/S /LOG=" + Quoted(log) + L" /D=" + dest.wstring()), 0u);
    const std::wstring dayAfter = Today();
    // The log, written by this process of the user: the elevated step's lines relayed.
    const std::string logText = ReadText(log);
    for (const char* line :
         {"start-up: passed (digest: pass", "step: file ", "E2eSaver.scr: ", " bytes written",
          "step: registry HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion"
          "\\Uninstall\\E2eSaver\\UninstallString = ",
          "step: exit code 0", "user: current screensaver set to ", "outcome: installed, exit code 0"})
        EXPECT_NE(logText.find(line), std::string::npos) << line << "\n" << logText;

    const fs::path scr = dest / L"E2eSaver.scr", txt = dest / L"E2eSaver.txt",
                   uninst = dest / L"E2eSaverUninst.exe";
    ExpectInstalled(dest);
    EXPECT_EQ(CurrentScreenSaver(), ShortPathOf(scr));
    const std::pair<const wchar_t*, std::wstring> values[] = {
        {L"DisplayIcon", scr.wstring()},
        {L"DisplayVersion", L"1.0.0.0"},
        {L"Publisher", L"Orvane"},
        {L"QuietUninstallString", Quoted(uninst) + L" /S"}};
    for (const auto& [name, value] : values) EXPECT_EQ(Entry(name), value) << fs::path(name).string();
    const auto bytes = fs::file_size(scr) + fs::file_size(txt) + fs::file_size(uninst);
    EXPECT_EQ(EntryNumber(L"EstimatedSize"), (bytes + 1023) / 1024);
    EXPECT_EQ(EntryNumber(L"NoModify"), 1u);
    EXPECT_EQ(EntryNumber(L"NoRepair"), 1u);
    const std::wstring date = Entry(L"InstallDate");
    EXPECT_TRUE(date == dayBefore || date == dayAfter) << date;

    // The package manager's manifest of this installer names what it registered (ASCII
    // here), the file's hash and every exit code of an unattended run.
    const fs::path manifest = FDir.Path() / L"manifest";
    const TRunResult winget =
        RunScrpack({"winget", Arg(exe), "--id", "Orvane.E2eSaver", "--url", "https://example.com/setup.exe",
                    "--license", "Freeware", "--description", "A test saver", "-o", Arg(manifest)});
    ASSERT_EQ(winget.ExitCode, 0) << winget.Out << winget.Err;
    const auto ascii = [](const std::wstring& w) { return std::string(w.begin(), w.end()); };
    const std::string versionYaml = ReadText(manifest / L"Orvane.E2eSaver.yaml");
    const std::string installerYaml = ReadText(manifest / L"Orvane.E2eSaver.installer.yaml");
    const std::string registered = ascii(Entry(L"DisplayVersion"));
    EXPECT_NE(versionYaml.find("PackageVersion: \"" + registered + "\"\n"), std::string::npos) << versionYaml;
    EXPECT_NE(installerYaml.find("  DisplayVersion: \"" + registered + "\"\n  ProductCode: \"E2eSaver\"\n"),
              std::string::npos)
        << installerYaml;
    EXPECT_NE(installerYaml.find("  Publisher: \"" + ascii(Entry(L"Publisher")) + "\"\n"), std::string::npos);
    const std::vector<std::uint8_t> exeBytes = ReadBytes(exe);
    const std::string hex =
        hextext::Text<std::string>(Sha256(exeBytes.data(), exeBytes.size()), hextext::TLetters::Upper);
    EXPECT_NE(installerYaml.find("InstallerSha256: \"" + hex + "\"\n"), std::string::npos) << installerYaml;
    for (int code : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 3010})
        EXPECT_NE(installerYaml.find("- InstallerReturnCode: " + std::to_string(code) + "\n"),
                  std::string::npos)
            << code;

    // The quiet uninstall command, as a package manager runs it.
    ExpectUninstalledBy(Entry(L"QuietUninstallString"), dest);
    EXPECT_TRUE(NoCurrentScreenSaver()) << CurrentScreenSaver();
}

// Unattended runs that cannot install: each exit code, and nothing written.
TEST(SilentInstall, FailuresExitWithTheirCodesAndWriteNothing) {
    ASSERT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, kStandInClsidKey)) << "a player is registered";
    TRegistryGuard registry;
    TempDir dir;
    fs::path dest = dir.Path() / L"dest";
    fs::create_directory(dest);
    const std::wstring to = L"/S /D=" + dest.wstring();
    const fs::path needsPlayer = BuildInstaller(dir, {}),
                   native = BuildInstaller(dir, {.Extra = L" --no-player"}, L"native.exe");
    // A log whose name is another name of a file (a hard link: a starter running as an
    // administrator would empty that file).
    const fs::path victim = dir.Path() / L"victim.txt", linkedLog = dir.Path() / L"linked.log";
    WriteBytes(victim, {'k', 'e', 'e', 'p'});
    ASSERT_TRUE(CreateHardLinkW(linkedLog.c_str(), victim.c_str(), nullptr));
    const struct {
        fs::path Exe;
        std::wstring Switches;
        DWORD Code;
    } runs[] = {
        {WithChangedScreenSaver(native, dir.Path() / L"changed.exe"), to, 2},
        {needsPlayer, to, 3},
        {native, L"/S /D=" + (dir.Path() / L"missing folder").wstring(), 4},
        {native, L"/S /X " + to, 1},
        // A log that cannot be written, or another name of a file: a bad command line,
        // before anything is installed, and that file untouched.
        {native, L"/S /LOG=" + (dir.Path() / L"nofolder\\log.txt").wstring() + L" " + to, 1},
        {native, L"/S /LOG=" + linkedLog.wstring() + L" " + to, 1},
    };
    for (const auto& run : runs)
        EXPECT_EQ(RunSilently(run.Exe, run.Switches), run.Code) << fs::path(run.Switches).string();
    // A relative folder (which the current folder would resolve) and a "¥" that best fit
    // would make a separator.
    for (const std::wstring& bad : {std::wstring(L"dest"), dest.wstring() + L"\u00A5..\u00A5dest2"}) {
        Process run(Quoted(native) + L" /S /D=" + bad, dir.Path().c_str());
        EXPECT_EQ(run.Wait(60000), 4u) << bad.size();
    }
    EXPECT_FALSE(fs::exists(dir.Path() / L"dest2"));
    // A destination reached through a link (a folder a process of the user can point
    // anywhere while the step works): refused, nothing written where it led.
    const fs::path linked = dir.Path() / L"linked", target = dir.Path() / L"target";
    fs::create_directory(target);
    if (directorylinks::MakeDirectoryLink(linked, target)) {
        EXPECT_EQ(RunSilently(native, L"/S /D=" + linked.wstring()), 4u);
        EXPECT_TRUE(IsEmptyFolder(target));
        directorylinks::RemoveDirectoryLink(linked);
    } else {
        ADD_FAILURE() << "no directory link could be made here";
    }
    EXPECT_EQ(ReadBytes(victim), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_TRUE(IsEmptyFolder(dest));
    EXPECT_FALSE(fs::exists(dir.Path() / L"missing folder"));
    EXPECT_FALSE(Registered());
}

// A native screensaver's installer (no player needed) in a fresh folder, with an empty
// destination "dest" beside it; the registration and the current screensaver are restored.
class NativeInstallerTest : public ::testing::Test {
protected:
    NativeInstallerTest() : exe(BuildInstaller(dir, pack)), dest(dir.Path() / L"dest") {
        fs::create_directory(dest);
    }
    TRegistryGuard registry;
    TempDir dir;
    TPack pack{.Extra = L" --no-player"};
    fs::path exe, dest;
};
class Elevation : public NativeInstallerTest {};
class Reinstall : public NativeInstallerTest {};
class Policies : public NativeInstallerTest {};

// The machine-wide step runs in a process of its own. Started alone with its command line
// it writes the files and the HKLM entry and leaves the user's settings alone; with
// another image's binding it writes nothing. "/S" starts exactly one such step of the
// same program and sets the current screensaver itself after the step succeeded, and not
// after it failed.
TEST_F(Elevation, TheStepWritesMachineWideAndTheStarterSetsTheScreenSaver) {
    const std::wstring binding = BindingOf(exe);
    ASSERT_EQ(binding.size(), 64u);
    SetCurrentScreenSaver(L"C:\\other.scr");

    EXPECT_EQ(RunSilently(exe, L"/STEP=" + std::wstring(64, L'f') + L" /D=" + dest.wstring()), 2u);
    EXPECT_TRUE(IsEmptyFolder(dest));
    EXPECT_EQ(RunSilently(exe, L"/STEP=" + binding + L" /D=" + dest.wstring()), 0u);
    ExpectInstalled(dest);
    EXPECT_EQ(CurrentScreenSaver(), L"C:\\other.scr");

    Clear(dest);
    std::size_t steps = 0;
    EXPECT_EQ(RunWatchingChildren(Quoted(exe) + L" /S /D=" + dest.wstring(), L"setup.exe", steps), 0u);
    EXPECT_EQ(steps, 1u);
    EXPECT_EQ(CurrentScreenSaver(), ShortPathOf(dest / L"E2eSaver.scr"));

    // A step that fails (the screensaver's file cannot be replaced): exit 5, no screensaver set.
    SetCurrentScreenSaver(L"C:\\other.scr");
    ASSERT_TRUE(SetFileAttributesW((dest / L"E2eSaver.scr").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(RunSilently(exe, L"/S /D=" + dest.wstring()), 5u);
    SetFileAttributesW((dest / L"E2eSaver.scr").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(CurrentScreenSaver(), L"C:\\other.scr");
}

// A step that fails hands its reason back: the wizard's failure page names the file the
// step could not write, and the current screensaver is not set.
TEST_F(Elevation, AFailedStepShowsItsReasonOnTheFailurePage) {
    const fs::path scr = dest / L"E2eSaver.scr";
    WriteBytes(scr, {'o', 'l', 'd'});
    ASSERT_TRUE(SetFileAttributesW(scr.c_str(), FILE_ATTRIBUTE_READONLY));
    SetCurrentScreenSaver(L"C:\\other.scr");
    TWizard w(exe, L"/D=" + dest.wstring());
    w.ToOptions();
    EXPECT_FALSE(w.Install());
    EXPECT_TRUE(w.MemoStartingWith(L"次のファイルを書き込めませんでした\r\n" + scr.wstring() + L"\r\n"));
    EXPECT_EQ(CurrentScreenSaver(), L"C:\\other.scr");
    w.Finish();
    SetFileAttributesW(scr.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The uninstaller, too, removes machine-wide only in an elevated run of its own: started
// alone, that run removes the files and the entry and leaves the user's setting alone;
// refused, nothing is removed; a quiet uninstall starts exactly one such run and resets
// the user's current screensaver itself afterwards.
TEST_F(Elevation, TheUninstallerRemovesElevatedAndResetsAsTheUser) {
    uninstallertraces::HelperCleanup helpers;
    const fs::path uninst = dest / L"E2eSaverUninst.exe";

    ASSERT_EQ(RunSilently(exe, L"/S /D=" + dest.wstring()), 0u);
    const std::wstring current = CurrentScreenSaver();
    ASSERT_EQ(current, ShortPathOf(dest / L"E2eSaver.scr"));
    ExpectUninstalledBy(Quoted(uninst) + L" /_remove /S", dest);
    EXPECT_EQ(CurrentScreenSaver(), current);

    ASSERT_EQ(RunSilently(exe, L"/S /D=" + dest.wstring()), 0u);
    // The removal cannot be started with administrator rights (here: its file is gone when
    // the question is answered, as the shell fails a refused prompt): the box says so,
    // nothing is removed and the setting stays.
    {
        const fs::path moved = dir.Path() / L"moved.exe";
        Process run(Quoted(uninst));
        HWND box = WaitMessageBox(run.Id());
        ASSERT_TRUE(box);
        ASSERT_TRUE(MoveFileW(uninst.c_str(), moved.c_str()));
        AnswerMessageBox(box, IDYES);
        box = WaitMessageBox(run.Id(), L"スクリーンセーバーの削除には管理者の権限が必要です。\n"
                                       L"管理者の権限で削除を始められなかったため、何も削除していません。");
        ASSERT_TRUE(box);
        AnswerMessageBox(box, IDOK);
        EXPECT_EQ(run.Wait(30000), 5u);
        ASSERT_TRUE(MoveFileW(moved.c_str(), uninst.c_str()));
    }
    EXPECT_TRUE(fs::exists(dest / L"E2eSaver.scr"));
    EXPECT_TRUE(Registered());
    EXPECT_EQ(CurrentScreenSaver(), current);
    ExpectUninstalledBy(Quoted(uninst) + L" /S", dest, 1);
    EXPECT_TRUE(NoCurrentScreenSaver()) << CurrentScreenSaver();
}

// The step is this very program file or nothing. While the wizard runs, its file cannot be
// renamed or replaced. Its folder can be under Wine (Windows refuses to rename a folder
// that holds an open file): a program put where the installer was is then started in its
// place, and its report, forged with the step's command line from its own process, is
// taken for nothing: the wizard shows the failure page, no file or entry is written, and
// the log has no line of it.
TEST_F(Elevation, OnlyThisProgramFileIsTheStep) {
    const fs::path folder = dir.Path() / L"inst", installer = folder / L"setup.exe";
    fs::create_directory(folder);
    ASSERT_TRUE(MoveFileW(exe.c_str(), installer.c_str()));
    const fs::path log = dir.Path() / L"forged.log";
    TWizard w(installer, L"/LOG=" + log.wstring() + L" /D=" + dest.wstring());
    w.ToOptions();
    EXPECT_FALSE(MoveFileW(installer.c_str(), (dir.Path() / L"moved.exe").c_str()))
        << "the running file moved";
    EXPECT_FALSE(CopyFileW(BinFile(L"step_forger.exe").c_str(), installer.c_str(), FALSE))
        << "the running file replaced";
    if (!MoveFileW(folder.c_str(), (dir.Path() / L"inst2").c_str()))
        GTEST_SKIP() << "the folder cannot move either";
    fs::create_directory(folder);
    ASSERT_TRUE(CopyFileW(BinFile(L"step_forger.exe").c_str(), installer.c_str(), FALSE));
    EXPECT_FALSE(w.Install());
    EXPECT_TRUE(
        w.MemoStartingWith(L"管理者の権限で実行した処理から、インストールの結果の報告がありませんでした"));
    w.Finish();
    EXPECT_TRUE(IsEmptyFolder(dest));
    EXPECT_FALSE(Registered());
    const std::string logText = ReadText(log);
    for (const char* line : {"step: the program started is not this installer's file",
                             "outcome: the step did not confirm its result, exit code 13"})
        EXPECT_NE(logText.find(line), std::string::npos) << logText;
    EXPECT_EQ(logText.find("forged.scr"), std::string::npos) << logText;
}

// The container is bound to the image scrpack wrote it for. An installer whose file is
// renamed and replaced by another installer after its process was created reads that
// other container and refuses it; so is a container changed in one stored byte after
// binding, although its digest still matches (scrpack's view of both: tests/tools). The
// same installer unswapped installs.
TEST_F(Elevation, TheContainerIsBoundToTheImage) {
    TPack other = pack;
    other.Extra += L" --force-set";
    const fs::path planted = BuildInstaller(dir, other, L"planted.exe");
    const fs::path moved = dir.Path() / L"moved.exe";
    {
        Process run(Quoted(exe) + L" /S /D=" + dest.wstring(), nullptr, true);
        ASSERT_TRUE(run.Started());
        ASSERT_TRUE(MoveFileW(exe.c_str(), moved.c_str()));
        ASSERT_TRUE(CopyFileW(planted.c_str(), exe.c_str(), FALSE));
        run.Resume();
        EXPECT_EQ(run.Wait(60000), 2u);
    }
    EXPECT_TRUE(IsEmptyFolder(dest));
    EXPECT_FALSE(Registered());

    std::vector<std::uint8_t> bytes = ReadBytes(moved);
    const std::size_t forceSet = StoredItemOffset(bytes, "InstallerForceSet");
    ASSERT_NE(forceSet, 0u);
    ASSERT_EQ(bytes[forceSet], 0);
    bytes[forceSet] = 1;
    const fs::path changed = dir.Path() / L"changed.exe";
    WriteBytes(changed, bytes);
    EXPECT_EQ(RunSilently(changed, L"/S /D=" + dest.wstring()), 2u);
    EXPECT_TRUE(IsEmptyFolder(dest));

    EXPECT_EQ(RunSilently(moved, L"/S /D=" + dest.wstring()), 0u);
    EXPECT_TRUE(fs::exists(dest / L"E2eSaver.scr"));
}

// Reinstalls and neighbours. The same screensaver again into its folder replaces the
// files and writes its entry afresh; "/S" without "/D=" and the wizard's options page take
// the registered folder; another folder is refused while it is installed (8); a later build
// (another GUID and version) upgrades it. A key of that name that another product owns is
// refused (7) and left as it was. Without a ReadMe, a <name>.txt of somebody else's
// survives the installation and its uninstall.
TEST_F(Reinstall, OneOwnerPerEntryAndTheRegisteredFolder) {
    TPack later = pack;
    later.ReadMe = false;
    later.Extra += L" --version 2.0";
    const fs::path upgrade = BuildInstaller(dir, later, L"upgrade.exe");
    const fs::path other = dir.Path() / L"other";
    fs::create_directory(other);

    ASSERT_EQ(RunSilently(exe, L"/S /D=" + dest.wstring()), 0u);
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), L"Stale", REG_SZ, L"x", 4);
    WriteBytes(dest / L"E2eSaver.scr", {'o', 'l', 'd'});
    EXPECT_EQ(RunSilently(exe, L"/S"), 0u); // the registered folder
    EXPECT_EQ(ReadBytes(dest / L"E2eSaver.scr"), ReadBytes(BinFile(L"OrvaneSample.scr")));
    EXPECT_EQ(Entry(L"Stale"), kMissing);
    EXPECT_EQ(RunSilently(exe, L"/S /D=" + other.wstring()), 8u);
    EXPECT_TRUE(IsEmptyFolder(other));
    EXPECT_EQ(Entry(L"InstallLocation"), dest.wstring() + L"\\");
    {
        TWizard w(exe);
        w.ToOptions();
        EXPECT_EQ(TextOf(w.Edit()), dest.wstring());
        w.Cancel();
    }

    // The upgrade carries no ReadMe: the earlier one stays the installation's own.
    ASSERT_EQ(RunSilently(upgrade, L"/S"), 0u);
    EXPECT_EQ(Entry(L"DisplayVersion"), L"2.0");
    EXPECT_EQ(EntryNumber(L"ReadMeInstalled"), 1u);
    ExpectUninstalledBy(Entry(L"QuietUninstallString"), dest);

    // Somebody else's ReadMe of the same name beside an installation without one.
    WriteBytes(dest / L"E2eSaver.txt", {'m', 'i', 'n', 'e'});
    ASSERT_EQ(RunSilently(upgrade, L"/S /D=" + dest.wstring()), 0u);
    EXPECT_EQ(EntryNumber(L"ReadMeInstalled"), 0u);
    uninstallertraces::HelperCleanup helpers;
    EXPECT_EQ(RunAndWait(Entry(L"QuietUninstallString")), 0u);
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(dest / L"E2eSaver.scr"); }));
    EXPECT_EQ(ReadBytes(dest / L"E2eSaver.txt"), (std::vector<std::uint8_t>{'m', 'i', 'n', 'e'}));
    fs::remove(dest / L"E2eSaver.txt");

    // Another product's key of the same name.
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), L"UninstallString", REG_SZ,
                    L"\"C:\\v\\u.exe\"", 26);
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), L"VendorData", REG_SZ, L"keep", 10);
    EXPECT_EQ(RunSilently(exe, L"/S /D=" + dest.wstring()), 7u);
    EXPECT_TRUE(IsEmptyFolder(dest));
    EXPECT_EQ(Entry(L"UninstallString"), L"\"C:\\v\\u.exe\"");
    EXPECT_EQ(Entry(L"VendorData"), L"keep");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD values = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(key);
    EXPECT_EQ(values, 2u);
}

// The user's policies on the screen saver, each row's value set alone in HKCU and removed
// afterwards. One that runs another screensaver, or none at all: the options page unticks
// and disables "set as the current screensaver" with a note saying why, and "/S" installs
// (exit 0), logs the reason and leaves the current screensaver as it was. One that names
// this very screensaver (another name of the same path) changes nothing. A payload that
// always sets its screensaver (the box hidden) yields to the policy too. One that hides
// the screen saver settings: the finish page does not offer to open them. Where they are
// offered and control.exe cannot be started, the Settings page is opened instead.
TEST_F(Policies, TheUsersPoliciesDecideWhatTheWizardOffers) {
    const fs::path recorded = dir.Path() / L"recorder.log";
    TFinishRecorder recorder(recorded, false);
    const std::wstring desktop = L"Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop",
                       systemPolicies = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    const std::wstring forcesOther = L"ポリシーで別のスクリーンセーバーが指定されているため、設定できません",
                       saversOff = L"ポリシーでスクリーンセーバーが無効にされているため、設定できません";
    const fs::path scr = dest / L"E2eSaver.scr";
    TPack forcing = pack;
    forcing.Extra += L" --force-set";
    const fs::path forced = BuildInstaller(dir, forcing, L"forced.exe");
    const struct {
        const std::wstring& Key;
        const wchar_t* Name;
        std::wstring Text;        // REG_SZ data; empty: REG_DWORD 1
        bool ForceSet;            // the installer built with --force-set
        const std::wstring* Note; // the options page's note; null: the choice stays the user's
        std::string Logged;
        bool SettingsOffered;
    } rows[] = {
        {desktop, L"SCRNSAVE.EXE", L"\"C:\\Saver\\Other.scr\"", false, &forcesOther,
         "user: current screensaver not set, a policy runs another screensaver: C:\\Saver\\Other.scr\r\n",
         true},
        {desktop, L"ScreenSaveActive", L"0", false, &saversOff,
         "user: current screensaver not set, a policy turns screensavers off\r\n", true},
        {desktop, L"ScreenSaveActive", L"0", true, &saversOff,
         "user: current screensaver not set, a policy turns screensavers off\r\n", true},
        {desktop, L"SCRNSAVE.EXE", ShortPathOf(dest) + L"\\E2ESAVER.SCR", false, nullptr,
         "user: current screensaver set to ", true},
        {systemPolicies, L"NoDispScrSavPage", L"", false, nullptr, "user: current screensaver set to ",
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(fs::path(row.Name).string() + " " + std::to_string(&row - rows));
        SetCurrentScreenSaver(L"C:\\other.scr");
        const DWORD one = 1;
        ScopedRegValue policy(HKEY_CURRENT_USER, row.Key, row.Name);
        EXPECT_EQ(RegSetKeyValueW(
                      HKEY_CURRENT_USER, row.Key.c_str(), row.Name, row.Text.empty() ? REG_DWORD : REG_SZ,
                      row.Text.empty() ? static_cast<const void*>(&one) : row.Text.c_str(),
                      row.Text.empty() ? sizeof one : static_cast<DWORD>((row.Text.size() + 1) * 2)),
                  ERROR_SUCCESS);
        const fs::path wizardLog = dir.Path() / (L"wizard" + std::to_wstring(&row - rows) + L".log");
        {
            TWizard w(row.ForceSet ? forced : exe, L"/LOG=" + wizardLog.wstring() + L" /D=" + dest.wstring());
            w.ToOptions();
            EXPECT_EQ(IsShown(w.Check(kSetCurrent)), !row.ForceSet);
            EXPECT_EQ(IsEnabled(w.Check(kSetCurrent)), row.Note == nullptr);
            EXPECT_EQ(IsChecked(w.Check(kSetCurrent)), row.Note == nullptr);
            for (const std::wstring* note : {&forcesOther, &saversOff})
                EXPECT_EQ(IsShown(FindControl(w.Main(), L"TLabel", *note)), note == row.Note);
            ASSERT_TRUE(w.Install());
            EXPECT_EQ(IsEnabled(w.Check(kOpenDialog)), row.SettingsOffered);
            EXPECT_FALSE(IsChecked(w.Check(kOpenDialog)));
            if (row.SettingsOffered) w.SetCheck(kOpenDialog, true);
            w.Finish(false);
        }
        EXPECT_EQ(CurrentScreenSaver(), row.Note ? L"C:\\other.scr" : ShortPathOf(scr));
        EXPECT_EQ(ReadText(wizardLog).find(
                      "user: screen saver settings opened: ms-settings:lockscreen (control.exe: "
                      "system error ") != std::string::npos,
                  row.SettingsOffered)
            << ReadText(wizardLog);

        SetCurrentScreenSaver(L"C:\\other.scr");
        const fs::path log = dir.Path() / (L"policy" + std::to_wstring(&row - rows) + L".log");
        EXPECT_EQ(
            RunSilently(row.ForceSet ? forced : exe, L"/S /LOG=" + log.wstring() + L" /D=" + dest.wstring()),
            0u);
        const std::string logText = ReadText(log);
        EXPECT_NE(logText.find(row.Logged), std::string::npos) << logText;
        EXPECT_EQ(CurrentScreenSaver(), row.Note ? L"C:\\other.scr" : ShortPathOf(scr));
    }
    // The Settings page once for each row that offered it, started in the system directory.
    ExpectStartedInTheSystemDirectory(recorded, 4);
    for (const std::string& line : LinesOf(recorded))
        EXPECT_TRUE(line.ends_with(" ms-settings:lockscreen")) << line;
}

// Version 1 of the sample installed, and what an upgrade to version 2 (a larger screensaver,
// a ReadMe of 400 KB) must leave: version 2 whole, or version 1 byte for byte with its
// entry value for value, and in either case no other file of ours in the folder.
class Upgrade : public NativeInstallerTest {
protected:
    Upgrade() {
        std::vector<std::uint8_t> scr = ReadBytes(BinFile(L"OrvaneSample.scr"));
        std::vector<std::uint8_t> readMe(400 * 1024, 'r');
        for (std::size_t i = 0; i < 20 * 1024; ++i) scr.push_back(static_cast<std::uint8_t>(i * 7919 >> 3));
        WriteBytes(dir.Path() / L"v2.scr", scr);
        WriteBytes(dir.Path() / L"v2.txt", readMe);
        TPack v2 = pack;
        v2.Scr = dir.Path() / L"v2.scr";
        v2.ReadMeFile = dir.Path() / L"v2.txt";
        v2.Extra += L" --version 2.0";
        version2 = BuildInstaller(dir, v2, L"setup2.exe");
    }
    void InstallVersion1(const fs::path& folder) {
        Clear(folder);
        ASSERT_EQ(RunSilently(exe, L"/S /D=" + folder.wstring()), 0u);
        v1Files = Snapshot(folder);
        v1Entry = EntryValues();
    }
    // The files of folder, by name, with their bytes.
    static std::map<std::wstring, std::vector<std::uint8_t>> Snapshot(const fs::path& folder) {
        std::map<std::wstring, std::vector<std::uint8_t>> files;
        for (const auto& f : fs::directory_iterator(folder))
            files[f.path().filename().wstring()] = ReadBytes(f.path());
        return files;
    }
    // Every value of the uninstall key: name, type and data.
    static std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> EntryValues() {
        std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> values;
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return values;
        wchar_t name[256];
        BYTE data[4096];
        for (DWORD i = 0;; ++i) {
            DWORD nameLength = 256, type = 0, size = sizeof data;
            if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
            values[std::wstring(name, nameLength)] = {type, std::vector<BYTE>(data, data + size)};
        }
        RegCloseKey(key);
        return values;
    }
    // Version 2 whole in folder, its three files only (and what is named in also).
    void ExpectVersion2(const fs::path& folder, const std::set<std::wstring>& also = {}) {
        EXPECT_EQ(ReadBytes(folder / L"E2eSaver.scr"), ReadBytes(dir.Path() / L"v2.scr"));
        EXPECT_EQ(ReadBytes(folder / L"E2eSaver.txt"), ReadBytes(dir.Path() / L"v2.txt"));
        EXPECT_EQ(Entry(L"DisplayVersion"), L"2.0");
        std::set<std::wstring> names;
        for (const auto& f : fs::directory_iterator(folder))
            if (!also.count(f.path().filename().wstring())) names.insert(f.path().filename().wstring());
        EXPECT_EQ(names, (std::set<std::wstring>{L"E2eSaver.scr", L"E2eSaver.txt", L"E2eSaverUninst.exe"}));
    }
    void ExpectVersion1(const fs::path& folder, const std::set<std::wstring>& also = {}) {
        auto files = Snapshot(folder);
        for (const std::wstring& name : also) files.erase(name);
        EXPECT_TRUE(files == v1Files) << "version 1's files are not as they were";
        EXPECT_TRUE(EntryValues() == v1Entry) << "version 1's entry is not as it was";
    }

    fs::path version2;
    std::map<std::wstring, std::vector<std::uint8_t>> v1Files;
    std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> v1Entry;
};

// A full disk at each file. Version 1 on the test run's small drive Q:, then version 2 over
// it with the free space cut (a filler file) to where its screensaver, its ReadMe, its
// uninstaller no longer fits, and to where all fit. A fresh install on a full drive leaves
// nothing, and the log names the file and the cause.
TEST_F(Upgrade, AFullDiskAtEachFileLeavesOneWholeVersion) {
    if (GetDriveTypeW(L"Q:\\") == DRIVE_NO_ROOT_DIR) GTEST_SKIP() << "no small drive Q: in this run";
    // A folder of the drive: its root is no folder to the runtime's directory listing.
    const fs::path q = L"Q:\\dest", filler = L"Q:\\dest\\filler";
    fs::create_directories(q);
    const auto freeBytes = [] {
        ULARGE_INTEGER available{};
        GetDiskFreeSpaceExW(L"Q:\\", &available, nullptr, nullptr);
        return available.QuadPart;
    };
    // Leaves bytes free on Q: (in the drive's 4 KiB pages).
    const auto fillTo = [&](std::uint64_t bytes) {
        fs::remove(filler);
        const std::uint64_t now = freeBytes();
        ASSERT_GE(now, bytes);
        WriteBytes(filler, std::vector<std::uint8_t>(static_cast<std::size_t>(now - bytes), 'f'));
    };
    const auto pages = [](std::uint64_t bytes) { return (bytes + 4095) / 4096 * 4096; };

    Clear(q);
    fillTo(0);
    const fs::path log = dir.Path() / L"full.log";
    EXPECT_EQ(RunSilently(exe, L"/S /LOG=" + log.wstring() + L" /D=" + q.wstring()), 9u);
    const std::string logText = ReadText(log);
    EXPECT_NE(logText.find("file Q:\\dest\\E2eSaver.scr: FAILED, disk full (system error 112"),
              std::string::npos)
        << logText;
    EXPECT_EQ(Snapshot(q).size(), 1u) << "left on the full disk";
    EXPECT_FALSE(Registered());
    fs::remove(filler);

    const std::uint64_t scr = pages(fs::file_size(dir.Path() / L"v2.scr")),
                        readMe = pages(fs::file_size(dir.Path() / L"v2.txt"));
    const struct {
        std::uint64_t free;
        DWORD exit;
    } rows[] = {
        {scr / 2, 9}, {scr + readMe / 2, 9}, {scr + readMe + 8192, 9}, {scr + readMe + 256 * 1024, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.free);
        fs::remove(filler);
        InstallVersion1(q);
        fillTo(row.free);
        EXPECT_EQ(RunSilently(version2, L"/S /D=" + q.wstring()), row.exit);
        if (row.exit == 0)
            ExpectVersion2(q, {L"filler"});
        else
            ExpectVersion1(q, {L"filler"});
    }
    fs::remove(filler);
    Clear(q);
    fs::remove(q);
}

// A file in use. Held open without delete sharing, the screensaver cannot be moved aside:
// the upgrade fails with the in-use code and puts everything back, and says so. Mapped as a
// running program's image (as the settings dialog's preview holds it), it can: the wizard's
// upgrade completes, its finish page says that a restart removes the earlier file, which
// is scheduled for that; "/S" exits with 3010 the same way. The next run removes it.
TEST_F(Upgrade, AScreenSaverInUse) {
    const fs::path scr = dest / L"E2eSaver.scr";
    InstallVersion1(dest);
    {
        UniqueHandle held(
            CreateFileW(scr.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        const fs::path log = dir.Path() / L"in-use.log";
        EXPECT_EQ(RunSilently(version2, L"/S /LOG=" + log.wstring() + L" /D=" + dest.wstring()), 10u);
        const std::string logText = ReadText(log);
        EXPECT_NE(logText.find("undone: the folder and the uninstall entry are as they were"),
                  std::string::npos)
            << logText;
    }
    ExpectVersion1(dest);

    std::wstring aside;
    {
        Process preview(Quoted(scr) + L" /p 0", nullptr, true);
        ASSERT_TRUE(preview.Started());
        TWizard w(version2, L"/D=" + dest.wstring());
        w.ToOptions();
        w.Install();
        EXPECT_TRUE(w.MemoStartingWith(
            L"以前のバージョンのファイルの一部は使用中のため、コンピューターの再起動後に削除されます"));
        for (const auto& f : fs::directory_iterator(dest))
            if (f.path().filename().wstring().starts_with(L"E2eSaver.scr.~"))
                aside = f.path().filename().wstring();
        ASSERT_FALSE(aside.empty()) << "the earlier screensaver was not moved aside";
        ExpectVersion2(dest, {aside});
        EXPECT_TRUE(uninstallertraces::DeletionPending((dest / aside).wstring()));
    }
    EXPECT_EQ(RunSilently(version2, L"/S /D=" + dest.wstring()), 0u);
    ExpectVersion2(dest);
    {
        Process preview(Quoted(scr) + L" /p 0", nullptr, true);
        EXPECT_EQ(RunSilently(exe, L"/S /D=" + dest.wstring()), 3010u);
    }
    uninstallertraces::ForgetPendingUnder(dir.Path().wstring());
}

// What a run that died leaves is finished by the next run. Left by hand as a run dies while
// moving files in (the screensaver swapped, the ReadMe still staged): the next run puts the
// earlier files back before its own change. Then the step itself ended (as power loss or
// Task Manager end it) at points of a large upgrade, each seen as it happens (a staged file,
// the pending mark, an earlier file moved aside, the new entry), and run again: version 2
// whole, and no file of the dead run left.
TEST_F(Upgrade, WhatADeadRunLeftIsFinishedByTheNextRun) {
    InstallVersion1(dest);
    const std::wstring id = L"0123456789abcdef0123456789abcdef";
    const fs::path scr = dest / L"E2eSaver.scr";
    ASSERT_TRUE(MoveFileW(scr.c_str(), (dest / (L"E2eSaver.scr.~" + id + L".old")).c_str()));
    WriteBytes(scr, ReadBytes(dir.Path() / L"v2.scr"));
    WriteBytes(dest / (L"E2eSaver.txt.~" + id + L".tmp"), ReadBytes(dir.Path() / L"v2.txt"));
    WriteBytes(dest / (L"E2eSaver.~" + id + L".pending"), {});
    WriteBytes(dest / (L"Other.scr.~" + id + L".old"), {'k', 'e', 'e', 'p'}); // not of this installation
    const fs::path log = dir.Path() / L"recovery.log";
    EXPECT_EQ(RunSilently(version2, L"/S /LOG=" + log.wstring() + L" /D=" + dest.wstring()), 0u);
    const std::string logText = ReadText(log);
    EXPECT_NE(
        logText.find("recovery: change 0123456789abcdef0123456789abcdef had not put its files in place: the "
                     "earlier files are back"),
        std::string::npos)
        << logText;
    ExpectVersion2(dest, {L"Other.scr.~" + id + L".old"});
    fs::remove(dest / (L"Other.scr.~" + id + L".old"));

    // A screensaver of 24 MiB that does not compress: the step takes a while to write it.
    std::vector<std::uint8_t> big = ReadBytes(BinFile(L"OrvaneSample.scr"));
    std::uint32_t x = 2463534242u;
    for (std::size_t i = 0; i < 24u << 20; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        big.push_back(static_cast<std::uint8_t>(x));
    }
    WriteBytes(dir.Path() / L"v2.scr", big);
    TPack v2 = pack;
    v2.Scr = dir.Path() / L"v2.scr";
    v2.ReadMeFile = dir.Path() / L"v2.txt";
    v2.Extra += L" --version 2.0";
    const fs::path large = BuildInstaller(dir, v2, L"large.exe");
    const std::wstring step =
        L"\"" + large.wstring() + L"\" /STEP=" + BindingOf(large) + L" /D=" + dest.wstring();
    const auto named = [&](const std::wstring& start, const std::wstring& end) {
        for (const auto& f : fs::directory_iterator(dest)) {
            const std::wstring name = f.path().filename().wstring();
            if (name.starts_with(start) && name.ends_with(end)) return true;
        }
        return false;
    };
    const std::function<bool()> points[] = {
        [&] { return named(L"E2eSaver", L".tmp"); },        [&] { return named(L"E2eSaver", L".pending"); },
        [&] { return named(L"E2eSaver.scr.~", L".old"); },  [&] { return named(L"E2eSaver.txt.~", L".old"); },
        [&] { return Entry(L"DisplayVersion") == L"2.0"; },
    };
    for (std::size_t point = 0; point < std::size(points); ++point) {
        SCOPED_TRACE(point);
        InstallVersion1(dest);
        {
            Process dying(step);
            // Looked for as fast as this thread can: the later points last milliseconds.
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!points[point]() && WaitForSingleObject(dying.Handle(), 0) == WAIT_TIMEOUT &&
                   std::chrono::steady_clock::now() < end) {
            }
            TerminateProcess(dying.Handle(), 1);
            dying.Wait(10000);
        }
        EXPECT_EQ(RunSilently(large, L"/S /D=" + dest.wstring()), 0u);
        ExpectVersion2(dest);
    }
}

// For the current user alone: "/S /CURRENTUSER" installs without starting a second
// (elevated) process, into %LOCALAPPDATA%\Programs\<name>, registers under HKCU with the
// same values and sets the screensaver; the entry's quiet uninstall removes it all, again
// without a second run of the uninstaller. The wizard's "for me only" does the same from
// the options page (its default folder follows the choice). Installed for one scope, the
// other scope's install is refused naming the folder, and nothing is written.
class PerUser : public NativeInstallerTest {
protected:
    PerUser() { Clean(); }
    ~PerUser() override { Clean(); }
    void Clean() {
        RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey.c_str());
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    static fs::path LocalAppData() {
        wchar_t path[MAX_PATH] = {};
        SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, path);
        return path;
    }
    const fs::path folder = LocalAppData() / L"Programs" / L"E2eSaver";
};

TEST_F(PerUser, ForMeOnlyNeedsNoSecondProcessAndIsRefusedForEveryone) {
    SetCurrentScreenSaver(L"C:\\other.scr");
    std::size_t steps = 0;
    EXPECT_EQ(RunWatchingChildren(Quoted(exe) + L" /S /CURRENTUSER", L"setup.exe", steps), 0u);
    EXPECT_EQ(steps, 0u);
    ExpectInstalled(folder, HKEY_CURRENT_USER);
    const fs::path uninst = folder / L"E2eSaverUninst.exe";
    EXPECT_FALSE(Registered());
    EXPECT_EQ(CurrentScreenSaver(), ShortPathOf(folder / L"E2eSaver.scr"));

    // For everyone while it is installed for one user: refused, naming the folder.
    EXPECT_EQ(RunSilently(exe, L"/S /ALLUSERS /D=" + dest.wstring()), 8u);
    EXPECT_TRUE(IsEmptyFolder(dest));
    EXPECT_FALSE(Registered());

    uninstallertraces::HelperCleanup helpers;
    EXPECT_EQ(RunWatchingChildren(Entry(L"QuietUninstallString", HKEY_CURRENT_USER), L"E2eSaverUninst.exe",
                                  steps, 30000),
              0u);
    EXPECT_EQ(steps, 0u);
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(folder / L"E2eSaver.scr") && !fs::exists(uninst); }));
    EXPECT_FALSE(Registered(HKEY_CURRENT_USER));
    EXPECT_TRUE(NoCurrentScreenSaver()) << CurrentScreenSaver();

    // The wizard's "for me only": the default folder follows the choice, Install starts no
    // second process. Then for one user while it is installed for everyone: refused.
    {
        TWizard w(exe);
        TChildWatch wizardSteps(w.Proc().Id(), L"setup.exe");
        w.ToOptions();
        Click(w.Radio(L"現在のユーザー用にだけインストールする (管理者の権限は不要)(&M)"));
        ASSERT_TRUE(WaitFor([&] { return TextOf(w.Edit()) == folder.wstring(); }));
        EXPECT_TRUE(w.Install());
        EXPECT_EQ(wizardSteps.Stop(), 0u);
        EXPECT_TRUE(fs::exists(folder / L"E2eSaver.scr"));
        EXPECT_TRUE(Registered(HKEY_CURRENT_USER));
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey.c_str());
    ASSERT_EQ(RunSilently(exe, L"/S /D=" + dest.wstring()), 0u);
    EXPECT_EQ(RunSilently(exe, L"/S /CURRENTUSER"), 8u);
    EXPECT_FALSE(Registered(HKEY_CURRENT_USER));
}

// A screensaver that does not need the player, with no player registered: the wizard
// starts on its welcome page and installs; "/S" installs too. The entry shows the
// version and publisher given to scrpack.
TEST(SilentInstall, NoPlayerNeededInstallsWithoutAPlayer) {
    ASSERT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, kStandInClsidKey)) << "a player is registered";
    TRegistryGuard registry;
    TempDir dir;
    fs::path exe = BuildInstaller(
        dir,
        {.Eula = false, .Extra = L" --no-player --version \"2.0 ベータ\" --publisher \"オルベイン工房\""});
    fs::path silent = dir.Path() / L"silent", wizard = dir.Path() / L"wizard";
    fs::create_directory(silent);
    fs::create_directory(wizard);

    ASSERT_EQ(RunSilently(exe, L"/S /D=" + silent.wstring()), 0u);
    EXPECT_TRUE(fs::exists(silent / L"E2eSaver.scr"));
    EXPECT_EQ(Entry(L"DisplayVersion"), L"2.0 ベータ");
    EXPECT_EQ(Entry(L"Publisher"), L"オルベイン工房");

    // A version whose line break would forge a line of the log: one line, escaped, in the
    // log and in the list of programs.
    const fs::path forging = WithItemChanged(exe, dir.Path() / L"forging.exe", "InstallerVersion",
                                             SetTo("2.0\r\nfile C:\\Windows\\forged.scr: 1 bytes written"));
    const fs::path log = dir.Path() / L"forging.log";
    ASSERT_EQ(RunSilently(forging, L"/S /LOG=" + log.wstring() + L" /D=" + silent.wstring()), 0u);
    const std::string logText = ReadText(log);
    EXPECT_EQ(logText.find("\nfile C:\\Windows\\forged.scr"), std::string::npos) << logText;
    EXPECT_NE(logText.find("2.0\\x0D\\x0Afile C:\\Windows\\forged.scr"), std::string::npos) << logText;
    EXPECT_EQ(Entry(L"DisplayVersion"), L"2.0\\x0D\\x0Afile C:\\Windows\\forged.scr: 1 bytes written");

    // "/D=" without "/S" fills the wizard's destination (with no registration left, which
    // would keep the installation in its folder).
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str());
    TWizard w(exe, L"/D=" + wizard.wstring());
    w.ToOptions();
    EXPECT_EQ(TextOf(w.Edit()), wizard.wstring());
    ASSERT_TRUE(w.Install());
    ExpectInstalled(wizard);
    w.Finish(false);
}

// "/?" shows the switches and exit codes in a box; the program ends with 1.
TEST(SilentInstall, QuestionMarkShowsTheSwitches) {
    TempDir dir;
    Process p(Quoted(BuildInstaller(dir, {.Extra = L" --no-player"})) + L" /?");
    const HWND box = WaitMessageBox(p.Id());
    ASSERT_TRUE(box);
    const std::wstring text = BoxText(box);
    EXPECT_NE(text.find(L"/D="), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"5\tファイルを書き込めませんでした"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"6\t管理者の権限でインストールを始められませんでした"), std::wstring::npos) << text;
    AnswerMessageBox(box, IDOK);
    EXPECT_EQ(p.Wait(20000), 1u);
}

// The installer program imports only the core system DLLs; everything else is loaded
// from the system directory after the search path is restricted. It stays within 554 KB
// (546 KB, without zlib's deflate and CRC tables: bench/README.md, "Program sizes").
TEST(InstallerImage, ImportsOnlyCoreSystemDlls) {
    auto extra = peimports::ImportsOutside(
        BinFile(L"scrsetup.exe"), {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll"});
    EXPECT_TRUE(extra.empty()) << "unexpected import: " << (extra.empty() ? "" : extra.front());
    EXPECT_LE(fs::file_size(BinFile(L"scrsetup.exe")), 554u * 1024u) << "the stub outgrew 554 KB";
}

// A uxtheme.dll planted beside the installer is never loaded. The same planted DLL is
// loaded by a program that imports comctl32 statically, which shows the trap is real.
TEST_F(WizardTest, PlantedUxthemeIsNotLoaded) {
    fs::path exe = BuildInstaller(FDir, {});
    fs::copy_file(BinFile(L"planted_uxtheme.dll"), FDir.Path() / L"uxtheme.dll");
    fs::copy_file(BinFile(L"plant_victim.exe"), FDir.Path() / L"plant_victim.exe");
    fs::path marker = FDir.Path() / L"uxtheme.loaded";
    // Wine takes DLL overrides from the environment it was started with, so the test run
    // sets WINEDLLOVERRIDES=uxtheme=n,b for this program (native first: a DLL beside the
    // program wins over the system's).
    wchar_t overrides[256];
    DWORD n = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, 256);
    if (n == 0 || n >= 256 || std::wstring(overrides, n).find(L"uxtheme=n") == std::wstring::npos)
        GTEST_SKIP() << "needs WINEDLLOVERRIDES=uxtheme=n,b";
    RunAndWait(Quoted(FDir.Path() / L"plant_victim.exe"), 20000);
    bool victimLoadedIt = fs::exists(marker);
    fs::remove(marker);
    {
        TWizard w(exe);
        ASSERT_TRUE(WaitFor([&] { return w.OnWelcome(); }));
        w.Cancel();
    }
    EXPECT_TRUE(victimLoadedIt) << "the planted DLL was not picked up even by a vulnerable program";
    EXPECT_FALSE(fs::exists(marker)) << "the installer loaded the planted uxtheme.dll";
}

// The locale runs of this program really have the system code page they are meant for
// (set by the test run through LANG).
TEST(Locale, SystemCodePageAsConfigured) {
    wchar_t buf[16];
    DWORD n = GetEnvironmentVariableW(L"SCR_EXPECT_ACP", buf, 16);
    if (n == 0 || n >= 16) GTEST_SKIP() << "no code page expected in this run";
    EXPECT_EQ(std::to_wstring(GetACP()), std::wstring(buf, n));
}
