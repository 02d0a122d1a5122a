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
#include "platform/uWinHandles.h"
#include "store/uErrors.h"
#include "store/uText.h"
#include "toolkit/uImage.h"

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>

namespace {

template <typename T> T* Need(const TComponent& root, const char* name) {
    T* c = root.Find<T>(name);
    if (!c) throw ECorruptData(std::string("The window definition has no ") + name);
    return c;
}

// Posted to the main window when the player's answer is in.
constexpr UINT kMsgPlayerAnswered = WM_APP + 1;

} // namespace

// The player question asked on a thread of its own from construction, so that the wizard's
// window is built and painted while COM and the player's object load. The window learns of
// the answer by a message. Without a thread it is asked at once, on the calling thread.
class TPlayerProbeInBackground : public IPlayerProbe {
public:
    TPlayerProbeInBackground() : FState(std::make_shared<TState>()) {
        auto* forThread = new std::shared_ptr<TState>(FState);
        const UniqueHandle thread(
            CreateThread(nullptr, 0, &TPlayerProbeInBackground::Ask, forThread, 0, nullptr));
        if (!thread) Ask(forThread);
    }
    // Never waits: an answer not in yet means the wizard was closed meanwhile, and a player's
    // object may take long to load, or never answer. The thread keeps what it writes to and
    // ends with the process.
    ~TPlayerProbeInBackground() override { FState->Notify.store(nullptr); }
    TPlayerProbeInBackground(const TPlayerProbeInBackground&) = delete;
    TPlayerProbeInBackground& operator=(const TPlayerProbeInBackground&) = delete;

    // True when the answer is already in; otherwise kMsgPlayerAnswered goes to window once
    // it is. Either side may be first: the message may come even so, or twice, never not at all.
    bool NotifyWhenAnswered(HWND window) {
        FState->Notify.store(window);
        return FState->Answered.load();
    }

    // Read once the answer is in (NotifyWhenAnswered or its message); nothing waits for it.
    std::optional<std::string> InstalledVersion() override {
        if (!FState->Answered.load()) throw std::logic_error("the player's answer is read before it is in");
        if (FState->Error) std::rethrow_exception(FState->Error);
        return FState->Answer;
    }

private:
    struct TState {
        std::optional<std::string> Answer;
        std::exception_ptr Error;
        std::atomic<bool> Answered{false};
        std::atomic<HWND> Notify{nullptr};
    };

    // No exception leaves the thread: it is handed to the one who reads the answer.
    static DWORD WINAPI Ask(void* param) {
        const std::unique_ptr<std::shared_ptr<TState>> held(static_cast<std::shared_ptr<TState>*>(param));
        TState& state = **held;
        try {
            state.Answer = TFlashPlayerProbe().InstalledVersion();
        } catch (...) {
            state.Error = std::current_exception();
        }
        state.Answered.store(true);
        // A full message queue is waited out for a while: without the message Next stays off.
        if (HWND window = state.Notify.load())
            for (int tries = 0;
                 tries < 100 && !PostMessageW(window, kMsgPlayerAnswered, 0, 0) && IsWindow(window); ++tries)
                Sleep(10);
        return 0;
    }

    std::shared_ptr<TState> FState;
};

std::wstring ScreenSaverSettingsCommandLine() {
    // Never by its bare name: that would be looked for beside the installer first. The
    // canonical name, not a tab number: the tabs were numbered anew between versions.
    const std::wstring system = sys::SystemDirectory();
    if (system.empty()) return {};
    return L"\"" + system + L"\\control.exe\" desk.cpl,screensaver,@screensaver";
}

TfrmMain::TfrmMain(TComponent* owner, TRunMode mode, TInstallScope scope)
    : TForm(owner), FMode(mode), FCommandLineScope(scope) {
    LoadDefinitionResource("TFRMMAIN");
    BindComponents();
    FormCreate();
}

// The destruction handler runs here, while the window's own fields still exist (the
// base class's destruction event would come after them).
TfrmMain::~TfrmMain() {
    // Before anything else goes: the question may still be out.
    FPlayerProbe.reset();
    FormDestroy();
}

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
    chbxPage4ShowReadMe->OnClick = [this](TComponent* s) { chbxPage4ShowReadMeClick(s); };
    chbxPage4OpenDialog->OnClick = [this](TComponent* s) { chbxPage4OpenDialogClick(s); };
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
    const bool withScreenSaver =
        FMode != TRunMode::Unattended || FCommandLineScope == TInstallScope::CurrentUser;
    if (!FSettings.LoadPayloadSettings(sys::ProgramPath(), kDesignedCaption, &loadError, OwnImageBinding(),
                                       withScreenSaver))
        installlog::Line("container: refused (" + loadError + ")");
    ReplacePicture(imgLeft, FSettings.FLeftImage);
    ReplacePicture(imgIcon, FSettings.FTopImage);

    // 5. The flow, from the payload, the command line and the choices as designed. A forced
    // activation hides the choice (the box stays checked).
    {
        TWizardSetup setup;
        setup.Scope = FCommandLineScope;
        setup.HasLicence = !FSettings.FEULA.empty();
        setup.ForceSet = FSettings.FForceSet;
        setup.Elevated = IsProcessElevated();
        setup.Choices.Agree = rdoPage2Agree->Checked();
        setup.Choices.ChangePath = chbxPage3InstallPath->Checked();
        setup.Choices.SetAsCurrent = chbxPage3SetScreenSaver->Checked();
        setup.Choices.ShowReadMe = chbxPage4ShowReadMe->Checked();
        setup.Choices.OpenSettings = chbxPage4OpenDialog->Checked();
        FWizard.emplace(static_cast<IWizardHost&>(*this), setup);
    }

    // 6. The welcome text names the screensaver.
    dmemoPage1Explain->Lines().SetText(
        FormatMessageText(dmemoPage1Explain->Lines().Text(), FSettings.FSCRName));

    // 7. The default destination. Only the options page shows it: the wizard looks it up
    // after its first page is on screen.
    if (FMode == TRunMode::Wizard)
        AfterFirstPaint = [this] { FWizard->OfferDefaultDestination(); };
    else
        FWizard->OfferDefaultDestination();

    // 8. The licence text.
    memoPage2EULA->SetMemoText(FSettings.FEULA);

    // 9. The caption, also the title of the program's message boxes.
    SetCaption(FSettings.FTitle);
    Application.Title = FSettings.FTitle;

    // 10. The start-up verdict picks the first page; the view shows it, with the
    // destination controls following their check box (unchecked at start) and the scope
    // chosen on the command line checked. The data's integrity first: the player is asked
    // only when the data passed and the screensaver needs it. The wizard's window then comes
    // up with the welcome page while the player is asked, Next off until the answer is in
    // (PlayerAnswered); a failed data check shows the failure page from the start.
    TStartupVerdict verdict = FSettings.IntegrityVerdict();
    if (FMode == TRunMode::Wizard && verdict.Welcome() && FSettings.FNeedsPlayer) {
        FPlayerProbe = std::make_unique<TPlayerProbeInBackground>();
        FVerdictSoFar = std::move(verdict);
        FWizard->StartAwaitingVerdict();
        HandleNeeded();
        if (FPlayerProbe->NotifyWhenAnswered(static_cast<HWND>(Handle()))) PlayerAnswered();
        return;
    }
    TFlashPlayerProbe probe;
    StartWith(FSettings.PlayerVerdict(std::move(verdict), probe));
}

void TfrmMain::StartWith(const TStartupVerdict& verdict) {
    installlog::Line(std::string("start-up: ") +
                     (verdict.Welcome() ? "passed" : OutcomeRule(verdict.Result).LogName) + " (" +
                     verdict.Why + ")");
    FWizard->Start({verdict.Result, VerdictMessageText(verdict)});
}

void TfrmMain::PlayerAnswered() {
    // The message may come twice: the first one finishes the start-up.
    if (!FPlayerProbe) return;
    const std::unique_ptr<TPlayerProbeInBackground> probe = std::move(FPlayerProbe);
    StartWith(FSettings.PlayerVerdict(std::move(FVerdictSoFar), *probe));
}

std::intptr_t TfrmMain::WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    if (msg == kMsgPlayerAnswered) {
        PlayerAnswered();
        return 0;
    }
    return TForm::WndProc(msg, wParam, lParam);
}

// The defaults: the Windows directory for everyone, %LOCALAPPDATA%\Programs\<name> for
// one user.
void TfrmMain::FillDefaultDestination(TInstallScope scope) {
    const TRegisteredEntry registered = InspectUninstallEntry(FSettings.FSCRName, scope);
    if (registered.Owner == TEntryOwner::Ours && !FSettings.FSCRName.empty())
        edtPage3Path->SetText(ExcludeTrailingBackslash932(registered.Folder));
    else if (scope == TInstallScope::CurrentUser)
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

void TfrmMain::ShowView(const TWizardView& v) {
    // The options page: the destination controls follow their check box, the scope radio
    // buttons the chosen scope, and "set as the current screensaver" the user's policies
    // for the typed destination.
    edtPage3Path->SetEnabled(v.PathEditable);
    btnPage3RefPath->SetEnabled(v.PathEditable);
    rdoPage3CurrentUser->SetChecked(v.Scope == TInstallScope::CurrentUser);
    rdoPage3AllUsers->SetChecked(v.Scope == TInstallScope::AllUsers);
    chbxPage3SetScreenSaver->SetVisible(v.SetAsCurrentVisible);
    chbxPage3SetScreenSaver->SetEnabled(v.SetAsCurrentEnabled);
    chbxPage3SetScreenSaver->SetChecked(v.SetAsCurrentChecked);
    if (v.PolicyNoteVisible) lblPage3Policy->SetCaption(LoadResString(v.PolicyNote));
    lblPage3Policy->SetVisible(v.PolicyNoteVisible);

    const bool arrived = FShownPage != v.Page;
    if (arrived) ShowPage(v);
    FShownPage = v.Page;

    // The button row. Next of the options page asks for administrator rights for everyone:
    // it carries the shield then (sent once the button has its window).
    const TWizardButtons& b = v.Buttons;
    btnPrev->SetEnabled(b.PrevEnabled);
    btnNext->SetCaption(LoadResString(b.NextCaption));
    btnNext->SetEnabled(b.NextEnabled);
    btnCancel->SetEnabled(b.CancelEnabled);
    if ((arrived || FShownShield != b.Shield) && btnNext->HandleAllocated())
        SendMessageW(static_cast<HWND>(btnNext->Handle()), BCM_SETSHIELD, 0, b.Shield);
    FShownShield = b.Shield;
}

void TfrmMain::ShowPage(const TWizardView& v) {
    const TPage* entry = v.Page == TWizardPage::Failure ? nullptr : &FPages[static_cast<std::size_t>(v.Page)];
    TPanel* page = entry ? entry->Page : pnlPage5;

    // What the failure and the finish page say comes with the outcome that leads there.
    if (v.Page == TWizardPage::Failure) {
        dmemoPage5Message->Lines().SetText(v.FailureMessage);
        if (v.OfferDownload) btnPage5GetFlashPlayer->SetVisible(true);
    } else if (v.Page == TWizardPage::Finish) {
        chbxPage4ShowReadMe->SetVisible(v.ReadMeOffered);
        chbxPage4OpenDialog->SetChecked(v.OpenSettingsChecked);
        chbxPage4OpenDialog->SetEnabled(v.SettingsOffered);
        // An earlier file in use goes at the next restart: the page says so first.
        if (!v.RestartNote.empty()) {
            dmemoPage4Explain->Lines().SetText(v.RestartNote + "\r\n" + dmemoPage4Explain->Lines().Text());
            dmemoPage4Explain->SetHeight(dmemoPage4Explain->Height() * 2);
        }
    }

    // The page fills the base panel above the button row; the previous page is detached
    // (it stays alive, owned by the window).
    page->SetParent(pnlBase);
    page->SetAlign(TAlign::alClient);
    page->SetVisible(true);
    if (FCurrentPage && FCurrentPage != page) {
        FCurrentPage->SetAlign(TAlign::alNone);
        FCurrentPage->SetParent(nullptr);
    }
    FCurrentPage = page;

    // The pictures go with the page.
    switch (v.Page) {
    case TWizardPage::Failure:
        imgLeft->SetParent(pnlPage5);
        break;
    case TWizardPage::Welcome:
        imgLeft->SetParent(pnlPage1);
        break;
    case TWizardPage::Finish:
        imgLeft->SetParent(pnlPage4);
        break;
    default:
        if (entry->Header) imgIcon->SetParent(entry->Header);
        break;
    }
}

TScreenSaverPolicy TfrmMain::ReadPolicy() {
    return ReadScreenSaverPolicy();
}

TPolicyYield TfrmMain::YieldFor(const TScreenSaverPolicy& policy, const std::wstring& destination) {
    return ScreenSaverYieldFor(policy, InstallPaths(FromWide(destination), FSettings.FSCRName).SCRPath);
}

void TfrmMain::ShowErrorBox(const std::string& message) {
    Application.ShowErrorBox(message);
}

void TfrmMain::OpenReadMe() {
    const bool opened = OpenWithAssociatedProgram(FSettings.FReadMePath);
    installlog::Line("user: ReadMe " + std::string(opened ? "opened: " : "not opened: ") +
                     FSettings.FReadMePath);
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
        if (CreateProcessW((directory + L"\\control.exe").c_str(), cmd.data(), nullptr, nullptr, FALSE, 0,
                           nullptr, directory.c_str(), &si, &pi)) {
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
        tried +=
            "; " + FromWide(kScreenSaverSettingsPage) + ": system error " + std::to_string(settingsError);
    }
    installlog::Line(opened ? "user: screen saver settings opened: " + FromWide(kScreenSaverSettingsPage) +
                                  " (" + tried + ")"
                            : "user: screen saver settings not opened (" + tried + ")");
}

void TfrmMain::SetDestination(const std::wstring& folder) {
    FCommandLineDestination = folder;
    edtPage3Path->SetText(FromWide(folder));
    FWizard->KeepDestination();
}

std::wstring TfrmMain::TypedDestination() const {
    if (edtPage3Path->HandleAllocated()) {
        const HWND edit = static_cast<HWND>(edtPage3Path->Handle());
        std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
        text.resize(
            static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
        return text;
    }
    if (!FCommandLineDestination.empty()) return FCommandLineDestination;
    return ToWide(edtPage3Path->Text());
}

TSetupExit TfrmMain::InstallSilently() {
    return FWizard->RunUnattended();
}

TInstallOutcome TfrmMain::Install(const TSetupRequest& request) {
    std::string destination;
    TInstallOutcome outcome;
    outcome.Result = ResolveDestination(request.Destination, destination);
    if (outcome.Result == TInstallResult::Installed) {
        installlog::Line(std::string("destination: ") + destination +
                         (request.Scope == TInstallScope::CurrentUser ? " (for the current user)" : ""));
        // For one user, the default folder is made when it is not there yet.
        if (request.Scope == TInstallScope::CurrentUser &&
            SameFolder(destination, PerUserFolder(FSettings.FSCRName)) && !DirectoryExists932(destination))
            CreatePerUserFolder(FSettings.FSCRName);
        outcome = CheckInstallTarget(FSettings, destination, request.Scope);
        if (outcome.Result == TInstallResult::Installed) outcome = CheckOtherScope(FSettings, request.Scope);
    } else {
        outcome.Message = OutcomeText(outcome.Result);
    }
    if (outcome.Result == TInstallResult::Installed) {
        // The wizard shows that it works; destroyed on every way out, so the window is
        // enabled again. The window owns the consent prompt; "/S" shows nothing.
        const HWND owner = FMode == TRunMode::Wizard ? static_cast<HWND>(Handle()) : nullptr;
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
        if (request.Scope == TInstallScope::AllUsers)
            outcome = RunMachineStep(destination, owner);
        else
            outcome = InstallScreenSaver(FSettings,
                                         {destination, CarriedUninstaller(), TInstallScope::CurrentUser});
    }
    if (IsInstalled(outcome.Result)) FinishForUser(destination, request.SetAsCurrent, outcome);
    return outcome;
}

void TfrmMain::LogOutcome(TInstallResult result) {
    ::LogOutcome(result);
}

TSetupExit LogOutcome(TInstallResult result) {
    const TOutcomeRule& rule = OutcomeRule(result);
    installlog::Line(std::string("outcome: ") + rule.LogName + ", exit code " +
                     std::to_string(static_cast<int>(rule.Exit)));
    return rule.Exit;
}

void TfrmMain::FinishForUser(const std::string& destination, bool setAsCurrent, TInstallOutcome& outcome) {
    const TInstallPaths paths = InstallPaths(destination, FSettings.FSCRName);
    FSettings.FReadMePath = paths.ReadMePath;
    outcome.ReadMePresent = HasOwnReadMe(FSettings, paths);
    if (!setAsCurrent || !FileExists932(paths.SCRPath)) return;
    // A policy that runs another screensaver, or none, decides instead: the value is left
    // as it is (the installation itself succeeded).
    const TScreenSaverPolicy policy = ReadScreenSaverPolicy();
    const TPolicyYield yield = ScreenSaverYieldFor(policy, paths.SCRPath);
    if (yield != TPolicyYield::None) {
        installlog::Line("user: current screensaver not set, " + YieldReason(policy, yield));
        return;
    }
    const bool set = SetScreenSaver(paths.SCRPath);
    installlog::Line(
        std::string(set ? "user: current screensaver set to " : "user: current screensaver NOT set to ") +
        paths.SCRPath);
}

void TfrmMain::btnNextClick(TComponent*) {
    FWizard->Next();
}
void TfrmMain::btnPrevClick(TComponent*) {
    FWizard->Back();
}
void TfrmMain::btnCancelClick(TComponent*) {
    FWizard->Cancel();
}

void TfrmMain::CheckPage2Agree(TComponent*) {
    FWizard->Choose(&TWizardChoices::Agree, rdoPage2Agree->Checked());
}

void TfrmMain::chbxPage3InstallPathClick(TComponent*) {
    FWizard->Choose(&TWizardChoices::ChangePath, chbxPage3InstallPath->Checked());
}

void TfrmMain::btnPage3RefPathClick(TComponent*) {
    std::string folder = edtPage3Path->Text();
    if (BrowseForFolder(LoadResString(SSelectFolder),
                        boReturnOnlyFSDirs | boDontGoBelowDomain | boNewDialogStyle,
                        InstallerExcludedFolders(), folder, static_cast<HWND>(Handle())))
        edtPage3Path->SetText(folder);
}

void TfrmMain::chbxPage3SetScreenSaverClick(TComponent*) {
    FWizard->Choose(&TWizardChoices::SetAsCurrent, chbxPage3SetScreenSaver->Checked());
}

void TfrmMain::edtPage3PathChange(TComponent*) {
    FWizard->DestinationEdited();
}

void TfrmMain::rdoPage3ScopeClick(TComponent*) {
    FWizard->ScopeChosen(rdoPage3CurrentUser->Checked() ? TInstallScope::CurrentUser
                                                        : TInstallScope::AllUsers);
}

void TfrmMain::chbxPage4ShowReadMeClick(TComponent*) {
    FWizard->Choose(&TWizardChoices::ShowReadMe, chbxPage4ShowReadMe->Checked());
}
void TfrmMain::chbxPage4OpenDialogClick(TComponent*) {
    FWizard->Choose(&TWizardChoices::OpenSettings, chbxPage4OpenDialog->Checked());
}

void TfrmMain::btnPage5GetFlashPlayerClick(TComponent*) {
    OpenURL(std::string(kFlashDownloadURL));
}
