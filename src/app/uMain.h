#pragma once
// The installer's main window: the wizard pages (welcome, licence, options, finish) and
// the failure page above a fixed button row, read from the stored definition TFRMMAIN.
// The flow is the wizard's (uWizard.h): the window shows its view, forwards the clicks and
// choices, and does what the flow asks of the system.
#ifdef _WIN32
#include "app/uCommandLine.h"
#include "app/uInstall.h"
#include "app/uStartup.h"
#include "app/uWizard.h"
#include "platform/uScreenSaverPolicy.h"
#include "toolkit/uForms.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TBitmapList;
class TDeactiveMemo;
class TFlatBitColorBtn;
class TImage;
class TPlayerProbeInBackground;

// Who the window is set up for: the wizard, the starter of an unattended run (which leaves
// the screensaver's bytes and their digest to the machine-wide step: a large screensaver is
// inflated and hashed once, not twice), or that step.
enum class TRunMode { Wizard, Unattended };

class TfrmMain : public TForm, private IWizardHost {
public:
    // Reads the window's definition from the program's resources and sets the window up
    // (FormCreate): the first page on show is the welcome page or the failure page. For
    // the machine-wide step the start-up checks only what that step relies on (the
    // container's binding, the digest, the name), not the player.
    // scope: for whom the installation is at first (the options page lets the wizard's user
    // choose; "/S" keeps it).
    explicit TfrmMain(TComponent* owner, TRunMode mode = TRunMode::Wizard,
                      TInstallScope scope = TInstallScope::AllUsers);
    ~TfrmMain() override;
    std::string ClassName() const override { return "TfrmMain"; }

    void FormCreate();
    void FormDestroy();

    // The destination given on the command line ("/D="): the path edit's text, which no
    // default replaces.
    void SetDestination(const std::wstring& folder);
    // The unattended installation ("/S"): the start-up verdict, then the installation into
    // the path edit's folder with the options page's defaults, without showing anything.
    // The window is never shown.
    TSetupExit InstallSilently();
    const TPayloadSettings& Settings() const { return FSettings; }

    // Event handlers: each forwards the click or the choice to the wizard's flow.
    void btnNextClick(TComponent* sender);
    void btnPrevClick(TComponent* sender);
    void btnCancelClick(TComponent* sender);
    void CheckPage2Agree(TComponent* sender);
    void chbxPage3InstallPathClick(TComponent* sender);
    void btnPage3RefPathClick(TComponent* sender);
    void rdoPage3ScopeClick(TComponent* sender);
    void chbxPage3SetScreenSaverClick(TComponent* sender);
    void edtPage3PathChange(TComponent* sender);
    void chbxPage4ShowReadMeClick(TComponent* sender);
    void chbxPage4OpenDialogClick(TComponent* sender);
    void btnPage5GetFlashPlayerClick(TComponent* sender);

    // Components of the definition.
    TPanel* pnlBase{};
    TButton* btnPrev{};
    TButton* btnNext{};
    TButton* btnCancel{};
    TPanel* pnlPage1{};
    TPanel* pnlPage2{};
    TPanel* pnlPage2Top{};
    TPanel* pnlPage3{};
    TPanel* pnlPage3Top{};
    TPanel* pnlPage4{};
    TPanel* pnlPage5{};
    TImage* imgLeft{};
    TImage* imgIcon{};
    TDeactiveMemo* dmemoPage1Explain{};
    TMemo* memoPage2EULA{};
    TRadioButton* rdoPage2Agree{};
    TRadioButton* rdoPage2Disagree{};
    TCheckBox* chbxPage3InstallPath{};
    TEdit* edtPage3Path{};
    TButton* btnPage3RefPath{};
    TCheckBox* chbxPage3SetScreenSaver{};
    TLabel* lblPage3Policy{};
    TRadioButton* rdoPage3AllUsers{};
    TRadioButton* rdoPage3CurrentUser{};
    TCheckBox* chbxPage4ShowReadMe{};
    TCheckBox* chbxPage4OpenDialog{};
    TDeactiveMemo* dmemoPage4Explain{};
    TDeactiveMemo* dmemoPage5Message{};
    TFlatBitColorBtn* btnPage5GetFlashPlayer{};
    TBitmapList* bmplstImages{};

private:
    struct TPage {
        TPanel* Page;
        TPanel* Header; // where the icon goes on this page; null for none
    };
    void BindComponents();
    void AddPage(TPanel* page, TPanel* header);
    // Puts the view's page into the base panel, with what that page says on arrival.
    void ShowPage(const TWizardView& view);
    void ReplacePicture(TImage* image, const std::vector<std::uint8_t>& bmpFile);
    // The start-up's verdict shown: the first page, and the log's line.
    void StartWith(const TStartupVerdict& verdict);
    // The player's answer is in: the verdict so far is completed with it.
    void PlayerAnswered();
    std::intptr_t WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    // The part of an installation that belongs to the user, after the machine-wide step
    // succeeded: the current screensaver (HKCU) when chosen, the paths the finish page opens.
    void FinishForUser(const std::string& destination, bool setAsCurrent, TInstallOutcome& outcome);

    // What the wizard's flow asks of the window and of the system.
    void ShowView(const TWizardView& view) override;
    // The path edit's own text in UTF-16 (nothing lost to a conversion), or the "/D=" text
    // of an unattended run.
    std::wstring TypedDestination() const override;
    // The folder this screensaver is registered in for scope, else that scope's default.
    void FillDefaultDestination(TInstallScope scope) override;
    TScreenSaverPolicy ReadPolicy() override;
    TPolicyYield YieldFor(const TScreenSaverPolicy& policy, const std::wstring& destination) override;
    // The installation into the requested destination, the same for the wizard (the
    // notifier covers its window, which owns the consent prompt) and "/S" (nothing shown):
    // the target checked, the machine-wide step, then the user's part.
    TInstallOutcome Install(const TSetupRequest& request) override;
    void LogOutcome(TInstallResult result) override;
    void ShowErrorBox(const std::string& message) override;
    // Opens the screen saver settings for the user, and logs what was started.
    void OpenScreenSaverSettings() override;
    void OpenReadMe() override;
    void CloseWizard() override { Close(); }

    std::wstring FCommandLineDestination;
    TRunMode FMode = TRunMode::Wizard;
    TInstallScope FCommandLineScope = TInstallScope::AllUsers;
    TPanel* FCurrentPage = nullptr;
    std::vector<TPage> FPages;
    TPayloadSettings FSettings;
    // The flow, set up once the payload's settings are read.
    std::optional<TWizard> FWizard;
    // While the player is asked: the question and the verdict of the checks before it.
    std::unique_ptr<TPlayerProbeInBackground> FPlayerProbe;
    TStartupVerdict FVerdictSoFar;
    // The page and the shield last shown; no page before the first.
    std::optional<TWizardPage> FShownPage;
    bool FShownShield = false;
};

// Writes the outcome and its exit code into the install log; returns that exit code.
TSetupExit LogOutcome(TInstallResult result);

// The command line that opens the screen saver settings by their canonical name, with
// control.exe named by its full path in the system directory (never searched for beside the
// installer); empty when that directory cannot be found.
std::wstring ScreenSaverSettingsCommandLine();
// The Settings page that leads to them where control.exe cannot be started.
inline constexpr wchar_t kScreenSaverSettingsPage[] = L"ms-settings:lockscreen";
#endif
