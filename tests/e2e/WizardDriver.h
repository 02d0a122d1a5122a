#pragma once
// A running installer driven through its wizard as a user would: its pages told apart by
// what they show, its buttons found by caption, and the usual ways through it.
#include "WinDriver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

namespace e2e {

using namespace windriver;

// Captions of the wizard.
inline const std::wstring kMainClass = L"TfrmMain";
inline const std::wstring kNext = L"次へ(&N) >";
inline const std::wstring kInstall = L"インストール(&N)";
inline const std::wstring kFinish = L"完了(&N)";
inline const std::wstring kExit = L"終了(&N)";
inline const std::wstring kBack = L"< 戻る（&B）";
inline const std::wstring kCancel = L"キャンセル";
inline const std::wstring kAgree = L"使用許諾契約に同意する";
inline const std::wstring kDisagree = L"使用許諾契約に同意しない";
inline const std::wstring kChangePath = L"インストール先を変更する(&I)";
inline const std::wstring kSetCurrent = L"このスクリーンセーバーを現在のスクリーンセーバーに設定する(&T)";
inline const std::wstring kShowReadMe = L"ReadMe.txt を読む(&R)";
inline const std::wstring kOpenDialog = L"画面のプロパティを開く(&P)";
inline const std::wstring kFailedTitle = L"インストールに失敗しました";

// A running installer and its main window.
class TWizard {
public:
    explicit TWizard(const std::filesystem::path& exe, const std::wstring& switches = L"")
        : FProc(L"\"" + exe.wstring() + L"\"" + (switches.empty() ? L"" : L" " + switches)) {
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
    // The destination's box on the options page.
    HWND Edit() const { return FindControl(FMain, L"TEdit", L""); }
    // The text shown by a deactivated memo (or any memo) that starts with prefix.
    HWND MemoStartingWith(const std::wstring& prefix) const {
        for (HWND h : Descendants(FMain))
            if (ClassOf(h) == L"TMemo" && TextOf(h).starts_with(prefix)) return h;
        return nullptr;
    }

    // Presses a button and waits until the page it leads to is shown.
    void ClickAndWait(HWND button, const std::function<bool()>& arrived) {
        ASSERT_TRUE(button);
        Click(button);
        ASSERT_TRUE(WaitFor(arrived)) << "the wizard did not reach the expected page";
    }
    // From the welcome page to the options page, agreeing to the licence when there is one.
    void ToOptions() {
        ASSERT_TRUE(WaitFor([&] { return OnWelcome(); }));
        ClickAndWait(Button(kNext), [&] { return OnLicence() || OnOptions(); });
        if (!OnLicence()) return;
        Click(Radio(kAgree));
        ASSERT_TRUE(WaitFor([&] { return IsEnabled(Button(kNext)); }));
        ClickAndWait(Button(kNext), [&] { return OnOptions(); });
    }
    // Presses Install and waits for the finish or the failure page: true on the finish page.
    bool Install() {
        EXPECT_TRUE(Button(kInstall)) << "not on the options page";
        Click(Button(kInstall));
        EXPECT_TRUE(WaitFor([&] { return OnFinish() || OnFailure(); })) << "the installation did not end";
        return OnFinish();
    }
    // Answers the wizard's message box with OK and waits until the wizard can be used again.
    void Dismiss(HWND box) {
        ASSERT_TRUE(box) << "no message box";
        AnswerMessageBox(box, IDOK);
        ASSERT_TRUE(WaitFor([&] { return !FindMessageBox(FProc.Id()) && IsEnabled(FMain); }));
    }
    // Ticks "change the destination" and types folder into its box, which it returns.
    HWND TypeDestination(const std::wstring& folder) {
        HWND edit = Edit();
        Click(Check(kChangePath));
        EXPECT_TRUE(WaitFor([&] { return IsEnabled(edit); }));
        SetText(edit, folder);
        return edit;
    }
    void SetCheck(const std::wstring& caption, bool checked) {
        Click(Check(caption));
        ASSERT_TRUE(WaitFor([&] { return IsChecked(Check(caption)) == checked; }));
    }
    // The welcome page on screen, maybe before the start-up's verdict; OnWelcome: with it, as
    // Next comes on with the verdict.
    bool WelcomeShown() const {
        return MemoStartingWith(L"スクリーンセーバー インストール ウィザードへようこそ") != nullptr;
    }
    bool OnWelcome() const { return WelcomeShown() && IsEnabled(Button(kNext)); }
    bool OnLicence() const { return IsShown(Radio(kAgree)); }
    bool OnOptions() const { return IsShown(Check(kChangePath)); }
    bool OnFinish() const { return IsShown(Check(kOpenDialog)); }
    bool OnFailure() const { return IsShown(FindControl(FMain, L"TLabel", kFailedTitle)); }

    // Ends the wizard from the finish or failure page (leaving the ReadMe closed unless
    // readMe); the process exits.
    void Finish(bool readMe = true) {
        if (!readMe) SetCheck(kShowReadMe, false);
        Click(NextButton());
        EXPECT_EQ(FProc.Wait(20000), 0u);
    }
    // Cancels the wizard; the process exits.
    void Cancel() {
        Click(Button(kCancel));
        EXPECT_EQ(FProc.Wait(20000), 0u);
    }

private:
    Process FProc;
    HWND FMain = nullptr;
};

} // namespace e2e
