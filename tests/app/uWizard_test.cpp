#include "app/uWizard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using P = TWizardPage;
using R = TInstallResult;

// Stands in for the window and the system: records what the flow asks for.
struct TFakeHost : IWizardHost {
    TWizardView Shown;
    std::wstring Typed = L"C:\\Windows";
    std::vector<TInstallScope> Filled;
    TScreenSaverPolicy Policy;
    TPolicyYield Yield = TPolicyYield::None;
    TInstallOutcome Outcome{R::Installed, {}, true}; // with its ReadMe
    std::vector<TSetupRequest> Requests;
    std::vector<TInstallResult> Logged;
    std::string Done; // the finish actions, the boxes and the close, in order: "S" "R" "B" "X"

    void ShowView(const TWizardView& view) override { Shown = view; }
    std::wstring TypedDestination() const override { return Typed; }
    void FillDefaultDestination(TInstallScope scope) override { Filled.push_back(scope); }
    TScreenSaverPolicy ReadPolicy() override { return Policy; }
    TPolicyYield YieldFor(const TScreenSaverPolicy&, const std::wstring&) override { return Yield; }
    TInstallOutcome Install(const TSetupRequest& request) override {
        Requests.push_back(request);
        return Outcome;
    }
    void LogOutcome(TInstallResult result) override { Logged.push_back(result); }
    void ShowErrorBox(const std::string&) override { Done += 'B'; }
    void OpenScreenSaverSettings() override { Done += 'S'; }
    void OpenReadMe() override { Done += 'R'; }
    void CloseWizard() override { Done += 'X'; }
};

// Clicks: N next, B back, C cancel, A agree, D disagree; W the welcome page shown again
// awaiting the start-up's verdict, V the verdict "passed" arriving.
void Click(TWizard& w, std::string_view clicks) {
    for (char c : clicks) switch (c) {
        case 'N':
            w.Next();
            break;
        case 'B':
            w.Back();
            break;
        case 'C':
            w.Cancel();
            break;
        case 'A':
            w.Choose(&TWizardChoices::Agree, true);
            break;
        case 'D':
            w.Choose(&TWizardChoices::Agree, false);
            break;
        case 'W':
            w.StartAwaitingVerdict();
            break;
        case 'V':
            w.Start({});
            break;
        default:
            FAIL() << c;
        }
}

TWizardSetup Payload(bool licence = true) {
    TWizardSetup s;
    s.HasLicence = licence;
    return s;
}

} // namespace

TEST(WizardFlow, PageTransitions) {
    const struct {
        bool Licence;
        const char* Clicks;
        P Page;
        const char* Done;
    } rows[] = {
        {true, "", P::Welcome, ""},       {true, "N", P::Licence, ""},
        {true, "NN", P::Licence, ""}, // Next is off until the licence is agreed
        {true, "NADN", P::Licence, ""},   {true, "NAN", P::Options, ""},
        {true, "NANB", P::Licence, ""},   {true, "NANBB", P::Welcome, ""},
        {true, "B", P::Welcome, ""},  // no way back from the first page
        {false, "N", P::Options, ""}, // without licence text the licence page is skipped
        {false, "NB", P::Welcome, ""},    {true, "NANN", P::Finish, ""},
        {true, "NANNBC", P::Finish, ""},                                // nor from the last page, nor cancel
        {true, "NANNN", P::Finish, "RX"},                               // the ReadMe is ticked as designed
        {true, "NAC", P::Licence, "X"},   {true, "WN", P::Welcome, ""}, // no way on while the verdict is out
        {true, "WC", P::Welcome, "X"},    {true, "WVN", P::Licence, ""},
    };
    for (const auto& row : rows) {
        TFakeHost host;
        TWizard w(host, Payload(row.Licence));
        w.Start({});
        Click(w, row.Clicks);
        EXPECT_EQ(w.Page(), row.Page) << row.Clicks;
        EXPECT_EQ(host.Shown.Page, row.Page) << row.Clicks;
        EXPECT_EQ(host.Done, row.Done) << row.Clicks;
    }
}

// The button row of each page: the failure page shows "exit", the last page "finish",
// the page before it "install", the others "next"; the last and the failure page allow
// no way back and nothing to cancel.
TEST(WizardFlow, TheButtonsOfEveryPage) {
    const struct {
        R Startup;
        const char* Clicks;
        TStringId Caption;
        bool Next, Prev, Cancel, Shield;
    } rows[] = {
        {R::InvalidPayload, "", SCaptionExit, true, false, false, false},
        {R::Installed, "", SCaptionNext, true, false, true, false},
        {R::Installed, "W", SCaptionNext, false, false, true, false},
        {R::Installed, "N", SCaptionNext, false, true, true, false},
        {R::Installed, "NA", SCaptionNext, true, true, true, false},
        {R::Installed, "NAN", SCaptionInstall, true, true, true, true},
        {R::Installed, "NANN", SCaptionFinish, true, false, false, false},
    };
    for (const auto& row : rows) {
        TFakeHost host;
        TWizard w(host, Payload());
        w.Start({row.Startup, "why"});
        Click(w, row.Clicks);
        const TWizardButtons& v = host.Shown.Buttons;
        EXPECT_EQ(v.NextCaption, row.Caption) << row.Clicks;
        EXPECT_EQ(v.NextEnabled, row.Next) << row.Clicks;
        EXPECT_EQ(v.PrevEnabled, row.Prev) << row.Clicks;
        EXPECT_EQ(v.CancelEnabled, row.Cancel) << row.Clicks;
        EXPECT_EQ(v.Shield, row.Shield) << row.Clicks;
    }
}

// The request carries the typed folder, the scope and "set as current" as chosen; the
// scope brings its default folder unless the user changes the destination or "/D=" gave one.
TEST(WizardFlow, TheRequestIsBuiltFromTheChoices) {
    TFakeHost host;
    TWizard w(host, Payload(false));
    w.Start({});
    w.OfferDefaultDestination();
    Click(w, "N");
    w.ScopeChosen(TInstallScope::CurrentUser);
    EXPECT_FALSE(host.Shown.Buttons.Shield); // no prompt for one user
    w.Choose(&TWizardChoices::ChangePath, true);
    EXPECT_TRUE(host.Shown.PathEditable);
    w.ScopeChosen(TInstallScope::AllUsers);
    w.ScopeChosen(TInstallScope::CurrentUser);
    EXPECT_EQ(host.Filled, (std::vector{TInstallScope::AllUsers, TInstallScope::CurrentUser}));
    w.Choose(&TWizardChoices::SetAsCurrent, false);
    host.Typed = L"D:\\Savers";
    host.Outcome.Result = R::Installed;
    Click(w, "N");
    EXPECT_EQ(host.Requests,
              (std::vector<TSetupRequest>{{L"D:\\Savers", TInstallScope::CurrentUser, false}}));

    TFakeHost given;
    TWizard g(given, Payload(false));
    g.Start({});
    g.KeepDestination();
    g.OfferDefaultDestination();
    g.ScopeChosen(TInstallScope::CurrentUser);
    EXPECT_TRUE(given.Filled.empty());
}

// Where an installation's outcome leads: the finish page (with what the policies and the
// outcome leave on it), a message box over the options page, or the failure page.
TEST(WizardFlow, TheOutcomeDecidesThePage) {
    const struct {
        R Result;
        bool SettingsBlocked;
        P Page;
        const char* Done; // after the clicks, then Next
    } rows[] = {
        {R::Installed, false, P::Finish, "SRX"},
        {R::Installed, true, P::Finish, "RX"},
        {R::InstalledRestartPending, false, P::Finish, "SRX"},
        {R::NoDestination, false, P::Options, "BB"}, // the options page stays for another try
        {R::ElevationRefused, false, P::Options, "BB"},
        {R::WriteFailed, false, P::Failure, "X"},
    };
    for (const auto& row : rows) {
        TFakeHost host;
        TWizard w(host, Payload(false));
        w.Start({});
        w.Choose(&TWizardChoices::OpenSettings, true);
        host.Policy.SettingsBlocked = row.SettingsBlocked;
        host.Outcome = {row.Result, "message", true};
        Click(w, "NN");
        const int line = static_cast<int>(row.Result);
        EXPECT_EQ(w.Page(), row.Page) << line;
        EXPECT_EQ(host.Logged, std::vector{row.Result}) << line;
        if (row.Page == P::Finish) {
            EXPECT_TRUE(host.Shown.ReadMeOffered) << line;
            EXPECT_EQ(host.Shown.SettingsOffered, !row.SettingsBlocked) << line;
            EXPECT_EQ(host.Shown.OpenSettingsChecked, !row.SettingsBlocked) << line;
            EXPECT_EQ(host.Shown.RestartNote, row.Result == R::InstalledRestartPending ? "message" : "")
                << line;
        }
        if (row.Page == P::Failure) {
            EXPECT_EQ(host.Shown.FailureMessage, "message") << line;
        }
        Click(w, "N");
        EXPECT_EQ(host.Done, row.Done) << line;
    }
}

// The unattended run: a start-up that fails ends with its code and installs nothing; one
// that passes installs with the choices as designed and ends with the outcome's code.
TEST(WizardFlow, TheUnattendedRunTakesTheSameSteps) {
    TFakeHost refused;
    TWizard r(refused, Payload());
    r.Start({R::PlayerMissing, "no player"});
    EXPECT_TRUE(refused.Shown.OfferDownload);
    EXPECT_EQ(r.RunUnattended(), TSetupExit::PlayerMissing);
    EXPECT_EQ(refused.Logged, std::vector{R::PlayerMissing});
    EXPECT_TRUE(refused.Requests.empty());

    TFakeHost host;
    TWizardSetup setup = Payload();
    setup.Scope = TInstallScope::CurrentUser;
    TWizard w(host, setup);
    w.Start({});
    host.Typed = L"E:\\Given";
    host.Outcome.Result = R::InstalledRestartPending;
    EXPECT_EQ(w.RunUnattended(), TSetupExit::RestartRequired);
    EXPECT_EQ(host.Requests, (std::vector<TSetupRequest>{{L"E:\\Given", TInstallScope::CurrentUser, true}}));
    EXPECT_EQ(host.Logged, std::vector{R::InstalledRestartPending});
    EXPECT_EQ(host.Done, "");
}
