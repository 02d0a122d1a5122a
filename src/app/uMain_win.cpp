#include "app/uMain.h"

#include "app/uInstallLog.h"
#include "app/uMachineStep.h"
#include "app/uOwnBinding.h"
#include "app/uWizard.h"
#include "components/uBitmapList.h"
#include "components/uBrowser.h"
#include "components/uColorBtn.h"
#include "components/uDeactiveMemo.h"
#include "components/uFileEmbedder.h"
#include "components/uNotifier.h"
#include "platform/uElevation.h"
#include "platform/uFlashUtils.h"
#include "platform/uSetScreenSaver.h"
#include "platform/uShellUtils.h"
#include "platform/uSysApi.h"
#include "store/uErrors.h"
#include "store/uText.h"
#include "toolkit/uImage.h"

#include <windows.h>

#include <commctrl.h>

#include <memory>

namespace {

template <typename T> T* Need(const TComponent& root, const char* name) {
    T* c = root.Find<T>(name);
    if (!c) throw ECorruptData(std::string("The window definition has no ") + name);
    return c;
}

} // namespace

std::wstring ScreenSaverSettingsCommandLine() {
    // Never by its bare name: that would be looked for beside the installer first. The
    // canonical name, not a tab number: the tabs were numbered anew between versions.
    const std::wstring system = sys::SystemDirectory();
    if (system.empty()) return {};
    return L"\"" + system + L"\\control.exe\" desk.cpl,screensaver,@screensaver";
}

TfrmMain::TfrmMain(TComponent* owner, TRunMode mode, TInstallScope scope) : TForm(owner), FMode(mode), FScope(scope) {
    LoadDefinitionResource("TFRMMAIN");
    BindComponents();
    FormCreate();
}

// The destruction handler runs here, while the window's own fields still exist (the
// base class's destruction event would come after them).
TfrmMain::~TfrmMain() { FormDestroy(); }

void TfrmMain::BindComponents() {
    pnlBase = Need<TPanel>(*this, "pnlBase");
    btnPrev = Need<TButton>(*this, "btnPrev");
    btnNext = Need<TButton>(*this, "btnNext");
    btnCancel = Need<TButton>(*this, "btnCancel");
    pnlPage1 = Need<TPanel>(*this, "pnlPage1");
    pnlPage2 = Need<TPanel>(*this, "pnlPage2");
    pnlPage2Top = Need<TPanel>(*this, "pnlPage2Top");
    pnlPage3 = Need<TPanel>(*this, "pnlPage3");
    pnlPage3Top = Need<TPanel>(*this, "pnlPage3Top");
    pnlPage4 = Need<TPanel>(*this, "pnlPage4");
    pnlPage5 = Need<TPanel>(*this, "pnlPage5");
    imgLeft = Need<TImage>(*this, "imgLeft");
    imgIcon = Need<TImage>(*this, "imgIcon");
    dmemoPage1Explain = Need<TDeactiveMemo>(*this, "dmemoPage1Explain");
    memoPage2EULA = Need<TMemo>(*this, "memoPage2EULA");
    rdoPage2Agree = Need<TRadioButton>(*this, "rdoPage2Agree");
    rdoPage2Disagree = Need<TRadioButton>(*this, "rdoPage2Disagree");
    chbxPage3InstallPath = Need<TCheckBox>(*this, "chbxPage3InstallPath");
    edtPage3Path = Need<TEdit>(*this, "edtPage3Path");
    btnPage3RefPath = Need<TButton>(*this, "btnPage3RefPath");
    chbxPage3SetScreenSaver = Need<TCheckBox>(*this, "chbxPage3SetScreenSaver");
    lblPage3Policy = Need<TLabel>(*this, "lblPage3Policy");
    rdoPage3AllUsers = Need<TRadioButton>(*this, "rdoPage3AllUsers");
    rdoPage3CurrentUser = Need<TRadioButton>(*this, "rdoPage3CurrentUser");
    chbxPage4ShowReadMe = Need<TCheckBox>(*this, "chbxPage4ShowReadMe");
    chbxPage4OpenDialog = Need<TCheckBox>(*this, "chbxPage4OpenDialog");
    dmemoPage4Explain = Need<TDeactiveMemo>(*this, "dmemoPage4Explain");
    dmemoPage5Message = Need<TDeactiveMemo>(*this, "dmemoPage5Message");
    btnPage5GetFlashPlayer = Need<TFlatBitColorBtn>(*this, "btnPage5GetFlashPlayer");
    bmplstImages = Need<TBitmapList>(*this, "bmplstImages");

    btnNext->OnClick = [this](TComponent* s) { btnNextClick(s); };
    btnPrev->OnClick = [this](TComponent* s) { btnPrevClick(s); };
    btnCancel->OnClick = [this](TComponent* s) { btnCancelClick(s); };
    rdoPage2Agree->OnClick = [this](TComponent* s) { CheckPage2Agree(s); };
    rdoPage2Disagree->OnClick = [this](TComponent* s) { CheckPage2Agree(s); };
    chbxPage3InstallPath->OnClick = [this](TComponent* s) { chbxPage3InstallPathClick(s); };
    btnPage3RefPath->OnClick = [this](TComponent* s) { btnPage3RefPathClick(s); };
    btnPage5GetFlashPlayer->OnClick = [this](TComponent* s) { btnPage5GetFlashPlayerClick(s); };
    rdoPage3AllUsers->OnClick = [this](TComponent* s) { rdoPage3ScopeClick(s); };
    rdoPage3CurrentUser->OnClick = [this](TComponent* s) { rdoPage3ScopeClick(s); };
    chbxPage3SetScreenSaver->OnClick = [this](TComponent* s) { chbxPage3SetScreenSaverClick(s); };
    edtPage3Path->OnChange = [this](TComponent* s) { edtPage3PathChange(s); };
}

void TfrmMain::FormCreate() {
    // 1. The client area is the designed size of the base panel.
    SetClientSize(pnlBase->Width(), pnlBase->Height());

    // 2. The wizard's pages in order; the failure page stands apart.
    FPages.clear();
    AddPage(pnlPage1, nullptr);
    AddPage(pnlPage2, pnlPage2Top);
    AddPage(pnlPage3, pnlPage3Top);
    AddPage(pnlPage4, nullptr);
    pnlPage5->SetVisible(false);
    pnlPage5->SetParent(nullptr);

    // 3. The designed pictures from the bitmap list.
    {
        TBitmap scratch;
        bmplstImages->GetBitmap("Left", &scratch);
        imgLeft->SetPicture(scratch);
        bmplstImages->GetBitmap("Icon", &scratch);
        imgIcon->SetPicture(scratch);
    }

    // 4. The payload's settings; its own pictures replace the designed ones.
    // Bound to this image: a container other than the one scrpack bound it to is invalid.
    std::string loadError;
    // Unattended for everyone, the elevated step inflates and checks the screensaver itself;
    // for one user this process installs it.
    if (!FSettings.LoadPayloadSettings(sys::ProgramPath(), kDesignedCaption, &loadError, OwnImageBinding(),
                                       FMode != TRunMode::Unattended || FScope == TInstallScope::CurrentUser))
        installlog::Line("container: refused (" + loadError + ")");
    ReplacePicture(imgLeft, FSettings.FLeftImage);
    ReplacePicture(imgIcon, FSettings.FTopImage);

    // 5. A forced activation hides the choice (the box stays checked).
    chbxPage3SetScreenSaver->SetVisible(!FSettings.FForceSet);
    FSetChoice = chbxPage3SetScreenSaver->Checked();

    // 6. The welcome text names the screensaver.
    dmemoPage1Explain->Lines().SetText(FormatMessageText(dmemoPage1Explain->Lines().Text(), FSettings.FSCRName));

    // 7. The default destination. Only the options page shows it: the wizard looks it up
    // after its first page is on screen.
    if (FMode == TRunMode::Wizard)
        AfterFirstPaint = [this] { FillDefaultDestination(); };
    else
        FillDefaultDestination();

    // 8. The licence text.
    memoPage2EULA->SetMemoText(FSettings.FEULA);

    // 9. The destination controls follow their check box (unchecked at start); the scope
    // chosen on the command line is the one checked.
    chbxPage3InstallPathClick(chbxPage3InstallPath);
    rdoPage3CurrentUser->SetChecked(FScope == TInstallScope::CurrentUser);
    rdoPage3AllUsers->SetChecked(FScope == TInstallScope::AllUsers);

    // 10. The caption, also the title of the program's message boxes.
    SetCaption(FSettings.FTitle);
    Application.Title = FSettings.FTitle;

    // 11. The start-up verdict picks the first page.
    {
        TFlashPlayerProbe probe;
        FVerdict = FSettings.StartupVerdict(probe);
    }
    installlog::Line(std::string("start-up: ") + (FVerdict.Welcome() ? "passed" : OutcomeRule(FVerdict.Result).LogName) +
                     " (" + FVerdict.Why + ")");
    if (FVerdict.Welcome()) {
        FPageIndex = kWelcomePageIndex;
        ShowPage(pnlPage1);
    } else {
        ShowFailure(VerdictMessageText(FVerdict));
        if (OutcomeRule(FVerdict.Result).OfferDownload) btnPage5GetFlashPlayer->SetVisible(true);
    }
}

// The folder this screensaver is registered in for the chosen scope, else that scope's
// default (the Windows directory for everyone, %LOCALAPPDATA%\Programs\<name> for one
// user); a destination given on the command line stays.
void TfrmMain::FillDefaultDestination() {
    if (!FCommandLineDestination.empty()) return;
    const TRegisteredEntry registered = InspectUninstallEntry(FSettings.FSCRName, FScope);
    if (registered.Owner == TEntryOwner::Ours && !FSettings.FSCRName.empty())
        edtPage3Path->SetText(ExcludeTrailingBackslash932(registered.Folder));
    else if (FScope == TInstallScope::CurrentUser)
        edtPage3Path->SetText(PerUserFolder(FSettings.FSCRName));
    else
        edtPage3Path->SetText(GetSpecialFolderPath(TSpecialFolder::Windows));
}

void TfrmMain::FormDestroy() {
    FPages.clear();
    FSettings.FSCRData.clear();
    FSettings.FSCRData.shrink_to_fit();
    FSettings.FReadMeData.clear();
    FSettings.FReadMeData.shrink_to_fit();
}

void TfrmMain::ReplacePicture(TImage* image, const std::vector<std::uint8_t>& bmpFile) {
    if (bmpFile.empty()) return;
    // A damaged picture keeps the designed one: the installation does not depend on it.
    try {
        TMemoryStream stream(bmpFile);
        TBitmap bitmap;
        bitmap.LoadFromStream(stream);
        image->SetPicture(bitmap);
    } catch (const Exception&) {
    }
}

void TfrmMain::AddPage(TPanel* page, TPanel* header) {
    FPages.push_back({page, header});
    page->SetVisible(false);
    // Off the window until it is shown: its controls get their native windows only then,
    // so the window comes up with just the first page's controls.
    page->SetAlign(TAlign::alNone);
    page->SetParent(nullptr);
}

void TfrmMain::ShowPage(TPanel* page) {
    // 0. The options page comes up with the user's policies as they are now (read in this
    // process, from the user's own HKCU).
    if (FPageIndex == kOptionsPageIndex) {
        FPolicy = ReadScreenSaverPolicy();
        UpdateScreenSaverChoice();
    }

    // 1-3. The page fills the base panel above the button row; the previous page is
    // detached (it stays alive, owned by the window).
    page->SetParent(pnlBase);
    page->SetAlign(TAlign::alClient);
    page->SetVisible(true);
    if (FCurrentPage && FCurrentPage != page) {
        FCurrentPage->SetAlign(TAlign::alNone);
        FCurrentPage->SetParent(nullptr);
    }
    FCurrentPage = page;

    // 5. The pictures go with the page.
    switch (FPageIndex) {
    case kFailurePageIndex: imgLeft->SetParent(pnlPage5); break;
    case kWelcomePageIndex: imgLeft->SetParent(pnlPage1); break;
    case kFinishPageIndex: imgLeft->SetParent(pnlPage4); break;
    default:
        if (FPageIndex >= 0 && FPageIndex < static_cast<int>(FPages.size()) && FPages[FPageIndex].Header)
            imgIcon->SetParent(FPages[FPageIndex].Header);
        break;
    }

    // 4, 6, 7. The button row. Next of the options page asks for administrator rights: it
    // carries the shield while this process has none.
    const TPageButtons b = PageButtons(FPageIndex, static_cast<int>(FPages.size()), rdoPage2Agree->Checked());
    btnPrev->SetEnabled(b.PrevEnabled);
    btnNext->SetCaption(LoadResString(b.NextCaption));
    btnNext->SetEnabled(b.NextEnabled);
    UpdateShield();
    if (b.CancelDisabled) btnCancel->SetEnabled(false);
}

void TfrmMain::UpdateScreenSaverChoice() {
    const std::string scrPath = InstallPaths(FromWide(TypedDestination()), FSettings.FSCRName).SCRPath;
    const TPolicyYield yield = ScreenSaverYieldFor(FPolicy, scrPath);
    chbxPage3SetScreenSaver->SetEnabled(yield == TPolicyYield::None);
    chbxPage3SetScreenSaver->SetChecked(yield == TPolicyYield::None && FSetChoice);
    if (yield != TPolicyYield::None)
        lblPage3Policy->SetCaption(
            LoadResString(yield == TPolicyYield::ForcedOther ? SPolicyForcesOther : SPolicySaversOff));
    lblPage3Policy->SetVisible(yield != TPolicyYield::None);
}

// Install asks for administrator rights only for everyone: the button carries the shield
// on the options page then, while this process has none.
void TfrmMain::UpdateShield() {
    if (!btnNext->HandleAllocated()) return;
    SendMessageW(static_cast<HWND>(btnNext->Handle()), BCM_SETSHIELD, 0,
                 FPageIndex == kOptionsPageIndex && FScope == TInstallScope::AllUsers && !IsProcessElevated());
}

void TfrmMain::ShowFailure(const std::string& message) {
    FPageIndex = kFailurePageIndex;
    dmemoPage5Message->Lines().SetText(message);
    ShowPage(pnlPage5);
}

bool TfrmMain::IsSkippedPage() const { return ::IsSkippedPage(FPageIndex, FSettings.FEULA.empty()); }

void TfrmMain::GoNext() {
    const int last = static_cast<int>(FPages.size()) - 1;
    if (FPageIndex < 0) {
        Close();
        return;
    }
    if (FPageIndex < last) {
        const int next = NextPageIndex(FPageIndex, FSettings.FEULA.empty());
        if (next == last) {
            const TInstallOutcome outcome = Install();
            switch (OutcomeRule(outcome.Result).Page) {
            case TOutcomePage::Finish: break;
            case TOutcomePage::Box:
                // The message box has told the user; the options page stays for another
                // destination or another try.
                return;
            case TOutcomePage::Failure:
                ShowFailure(outcome.Message);
                return;
            }
        }
        FPageIndex = next;
        ShowPage(FPages[next].Page);
        return;
    }
    RunFinishActions();
    Close();
}

void TfrmMain::RunFinishActions() {
    if (chbxPage4OpenDialog->Checked() && !FSettingsBlocked) OpenScreenSaverSettings();
    if (chbxPage4ShowReadMe->Checked() && !FSettings.FReadMeData.empty()) {
        const bool opened = OpenWithAssociatedProgram(FSettings.FReadMePath);
        installlog::Line("user: ReadMe " + std::string(opened ? "opened: " : "not opened: ") + FSettings.FReadMePath);
    }
}

// Started by this process, that is as the user, with the system directory as the current
// folder (never the installer's). Failures are only logged: the installation is complete
// either way.
void TfrmMain::OpenScreenSaverSettings() {
    const std::wstring directory = sys::SystemDirectory();
    std::wstring cmd = ScreenSaverSettingsCommandLine();
    DWORD error = ERROR_PATH_NOT_FOUND;
    if (!cmd.empty()) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (CreateProcessW((directory + L"\\control.exe").c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           directory.c_str(), &si, &pi)) {
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
            installlog::Line("user: screen saver settings opened: " + FromWide(cmd));
            return;
        }
        error = GetLastError();
    }
    // The Settings page that links to them, through the shell (loaded from the system directory).
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = kScreenSaverSettingsPage;
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = SW_SHOWNORMAL;
    std::string tried = "control.exe: system error " + std::to_string(error);
    const bool opened = sys::ShellExecuteExW(&info);
    if (!opened) {
        const DWORD settingsError = GetLastError();
        tried += "; " + FromWide(kScreenSaverSettingsPage) + ": system error " + std::to_string(settingsError);
    }
    installlog::Line(opened ? "user: screen saver settings opened: " + FromWide(kScreenSaverSettingsPage) + " (" + tried + ")"
                            : "user: screen saver settings not opened (" + tried + ")");
}

void TfrmMain::GoBack() {
    if (FPageIndex <= 0) return;
    FPageIndex = PrevPageIndex(FPageIndex, FSettings.FEULA.empty());
    ShowPage(FPages[FPageIndex].Page);
}

void TfrmMain::SetDestination(const std::wstring& folder) {
    FCommandLineDestination = folder;
    edtPage3Path->SetText(FromWide(folder));
}

std::wstring TfrmMain::TypedDestination() const {
    if (edtPage3Path->HandleAllocated()) {
        const HWND edit = static_cast<HWND>(edtPage3Path->Handle());
        std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
        return text;
    }
    if (!FCommandLineDestination.empty()) return FCommandLineDestination;
    return ToWide(edtPage3Path->Text());
}

TSetupExit TfrmMain::InstallSilently() {
    if (!FVerdict.Welcome()) return LogOutcome(FVerdict.Result);
    return OutcomeRule(InstallInto(nullptr).Result).Exit;
}

TInstallOutcome TfrmMain::InstallInto(HWND owner) {
    std::string destination;
    TInstallOutcome outcome;
    outcome.Result = ResolveDestination(TypedDestination(), destination);
    if (outcome.Result == TInstallResult::Installed) {
        installlog::Line(std::string("destination: ") + destination +
                         (FScope == TInstallScope::CurrentUser ? " (for the current user)" : ""));
        // For one user, the default folder is made when it is not there yet.
        if (FScope == TInstallScope::CurrentUser && SameFolder(destination, PerUserFolder(FSettings.FSCRName)) &&
            !DirectoryExists932(destination))
            CreatePerUserFolder(FSettings.FSCRName);
        outcome = CheckInstallTarget(FSettings, destination, FScope);
        if (outcome.Result == TInstallResult::Installed) outcome = CheckOtherScope(FSettings, FScope);
    } else {
        outcome.Message = OutcomeText(outcome.Result);
    }
    if (outcome.Result == TInstallResult::Installed) {
        // The wizard shows that it works; destroyed on every way out, so the owner is
        // enabled again.
        std::unique_ptr<TNotifier> notifier;
        if (owner) {
            notifier = std::make_unique<TNotifier>(this);
            notifier->SetShowProgressBar(false);
            notifier->SetCanCancel(false);
            notifier->SetCaption("");
            notifier->SetMsg(kInstallingMessage);
            notifier->ShowCenteredOn(this);
        }
        // For everyone, the elevated step; for one user, this process itself.
        if (FScope == TInstallScope::AllUsers)
            outcome = RunMachineStep(destination, owner);
        else
            outcome = InstallScreenSaver(FSettings, {destination, CarriedUninstaller(), TInstallScope::CurrentUser});
    }
    if (IsInstalled(outcome.Result)) FinishForUser(destination, outcome);
    LogOutcome(outcome.Result);
    return outcome;
}

TSetupExit LogOutcome(TInstallResult result) {
    const TOutcomeRule& rule = OutcomeRule(result);
    installlog::Line(std::string("outcome: ") + rule.LogName + ", exit code " +
                     std::to_string(static_cast<int>(rule.Exit)));
    return rule.Exit;
}

TInstallOutcome TfrmMain::Install() {
    const TInstallOutcome outcome = InstallInto(static_cast<HWND>(Handle()));
    if (IsInstalled(outcome.Result)) {
        chbxPage4ShowReadMe->SetVisible(outcome.ReadMePresent);
        // A policy that hides the screen saver settings: the finish page does not offer them.
        FSettingsBlocked = ReadScreenSaverPolicy().SettingsBlocked;
        if (FSettingsBlocked) chbxPage4OpenDialog->SetChecked(false);
        chbxPage4OpenDialog->SetEnabled(!FSettingsBlocked);
        // An earlier file in use goes at the next restart: the finish page says so first.
        if (outcome.Result == TInstallResult::InstalledRestartPending) {
            dmemoPage4Explain->Lines().SetText(outcome.Message + "\r\n" + dmemoPage4Explain->Lines().Text());
            dmemoPage4Explain->SetHeight(dmemoPage4Explain->Height() * 2);
        }
    }
    else if (OutcomeRule(outcome.Result).Page == TOutcomePage::Box)
        Application.ShowErrorBox(outcome.Message);
    return outcome;
}

void TfrmMain::FinishForUser(const std::string& destination, TInstallOutcome& outcome) {
    const TInstallPaths paths = InstallPaths(destination, FSettings.FSCRName);
    FSettings.FReadMePath = paths.ReadMePath;
    outcome.ReadMePresent = HasOwnReadMe(FSettings, paths);
    if (!FSetChoice || !FileExists932(paths.SCRPath)) return;
    // A policy that runs another screensaver, or none, decides instead: the value is left
    // as it is (the installation itself succeeded).
    const TScreenSaverPolicy policy = ReadScreenSaverPolicy();
    const TPolicyYield yield = ScreenSaverYieldFor(policy, paths.SCRPath);
    if (yield != TPolicyYield::None) {
        installlog::Line("user: current screensaver not set, " + YieldReason(policy, yield));
        return;
    }
    const bool set = SetScreenSaver(paths.SCRPath);
    installlog::Line(std::string(set ? "user: current screensaver set to " : "user: current screensaver NOT set to ") +
                     paths.SCRPath);
}

void TfrmMain::btnNextClick(TComponent*) { GoNext(); }
void TfrmMain::btnPrevClick(TComponent*) { GoBack(); }
void TfrmMain::btnCancelClick(TComponent*) { Close(); }

void TfrmMain::CheckPage2Agree(TComponent*) { btnNext->SetEnabled(rdoPage2Agree->Checked()); }

void TfrmMain::chbxPage3InstallPathClick(TComponent*) {
    const bool on = chbxPage3InstallPath->Checked();
    edtPage3Path->SetEnabled(on);
    btnPage3RefPath->SetEnabled(on);
}

void TfrmMain::btnPage3RefPathClick(TComponent*) {
    std::string folder = edtPage3Path->Text();
    if (BrowseForFolder(LoadResString(SSelectFolder), boReturnOnlyFSDirs | boDontGoBelowDomain | boNewDialogStyle,
                        InstallerExcludedFolders(), folder, static_cast<HWND>(Handle())))
        edtPage3Path->SetText(folder);
}

void TfrmMain::chbxPage3SetScreenSaverClick(TComponent*) { FSetChoice = chbxPage3SetScreenSaver->Checked(); }

void TfrmMain::edtPage3PathChange(TComponent*) {
    if (FPageIndex == kOptionsPageIndex) UpdateScreenSaverChoice();
}

void TfrmMain::rdoPage3ScopeClick(TComponent*) {
    FScope = rdoPage3CurrentUser->Checked() ? TInstallScope::CurrentUser : TInstallScope::AllUsers;
    if (!chbxPage3InstallPath->Checked()) FillDefaultDestination();
    UpdateShield();
}

void TfrmMain::btnPage5GetFlashPlayerClick(TComponent*) { OpenURL(std::string(kFlashDownloadURL)); }
