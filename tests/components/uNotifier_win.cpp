// The notifier with real windows: shown on an owner window it disables it, sizes itself to
// its message, answers its cancel button and Escape, and every way out enables the owner.
#include "components/uNotifier.h"

#include "MemoFormTest.h"

#include <cstdlib>

namespace {

std::wstring TextOf(HWND h) {
    wchar_t buf[256];
    int n = GetWindowTextW(h, buf, 256);
    return std::wstring(buf, n > 0 ? n : 0);
}

RECT WindowRect(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return r;
}

// The window's centre is the screen's, give or take a pixel of rounding.
bool CentredOnTheScreen(HWND h) {
    const RECT r = WindowRect(h);
    return std::abs(r.left + r.right - GetSystemMetrics(SM_CXSCREEN)) <= 2 &&
           std::abs(r.top + r.bottom - GetSystemMetrics(SM_CYSCREEN)) <= 2;
}

RECT ClientRect(HWND h) {
    RECT r{};
    GetClientRect(h, &r);
    return r;
}

class NotifierWin : public MemoFormTest {
protected:
    void SetUp() override {
        Application.Title = "Notifier test";
        MemoFormTest::SetUp();
        Form->SetBounds(100, 80, 400, 300);
        ShowForm();
        Owner = Hwnd(Form.get());
        Ntf = Form->Find<TNotifier>("ntfWait");
        ASSERT_NE(Ntf, nullptr);
    }
    HWND Owner = nullptr;
    TNotifier* Ntf = nullptr;
};

} // namespace

TEST_F(NotifierWin, ShownOnItsOwnerItDisablesItAndSizesToTheMessage) {
    Ntf->ShowCenteredOn(Form.get());
    HWND w = Hwnd(Ntf->Window());
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_FALSE(IsWindowEnabled(Owner));
    EXPECT_EQ(GetWindow(w, GW_OWNER), Owner);
    EXPECT_TRUE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(GetWindowLongW(w, GWL_STYLE) & WS_SYSMENU);
    EXPECT_EQ(TextOf(w), L"Notifier test");
    HWND label = Hwnd(Ntf->MsgLabel());
    EXPECT_EQ(TextOf(label), L"\u304a\u5f85\u3061\u304f\u3060\u3055\u3044"); // お待ちください

    // Centred on the owner's window.
    RECT o = WindowRect(Owner), n = WindowRect(w);
    EXPECT_LE(std::abs((o.left + o.right) - (n.left + n.right)), 2);
    EXPECT_LE(std::abs((o.top + o.bottom) - (n.top + n.bottom)), 2);
    // Label height + 30, the label 15 below the top when there is neither bar nor button.
    RECT c = ClientRect(w), l = WindowRect(label);
    const int oneLine = l.bottom - l.top;
    EXPECT_GT(oneLine, 5);
    EXPECT_EQ(c.bottom, oneLine + MulDiv(30, ScreenDpi(), 96));
    POINT p{l.left, l.top};
    ScreenToClient(w, &p);
    EXPECT_EQ(p.x, MulDiv(9, ScreenDpi(), 96));
    EXPECT_EQ(p.y, MulDiv(15, ScreenDpi(), 96));

    // A taller message re-sizes the window.
    Ntf->SetMsg("first line\r\nsecond line");
    RECT taller = ClientRect(w);
    EXPECT_GT(taller.bottom, c.bottom + oneLine / 2);
    EXPECT_EQ(Ntf->LastLabelHeight(), Ntf->MsgLabel()->Height());

    // A wider message of the same height keeps the size without AdjustWidth...
    RECT before = WindowRect(w);
    Ntf->SetMsg("first line, now a good deal longer than before\r\nsecond line");
    RECT after = WindowRect(w);
    EXPECT_EQ(std::make_pair(after.right - after.left, after.bottom - after.top),
              std::make_pair(before.right - before.left, before.bottom - before.top));
    EXPECT_EQ(Ntf->LastLabelWidth(), Ntf->MsgLabel()->Width()); // remembered all the same
    // ...and grows with it.
    Ntf->SetAdjustWidth(true);
    Ntf->SetMsg("first line, now a good deal longer than before and longer still\r\nsecond line");
    EXPECT_GT(WindowRect(w).right - WindowRect(w).left, after.right - after.left);
    // Content width x 1.2: the label (the widest part) is 9 from the left edge.
    const int labelW = Ntf->MsgLabel()->Width();
    EXPECT_NEAR(ClientRect(w).right, MulDiv(labelW * 12 / 10, ScreenDpi(), 96), 2);

    Ntf->Hide();
    EXPECT_FALSE(IsWindowVisible(w));
    EXPECT_TRUE(IsWindowEnabled(Owner));
    EXPECT_FALSE(Ntf->Showing());
}

TEST_F(NotifierWin, TheCancelButtonAndEscapeSetIsCancelAndHide) {
    Ntf->SetCanCancel(true);
    Ntf->SetShowProgressBar(true);
    int cancels = 0;
    Ntf->OnCancel = [&](TComponent*) { ++cancels; };
    Ntf->ShowCenteredOnScreen(); // not on its owner
    HWND w = Hwnd(Ntf->Window());
    HWND button = Hwnd(Ntf->CancelButton());
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(IsWindowVisible(button));
    EXPECT_TRUE(IsWindowVisible(Hwnd(Ntf->ProgressBar())));
    EXPECT_TRUE(CentredOnTheScreen(w));
    EXPECT_EQ(TextOf(button), L"\uff77\uff6c\uff9d\uff7e\uff99(&C)"); // ｷｬﾝｾﾙ(&C)
    EXPECT_FALSE(IsWindowEnabled(Owner));

    SendMessageW(button, BM_CLICK, 0, 0);
    EXPECT_TRUE(Ntf->IsCancel());
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(Ntf->Showing());
    EXPECT_FALSE(IsWindowVisible(w));
    EXPECT_TRUE(IsWindowEnabled(Owner));

    // The next show clears it; Escape in the window presses the button.
    Ntf->ShowCenteredOn(Form.get());
    EXPECT_FALSE(Ntf->IsCancel());
    SetForegroundWindow(w);
    SetFocus(button);
    PostMessageW(button, WM_KEYDOWN, VK_ESCAPE, 0);
    Application.ProcessMessages();
    EXPECT_TRUE(Ntf->IsCancel());
    EXPECT_EQ(cancels, 2);
    EXPECT_FALSE(IsWindowVisible(w));
    EXPECT_TRUE(IsWindowEnabled(Owner));

    // Closing the window from the keyboard does not get round the notifier (shown on no
    // control: on the screen).
    Ntf->ShowCenteredOn(nullptr);
    EXPECT_TRUE(CentredOnTheScreen(w));
    SendMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_TRUE(Ntf->Showing());
    Ntf->Hide();
}

TEST_F(NotifierWin, DestroyingItWhileShowingEnablesTheOwner) {
    auto* n = new TNotifier(Form.get());
    n->SetAdditionalCreateParams(WS_HSCROLL);
    n->SetCaption("");
    n->SetMsg("\x83X\x83N\x83\x8A\x81[\x83\x93\x83Z\x81[\x83o\x81[\x83\x43\x83\x93\x83X\x83g\x81["
              "\x83\x8B\x92\x86...");
    n->ShowCenteredOn(Form.get());
    HWND w = Hwnd(n->Window());
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(GetWindowLongW(w, GWL_STYLE) & WS_HSCROLL);
    EXPECT_EQ(TextOf(w), L"");
    EXPECT_FALSE(IsWindowEnabled(Owner));
    delete n;
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(IsWindowEnabled(Owner));
    EXPECT_TRUE(Form->Enabled());
}

TEST_F(NotifierWin, AnOnCancelHandlerThatFreesTheNotifierLeavesNothingBehind) {
    auto* n = new TNotifier(Form.get());
    n->SetCanCancel(true);
    n->OnCancel = [](TComponent* sender) { delete sender; };
    n->ShowCenteredOn(Form.get());
    HWND w = Hwnd(n->Window());
    HWND button = Hwnd(n->CancelButton());
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(IsWindowEnabled(Owner));
    SendMessageW(button, BM_CLICK, 0, 0);
    Application.ProcessMessages();
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(IsWindowEnabled(Owner));
    int notifiers = 0;
    for (TComponent* c : Form->Components()) notifiers += dynamic_cast<TNotifier*>(c) != nullptr;
    EXPECT_EQ(notifiers, 1); // only the one from the definition
}
