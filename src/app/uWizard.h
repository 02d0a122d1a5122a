#pragma once
// The installer's flow, apart from any window: the page on show and the page each button
// leads to, the state of the buttons and of the choices, the request an installation is
// started with, and where its outcome leads. The wizard and the unattended run ("/S") take
// the same steps. The main window shows what the controller says and forwards the user's
// clicks; whatever needs the system (the registry, the installation, the shell, a message
// box) the controller asks of its host, so that the flow runs on any system.
#include "app/uInstall.h"
#include "app/uOutcomes.h"
#include "platform/uScreenSaverPolicy.h"
#include "resources/uStrings.h"

#include <string>

// The wizard's pages in order; the failure page stands apart.
enum class TWizardPage { Failure = -1, Welcome, Licence, Options, Finish };

// What the user asked for: where, for whom, and whether the screensaver becomes the
// current one. The host turns it into the installation.
struct TSetupRequest {
    std::wstring Destination; // as typed, or as given with "/D="
    TInstallScope Scope = TInstallScope::AllUsers;
    bool SetAsCurrent = true; // as far as the user's policies allow
    bool operator==(const TSetupRequest&) const = default;
};

// The check boxes and radio buttons the user sets.
struct TWizardChoices {
    bool Agree = false;        // the licence page's "agree"
    bool ChangePath = false;   // "change the destination": the path edit and its browse button
    bool SetAsCurrent = true;  // "set as the current screensaver"
    bool ShowReadMe = true;    // the finish page's "read the ReadMe"
    bool OpenSettings = false; // the finish page's "open the screen saver settings"
};

// What the controller starts from: the payload, the command line and the choices as designed.
struct TWizardSetup {
    TInstallScope Scope = TInstallScope::AllUsers;
    bool HasLicence = true; // without licence text the licence page is skipped
    bool ForceSet = false;  // always made the current screensaver: the choice is not shown
    bool Elevated = false;  // this process has administrator rights: Install needs no prompt
    TWizardChoices Choices;
};

// The button row.
struct TWizardButtons {
    TStringId NextCaption = SCaptionNext;
    bool NextEnabled = true;
    bool PrevEnabled = false;
    bool CancelEnabled = true;
    bool Shield = false; // Next asks for administrator rights
};

// What the window shows.
struct TWizardView {
    TWizardPage Page = TWizardPage::Welcome;
    TWizardButtons Buttons;
    // The options page.
    TInstallScope Scope = TInstallScope::AllUsers;
    bool PathEditable = false;
    bool SetAsCurrentVisible = true;
    bool SetAsCurrentEnabled = true;
    bool SetAsCurrentChecked = true;
    bool PolicyNoteVisible = false; // why a policy takes the choice away
    TStringId PolicyNote = SPolicySaversOff;
    // The failure page.
    std::string FailureMessage;
    bool OfferDownload = false; // the player's download
    // The finish page.
    bool ReadMeOffered = false;
    bool SettingsOffered = true; // not hidden by a policy
    bool OpenSettingsChecked = false;
    std::string RestartNote; // a file of the earlier installation goes at the next restart
};

// What the controller asks of the system and of the window.
class IWizardHost {
public:
    virtual ~IWizardHost() = default;
    // Shows the view (after every change).
    virtual void ShowView(const TWizardView& view) = 0;
    // The destination as the path edit holds it.
    virtual std::wstring TypedDestination() const = 0;
    // Puts the folder offered for scope into the path edit: where this screensaver is
    // registered for that scope, else the scope's default folder.
    virtual void FillDefaultDestination(TInstallScope scope) = 0;
    // The user's screen saver policies as they are now, and what they make of "set as the
    // current screensaver" for the screensaver installed into destination.
    virtual TScreenSaverPolicy ReadPolicy() = 0;
    virtual TPolicyYield YieldFor(const TScreenSaverPolicy& policy, const std::wstring& destination) = 0;
    // The installation as requested; errors come back as the outcome.
    virtual TInstallOutcome Install(const TSetupRequest& request) = 0;
    // The install log's last line: how the run ended and its exit code.
    virtual void LogOutcome(TInstallResult result) = 0;
    virtual void ShowErrorBox(const std::string& message) = 0;
    // The finish page's actions.
    virtual void OpenScreenSaverSettings() = 0;
    virtual void OpenReadMe() = 0;
    // Ends the wizard.
    virtual void CloseWizard() = 0;
};

class TWizard {
public:
    TWizard(IWizardHost& host, const TWizardSetup& setup);

    // The start-up's verdict as an outcome: Installed leads to the welcome page, any other
    // to the failure page with the outcome's message (and the player's download when the
    // outcome offers it).
    void Start(const TInstallOutcome& startup);
    // The welcome page while the start-up's last check is still out: Next stays off until
    // Start brings the verdict, which may still lead to the failure page instead.
    void StartAwaitingVerdict();
    // A destination given on the command line: no default ever replaces it.
    void KeepDestination() { FDestinationGiven = true; }
    // The default folder for the chosen scope into the path edit, unless one was given.
    void OfferDefaultDestination();

    // The buttons. One that is disabled does nothing.
    void Next();
    void Back();
    void Cancel();

    // The user's choices: a check box or radio button of TWizardChoices set or cleared.
    void Choose(bool TWizardChoices::*choice, bool on);
    // Brings the scope's default folder too, unless the user changes the destination.
    void ScopeChosen(TInstallScope scope);
    // The path edit's text changed: on the options page "set as the current screensaver"
    // follows the policies for the new destination.
    void DestinationEdited();

    // The unattended run: the start-up's verdict, then the installation with the choices
    // as they are (the options page's defaults). Returns the run's exit code.
    TSetupExit RunUnattended();

    TWizardPage Page() const { return FPage; }
    TWizardButtons Buttons() const;
    TWizardView View() const;
    TSetupRequest Request() const;

private:
    void Enter(TWizardPage page);
    void ShowFailure(const std::string& message);
    // The installation as requested, its outcome logged; true when it leads to the finish
    // page (a message box leaves the options page on show, a failure shows the failure page).
    bool Install();
    TInstallOutcome InstallAndLog();
    void UpdateSetAsCurrent();
    void Changed();

    IWizardHost& FHost;
    const TWizardSetup FSetup;
    TWizardChoices FChoices;
    TInstallScope FScope;
    TWizardPage FPage = TWizardPage::Welcome;
    TInstallResult FStartup = TInstallResult::Installed;
    bool FAwaitingVerdict = false;
    bool FDestinationGiven = false;
    // The policies as read when the options page was last shown, and what they make of
    // the choice for the destination typed.
    TScreenSaverPolicy FPolicy;
    TPolicyYield FYield = TPolicyYield::None;
    std::string FFailureMessage;
    bool FOfferDownload = false;
    // The finish page, from the installation's outcome.
    bool FReadMeOffered = false;
    bool FSettingsBlocked = false;
    std::string FRestartNote;
};
