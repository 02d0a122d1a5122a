// End to end: real installers built by scrpack.exe, started as their own processes and
// driven through their windows like a user would (find controls by class and caption,
// click, type), then the files and registry they leave are checked.
#include "PeImports.h"
#include "StandInPlayer.h"
#include "TestFiles.h"
#include "UninstallerTraces.h"
#include "WinDriver.h"
#include "store/uExeAdder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace windriver;
namespace fs = std::filesystem;

namespace {

const std::wstring kMainClass = L"TfrmMain";
const std::wstring kName = L"E2eSaver";
const std::wstring kUninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\E2eSaver";

// Captions of the wizard.
const std::wstring kNext = L"次へ(&N) >";
const std::wstring kInstall = L"インストール(&N)";
const std::wstring kFinish = L"完了(&N)";
const std::wstring kExit = L"終了(&N)";
const std::wstring kBack = L"< 戻る（&B）";
const std::wstring kCancel = L"キャンセル";
const std::wstring kAgree = L"使用許諾契約に同意する";
const std::wstring kDisagree = L"使用許諾契約に同意しない";
const std::wstring kChangePath = L"インストール先を変更する(&I)";
const std::wstring kSetCurrent = L"このスクリーンセーバーを現在のスクリーンセーバーに設定する(&T)";
const std::wstring kShowReadMe = L"ReadMe.txt を読む(&R)";
const std::wstring kOpenDialog = L"画面のプロパティを開く(&P)";
const std::wstring kFailedTitle = L"インストールに失敗しました";
const std::wstring kTitle = L"E2E スクリーンセーバー　インストーラー";

fs::path Source(const std::string& rel) { return fs::path("Z:" SCR_SOURCE_DIR) / rel; }
fs::path Bin(const std::wstring& name) { return fs::path(BesideTestProgram(name)); }

struct TPack {
    bool Eula = true;
    bool ReadMe = true;
    bool ForceSet = false;
    std::wstring FlashVersion = L"7.0.19.0";
};

// Builds an installer with the Windows scrpack.exe onto the real installer program.
fs::path BuildInstaller(const TempDir& dir, const TPack& pack, const std::wstring& fileName = L"setup.exe") {
    fs::path out = dir.Path() / fileName;
    std::wstring cmd = L"\"" + Bin(L"scrpack.exe").wstring() + L"\" build --stub \"" +
                       Bin(L"scrsetup.exe").wstring() + L"\" --scr \"" + Bin(L"OrvaneSample.scr").wstring() +
                       L"\" --name " + kName + L" --title \"" + kTitle + L"\" --flash-version " + pack.FlashVersion +
                       L" -o \"" + out.wstring() + L"\"";
    if (pack.Eula) cmd += L" --eula \"" + Source("samples/EULA.txt").wstring() + L"\"";
    if (pack.ReadMe) cmd += L" --readme \"" + Source("samples/ReadMe.txt").wstring() + L"\"";
    if (pack.ForceSet) cmd += L" --force-set";
    Process p(cmd);
    EXPECT_EQ(p.Wait(60000), 0u) << "scrpack build failed";
    return out;
}

std::wstring ReadValue(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t buf[1024];
    DWORD size = sizeof buf;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) return L"<none>";
    return buf;
}

// Keeps the current screensaver and removes the uninstall registration around a test.
class TRegistryGuard {
public:
    TRegistryGuard() : FSaved(ReadValue(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"SCRNSAVE.EXE")) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str());
    }
    ~TRegistryGuard() {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey.c_str());
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            if (FSaved == L"<none>")
                RegDeleteValueW(key, L"SCRNSAVE.EXE");
            else
                RegSetValueExW(key, L"SCRNSAVE.EXE", 0, REG_SZ, reinterpret_cast<const BYTE*>(FSaved.c_str()),
                               static_cast<DWORD>((FSaved.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(key);
        }
    }

private:
    std::wstring FSaved;
};

bool StartsWith(const std::wstring& s, const std::wstring& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// A running installer and its main window.
class TWizard {
public:
    explicit TWizard(const fs::path& exe) : FProc(L"\"" + exe.wstring() + L"\"") {
        FMain = WaitTop(FProc.Id(), kMainClass);
    }
    HWND Main() const { return FMain; }
    const Process& Proc() const { return FProc; }

    // The button row: the only buttons whose captions these are.
    HWND Button(const std::wstring& caption) const { return FindControl(FMain, L"TButton", caption); }
    HWND NextButton() const {
        for (const auto& c : {kNext, kInstall, kFinish, kExit})
            if (HWND h = Button(c)) return h;
        return nullptr;
    }
    HWND Check(const std::wstring& caption) const { return FindControl(FMain, L"TCheckBox", caption); }
    HWND Radio(const std::wstring& caption) const { return FindControl(FMain, L"TRadioButton", caption); }
    // The text shown by a deactivated memo (or any memo) that starts with prefix.
    HWND MemoStartingWith(const std::wstring& prefix) const {
        for (HWND h : Descendants(FMain))
            if (ClassOf(h) == L"TMemo" && StartsWith(TextOf(h), prefix)) return h;
        return nullptr;
    }

    // Presses Next and waits until its caption (or the page marker) says the page changed.
    void ClickAndWait(HWND button, const std::function<bool()>& arrived) {
        ASSERT_TRUE(button);
        Click(button);
        ASSERT_TRUE(WaitFor(arrived)) << "the wizard did not reach the expected page";
    }
    bool OnWelcome() const { return MemoStartingWith(L"スクリーンセーバー インストール ウィザードへようこそ") != nullptr; }
    bool OnLicence() const { return IsShown(Radio(kAgree)); }
    bool OnOptions() const { return IsShown(Check(kChangePath)); }
    bool OnFinish() const { return IsShown(Check(kOpenDialog)); }
    bool OnFailure() const { return IsShown(FindControl(FMain, L"TLabel", kFailedTitle)); }

    // Ends the wizard from the finish or failure page; the process exits.
    void Finish() {
        Click(NextButton());
        EXPECT_EQ(FProc.Wait(20000), 0u);
    }

private:
    Process FProc;
    HWND FMain = nullptr;
};

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
    ASSERT_TRUE(w.Main()) << "no main window";
    EXPECT_EQ(TextOf(w.Main()), kTitle);
    ASSERT_TRUE(WaitFor([&] { return w.OnWelcome(); }));
    ExpectRow(w, {kNext, true, false, true});
    EXPECT_TRUE(w.MemoStartingWith(L"このウィザードを使用して、E2eSaverスクリーンセーバーをコンピュータにインストールできます"));

    w.ClickAndWait(w.Button(kNext), [&] { return w.OnLicence(); });
    ExpectRow(w, {kNext, false, true, true});
    EXPECT_FALSE(IsChecked(w.Radio(kAgree)));
    EXPECT_FALSE(IsChecked(w.Radio(kDisagree)));
    EXPECT_TRUE(w.MemoStartingWith(L"使用許諾契約書")) << "licence text missing";
    Click(w.Radio(kAgree));
    EXPECT_TRUE(WaitFor([&] { return IsEnabled(w.Button(kNext)); }));
    Click(w.Radio(kDisagree));
    EXPECT_TRUE(WaitFor([&] { return !IsEnabled(w.Button(kNext)); }));
    Click(w.Radio(kAgree));
    EXPECT_TRUE(WaitFor([&] { return IsEnabled(w.Button(kNext)); }));

    w.ClickAndWait(w.Button(kNext), [&] { return w.OnOptions(); });
    ExpectRow(w, {kInstall, true, true, true});
    HWND edit = FindControl(w.Main(), L"TEdit", L"");
    ASSERT_TRUE(edit);
    EXPECT_FALSE(IsEnabled(edit));
    EXPECT_FALSE(IsEnabled(w.Button(L"参照(&R)...")));
    EXPECT_TRUE(IsChecked(w.Check(kSetCurrent)));
    Click(w.Check(kChangePath));
    ASSERT_TRUE(WaitFor([&] { return IsEnabled(edit); }));
    SetText(edit, dest.wstring());
    Click(w.Check(kChangePath));
    ASSERT_TRUE(WaitFor([&] { return !IsEnabled(edit); }));
    EXPECT_EQ(TextOf(edit), dest.wstring());
    Click(w.Check(kSetCurrent)); // leave the current screensaver alone
    ASSERT_TRUE(WaitFor([&] { return !IsChecked(w.Check(kSetCurrent)); }));

    // Back and forth keeps the agreement.
    w.ClickAndWait(w.Button(kBack), [&] { return w.OnLicence(); });
    EXPECT_TRUE(IsChecked(w.Radio(kAgree)));
    ExpectRow(w, {kNext, true, true, true});
    w.ClickAndWait(w.Button(kNext), [&] { return w.OnOptions(); });
    EXPECT_EQ(TextOf(FindControl(w.Main(), L"TEdit", L"")), dest.wstring());

    std::wstring before = ReadValue(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"SCRNSAVE.EXE");
    w.ClickAndWait(w.Button(kInstall), [&] { return w.OnFinish(); });
    ExpectRow(w, {kFinish, true, false, false});
    EXPECT_TRUE(IsShown(w.Check(kShowReadMe)));
    EXPECT_FALSE(IsChecked(w.Check(kOpenDialog)));

    EXPECT_EQ(ReadBytes(dest / L"E2eSaver.scr"), ReadBytes(Bin(L"OrvaneSample.scr")));
    EXPECT_EQ(ReadBytes(dest / L"E2eSaver.txt"), ReadBytes(Source("samples/ReadMe.txt")));
    EXPECT_TRUE(fs::exists(dest / L"E2eSaverUninst.exe"));
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"),
              L"\"" + (dest / L"E2eSaverUninst.exe").wstring() + L"\"");
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"E2eSaverスクリーンセーバー");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"SCRNSAVE.EXE"), before);

    Click(w.Check(kShowReadMe)); // no text editor in a test run
    ASSERT_TRUE(WaitFor([&] { return !IsChecked(w.Check(kShowReadMe)); }));
    w.Finish();

    // The uninstaller the installer wrote finds its installation record and removes what
    // was installed, the registration and itself.
    uninstallertraces::HelperCleanup helpers;
    Process uninstall(L"\"" + (dest / L"E2eSaverUninst.exe").wstring() + L"\" /S");
    ASSERT_TRUE(uninstall.Started());
    EXPECT_EQ(uninstall.Wait(30000), 0u);
    EXPECT_FALSE(fs::exists(dest / L"E2eSaver.scr"));
    EXPECT_FALSE(fs::exists(dest / L"E2eSaver.txt"));
    EXPECT_TRUE(WaitFor([&] { return !fs::exists(dest / L"E2eSaverUninst.exe"); }));
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"), L"<none>");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"SCRNSAVE.EXE"), before);
}

// Without a licence the licence page is skipped both ways; Cancel ends the program.
TEST_F(WizardTest, NoLicenceSkipsTheLicencePage) {
    TPack pack;
    pack.Eula = false;
    TWizard w(BuildInstaller(FDir, pack));
    ASSERT_TRUE(WaitFor([&] { return w.OnWelcome(); }));
    w.ClickAndWait(w.Button(kNext), [&] { return w.OnOptions(); });
    ExpectRow(w, {kInstall, true, true, true});
    w.ClickAndWait(w.Button(kBack), [&] { return w.OnWelcome(); });
    ExpectRow(w, {kNext, true, false, true});
    Click(w.Button(kCancel));
    EXPECT_EQ(w.Proc().Wait(20000), 0u);
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"<none>");
}

// A forced activation hides the choice and sets the screensaver all the same; without a
// ReadMe the finish page hides its box and opens nothing even when it was checked.
TEST_F(WizardTest, ForceSetWithoutReadMe) {
    TPack pack;
    pack.Eula = false;
    pack.ReadMe = false;
    pack.ForceSet = true;
    TWizard w(BuildInstaller(FDir, pack));
    ASSERT_TRUE(WaitFor([&] { return w.OnWelcome(); }));
    w.ClickAndWait(w.Button(kNext), [&] { return w.OnOptions(); });
    EXPECT_FALSE(IsShown(w.Check(kSetCurrent)));
    HWND edit = FindControl(w.Main(), L"TEdit", L"");
    Click(w.Check(kChangePath));
    ASSERT_TRUE(WaitFor([&] { return IsEnabled(edit); }));
    SetText(edit, FDir.Path().wstring());
    w.ClickAndWait(w.Button(kInstall), [&] { return w.OnFinish(); });
    EXPECT_FALSE(IsShown(w.Check(kShowReadMe)));
    EXPECT_FALSE(fs::exists(FDir.Path() / L"E2eSaver.txt"));

    wchar_t shortPath[MAX_PATH];
    GetShortPathNameW((FDir.Path() / L"E2eSaver.scr").c_str(), shortPath, MAX_PATH);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"SCRNSAVE.EXE"), shortPath);
    w.Finish();
}

// A destination that does not exist: the message box, nothing written, and the options
// page stays for another try.
TEST_F(WizardTest, MissingDestinationKeepsTheOptionsPage) {
    TPack pack;
    pack.Eula = false;
    TWizard w(BuildInstaller(FDir, pack));
    ASSERT_TRUE(WaitFor([&] { return w.OnWelcome(); }));
    w.ClickAndWait(w.Button(kNext), [&] { return w.OnOptions(); });
    HWND edit = FindControl(w.Main(), L"TEdit", L"");
    Click(w.Check(kChangePath));
    ASSERT_TRUE(WaitFor([&] { return IsEnabled(edit); }));
    fs::path missing = FDir.Path() / L"missing";
    SetText(edit, missing.wstring());
    Click(w.Button(kInstall));
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        return (box = FindMessageBox(w.Proc().Id(),
                                     L"保存先ディレクトリが存在しません\r\nインストールに失敗しました")) != nullptr;
    }));
    AnswerMessageBox(box, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !FindMessageBox(w.Proc().Id()) && IsEnabled(w.Main()); }));
    EXPECT_TRUE(w.OnOptions());
    ExpectRow(w, {kInstall, true, true, true});
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"<none>");

    // A real folder now: the installation goes through.
    SetText(edit, FDir.Path().wstring());
    w.ClickAndWait(w.Button(kInstall), [&] { return w.OnFinish(); });
    EXPECT_TRUE(fs::exists(FDir.Path() / L"E2eSaver.scr"));
    Click(w.Check(kShowReadMe));
    ASSERT_TRUE(WaitFor([&] { return !IsChecked(w.Check(kShowReadMe)); }));
    w.Finish();
}

// A payload whose bytes were changed after packing: the failure page with the invalid
// data message and no download button; only Next ("exit") works.
TEST_F(WizardTest, TamperedPayloadShowsTheFailurePage) {
    fs::path exe = BuildInstaller(FDir, {});
    std::vector<std::uint8_t> bytes = ReadBytes(exe);
    std::uintmax_t stub = fs::file_size(Bin(L"scrsetup.exe"));
    ASSERT_GT(bytes.size(), stub + 4096);
    bytes[bytes.size() - 2048] ^= 0x55; // inside the compressed screensaver item
    WriteBytes(exe, bytes);

    TWizard w(exe);
    ASSERT_TRUE(WaitFor([&] { return w.OnFailure(); }));
    ExpectRow(w, {kExit, true, false, false});
    EXPECT_TRUE(w.MemoStartingWith(L"不正なデータです"));
    EXPECT_FALSE(IsShown(FindControl(w.Main(), L"TFlatBitColorBtn", L"")));
    w.Finish();
}

// The digest does not cover the screensaver's name: a payload whose name would put files
// outside the chosen folder is invalid data all the same, and nothing is written.
TEST_F(WizardTest, PayloadNameLeavingTheFolderShowsTheFailurePage) {
    const fs::path exe = BuildInstaller(FDir, {});
    TItemTypes items;
    ReadItems(exe, items);
    const std::string escape = "..\\..\\E2eEscape";
    for (TItemType& item : items) {
        if (item.Name != "SCRName") continue;
        item.Data.assign(escape.begin(), escape.end());
        item.Size = static_cast<std::int32_t>(escape.size());
    }
    WriteItems(exe, items); // the new container hides the old one

    TWizard w(exe);
    ASSERT_TRUE(WaitFor([&] { return w.OnFailure(); }));
    EXPECT_TRUE(w.MemoStartingWith(L"不正なデータです"));
    w.Finish();
    const fs::path above = FDir.Path().parent_path().parent_path();
    for (const wchar_t* file : {L"E2eEscape.scr", L"E2eEscapeUninst.exe"})
        EXPECT_FALSE(fs::exists(above / file)) << fs::path(file).string();
    // The registry takes ".." as a plain key name.
    const std::wstring nested = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\..\\..\\E2eEscape";
    EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, nested, L"UninstallString"), L"<none>");
}

// A player older than the payload needs: the message names the version and the download
// button is offered.
TEST_F(WizardTest, OldPlayerOffersTheDownload) {
    TPack pack;
    pack.FlashVersion = L"10.1.0.0";
    TWizard w(BuildInstaller(FDir, pack));
    ASSERT_TRUE(WaitFor([&] { return w.OnFailure(); }));
    ExpectRow(w, {kExit, true, false, false});
    EXPECT_TRUE(w.MemoStartingWith(L"Flash ActiveX Player が見つからないかバージョンが古いため実行できません\r\n"
                                   L"バージョン 10.1.0.0 以降が必要です"));
    EXPECT_TRUE(IsShown(FindControl(w.Main(), L"TFlatBitColorBtn", L"")));
    w.Finish();
}

// The installer program imports only the core system DLLs; everything else is loaded
// from the system directory after the search path is restricted.
TEST(InstallerImage, ImportsOnlyCoreSystemDlls) {
    auto extra = peimports::ImportsOutside(Bin(L"scrsetup.exe"), {"kernel32.dll", "user32.dll", "gdi32.dll",
                                                                   "advapi32.dll", "msvcrt.dll"});
    EXPECT_TRUE(extra.empty()) << "unexpected import: " << (extra.empty() ? "" : extra.front());
}

// A uxtheme.dll planted beside the installer is never loaded. The same planted DLL is
// loaded by a program that imports comctl32 statically, which shows the trap is real.
TEST_F(WizardTest, PlantedUxthemeIsNotLoaded) {
    fs::path exe = BuildInstaller(FDir, {});
    fs::copy_file(Bin(L"planted_uxtheme.dll"), FDir.Path() / L"uxtheme.dll");
    fs::copy_file(Bin(L"plant_victim.exe"), FDir.Path() / L"plant_victim.exe");
    fs::path marker = FDir.Path() / L"uxtheme.loaded";
    // Wine takes DLL overrides from the environment it was started with, so the test run
    // sets WINEDLLOVERRIDES=uxtheme=n,b for this program (native first: a DLL beside the
    // program wins over the system's).
    wchar_t overrides[256];
    DWORD n = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, 256);
    if (n == 0 || n >= 256 || std::wstring(overrides, n).find(L"uxtheme=n") == std::wstring::npos)
        GTEST_SKIP() << "needs WINEDLLOVERRIDES=uxtheme=n,b";
    {
        Process victim(L"\"" + (FDir.Path() / L"plant_victim.exe").wstring() + L"\"");
        victim.Wait(20000);
    }
    bool victimLoadedIt = fs::exists(marker);
    fs::remove(marker);
    {
        TWizard w(exe);
        ASSERT_TRUE(WaitFor([&] { return w.OnWelcome(); }));
        Click(w.Button(kCancel));
        w.Proc().Wait(20000);
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
