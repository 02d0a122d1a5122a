#include "app/uWizard.h"

namespace {

// The licence page is skipped when the payload carries no licence text.
TWizardPage Following(TWizardPage page, bool hasLicence) {
    auto next = static_cast<TWizardPage>(static_cast<int>(page) + 1);
    if (next == TWizardPage::Licence && !hasLicence) next = TWizardPage::Options;
    return next;
}

TWizardPage Preceding(TWizardPage page, bool hasLicence) {
    auto prev = static_cast<TWizardPage>(static_cast<int>(page) - 1);
    if (prev == TWizardPage::Licence && !hasLicence) prev = TWizardPage::Welcome;
    return prev;
}

} // namespace

TWizard::TWizard(IWizardHost& host, const TWizardSetup& setup)
    : FHost(host), FSetup(setup), FChoices(setup.Choices), FScope(setup.Scope) {}

void TWizard::StartAwaitingVerdict() {
    FAwaitingVerdict = true;
    Enter(TWizardPage::Welcome);
}

void TWizard::Start(const TInstallOutcome& startup) {
    FAwaitingVerdict = false;
    FStartup = startup.Result;
    if (FStartup == TInstallResult::Installed) {
        Enter(TWizardPage::Welcome);
        return;
    }
    FOfferDownload = OutcomeRule(FStartup).OfferDownload;
    ShowFailure(startup.Message);
}

void TWizard::OfferDefaultDestination() {
    if (!FDestinationGiven) FHost.FillDefaultDestination(FScope);
}

TWizardButtons TWizard::Buttons() const {
    TWizardButtons b;
    // The last page and the failure page end the run: no way back, nothing to cancel. The
    // page before the last installs.
    switch (FPage) {
    case TWizardPage::Failure:
        b.NextCaption = SCaptionExit;
        b.CancelEnabled = false;
        break;
    case TWizardPage::Welcome:
        b.NextEnabled = !FAwaitingVerdict;
        break;
    case TWizardPage::Licence:
        b.NextEnabled = FChoices.Agree;
        b.PrevEnabled = true;
        break;
    case TWizardPage::Options:
        b.NextCaption = SCaptionInstall;
        b.PrevEnabled = true;
        break;
    case TWizardPage::Finish:
        b.NextCaption = SCaptionFinish;
        b.CancelEnabled = false;
        break;
    }
    // Only an installation for everyone asks for administrator rights.
    b.Shield = FPage == TWizardPage::Options && FScope == TInstallScope::AllUsers && !FSetup.Elevated;
    return b;
}

TWizardView TWizard::View() const {
    TWizardView v;
    v.Page = FPage;
    v.Buttons = Buttons();
    v.Scope = FScope;
    v.PathEditable = FChoices.ChangePath;
    // While a policy runs another screensaver or none, the box is unticked and disabled and
    // the note says why; otherwise it is as the user left it.
    v.SetAsCurrentVisible = !FSetup.ForceSet;
    v.SetAsCurrentEnabled = FYield == TPolicyYield::None;
    v.SetAsCurrentChecked = FYield == TPolicyYield::None && FChoices.SetAsCurrent;
    v.PolicyNoteVisible = FYield != TPolicyYield::None;
    v.PolicyNote = FYield == TPolicyYield::ForcedOther ? SPolicyForcesOther : SPolicySaversOff;

    v.FailureMessage = FFailureMessage;
    v.OfferDownload = FOfferDownload;

    v.ReadMeOffered = FReadMeOffered;
    v.SettingsOffered = !FSettingsBlocked;
    v.OpenSettingsChecked = FChoices.OpenSettings && !FSettingsBlocked;
    v.RestartNote = FRestartNote;
    return v;
}

TSetupRequest TWizard::Request() const {
    return {FHost.TypedDestination(), FScope, FChoices.SetAsCurrent};
}

void TWizard::Changed() {
    FHost.ShowView(View());
}

void TWizard::Enter(TWizardPage page) {
    FPage = page;
    // The options page comes up with the user's policies as they are now.
    if (page == TWizardPage::Options) {
        FPolicy = FHost.ReadPolicy();
        UpdateSetAsCurrent();
    }
    Changed();
}

void TWizard::ShowFailure(const std::string& message) {
    FFailureMessage = message;
    Enter(TWizardPage::Failure);
}

void TWizard::UpdateSetAsCurrent() {
    FYield = FHost.YieldFor(FPolicy, FHost.TypedDestination());
}

void TWizard::Next() {
    if (!Buttons().NextEnabled) return;
    switch (FPage) {
    case TWizardPage::Failure:
        FHost.CloseWizard();
        return;
    case TWizardPage::Finish:
        if (FChoices.OpenSettings && !FSettingsBlocked) FHost.OpenScreenSaverSettings();
        if (FChoices.ShowReadMe && FReadMeOffered) FHost.OpenReadMe();
        FHost.CloseWizard();
        return;
    case TWizardPage::Options:
        if (Install()) Enter(TWizardPage::Finish);
        return;
    default:
        Enter(Following(FPage, FSetup.HasLicence));
        return;
    }
}

void TWizard::Back() {
    if (Buttons().PrevEnabled) Enter(Preceding(FPage, FSetup.HasLicence));
}

void TWizard::Cancel() {
    if (Buttons().CancelEnabled) FHost.CloseWizard();
}

TInstallOutcome TWizard::InstallAndLog() {
    TInstallOutcome outcome = FHost.Install(Request());
    FHost.LogOutcome(outcome.Result);
    return outcome;
}

bool TWizard::Install() {
    const TInstallOutcome outcome = InstallAndLog();
    if (IsInstalled(outcome.Result)) {
        FReadMeOffered = outcome.ReadMePresent;
        // A policy that hides the screen saver settings: the finish page does not offer them.
        FSettingsBlocked = FHost.ReadPolicy().SettingsBlocked;
        // An earlier file in use goes at the next restart: the finish page says so first.
        if (outcome.Result == TInstallResult::InstalledRestartPending) FRestartNote = outcome.Message;
    }
    switch (OutcomeRule(outcome.Result).Page) {
    case TOutcomePage::Finish:
        return true;
    case TOutcomePage::Box:
        // The message box tells the user; the options page stays for another destination
        // or another try.
        FHost.ShowErrorBox(outcome.Message);
        return false;
    case TOutcomePage::Failure:
        ShowFailure(outcome.Message);
        return false;
    }
    return false;
}

TSetupExit TWizard::RunUnattended() {
    if (FStartup != TInstallResult::Installed) {
        FHost.LogOutcome(FStartup);
        return OutcomeRule(FStartup).Exit;
    }
    return OutcomeRule(InstallAndLog().Result).Exit;
}

void TWizard::Choose(bool TWizardChoices::*choice, bool on) {
    FChoices.*choice = on;
    Changed();
}

void TWizard::ScopeChosen(TInstallScope scope) {
    FScope = scope;
    if (!FChoices.ChangePath) OfferDefaultDestination();
    Changed();
}

void TWizard::DestinationEdited() {
    if (FPage != TWizardPage::Options) return;
    UpdateSetAsCurrent();
    Changed();
}
