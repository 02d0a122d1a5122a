// The notifier's model: its window and controls, the states, the owner it disables, the
// message writer's rules and "ClassData". Runs on the host (no text measured, no frame)
// and on Windows alike.
#include "components/uNotifier.h"
#include "components/uRegister.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class NotifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterToolkitClasses();
        RegisterSystemComponents();
        Application.Title = "Installer";
    }
};

std::size_t Occurrences(const std::vector<std::uint8_t>& data, const std::string& what) {
    std::size_t n = 0;
    for (auto it = data.begin(); (it = std::search(it, data.end(), what.begin(), what.end())) != data.end();
         ++it)
        ++n;
    return n;
}

} // namespace

TEST_F(NotifierTest, CreationBuildsAStayOnTopWindowWithoutButtons) {
    TNotifier n(nullptr);
    TNotifyForm* w = n.Window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Owner(), &n);
    EXPECT_EQ(w->FormStyle(), TFormStyle::fsStayOnTop);
    EXPECT_EQ(w->BorderStyle(), TFormBorderStyle::bsDialog);
    EXPECT_EQ(w->BorderIcons(), 0u);
    EXPECT_EQ(n.Caption(), "Installer");
    EXPECT_FALSE(n.Showing());
    EXPECT_FALSE(n.IsCancel());

    TButton* b = n.CancelButton();
    EXPECT_FALSE(b->Visible());
    EXPECT_EQ(b->Height(), 20);
    EXPECT_EQ(b->Width(), 75);
    EXPECT_TRUE(b->Cancel());
    EXPECT_EQ(b->Caption(), "\xB7\xAC\xDD\xBE\xD9(&C)");
    EXPECT_EQ(b->Parent(), w);
    EXPECT_FALSE(n.ProgressBar()->Visible());
    EXPECT_EQ(n.ProgressBar()->Min(), 0);
    EXPECT_EQ(n.ProgressBar()->Max(), 100);
    EXPECT_EQ(n.ProgressBar()->Step(), 10);
    EXPECT_TRUE(n.MsgLabel()->AutoSize());

    n.SetBorderStyle(TFormBorderStyle::bsToolWindow);
    EXPECT_EQ(w->BorderStyle(), TFormBorderStyle::bsToolWindow);
}

TEST_F(NotifierTest, ShowingDisablesTheOwnerAndEveryWayOutEnablesIt) {
    TForm owner(nullptr);
    auto* n = new TNotifier(&owner);
    n->SetCaption("");
    n->ShowCenteredIn({0, 0, 1000, 800});
    EXPECT_TRUE(n->Showing());
    EXPECT_TRUE(n->Window()->Visible());
    EXPECT_FALSE(owner.Enabled());
    n->Hide();
    EXPECT_FALSE(n->Showing());
    EXPECT_FALSE(n->Window()->Visible());
    EXPECT_TRUE(owner.Enabled());

    // The cancel button: IsCancel stays until the next show, OnCancel gets the notifier.
    n->SetCanCancel(true);
    TComponent* sender = nullptr;
    n->OnCancel = [&](TComponent* s) { sender = s; };
    n->ShowCenteredOnScreen();
    EXPECT_TRUE(n->CancelButton()->Visible());
    n->CancelButton()->Click();
    EXPECT_TRUE(n->IsCancel());
    EXPECT_EQ(sender, n);
    EXPECT_FALSE(n->Showing());
    EXPECT_TRUE(owner.Enabled());
    n->ShowCenteredOn(nullptr);
    EXPECT_FALSE(n->IsCancel());

    delete n; // destroyed while showing
    EXPECT_TRUE(owner.Enabled());
}

TEST_F(NotifierTest, AnOnCancelHandlerMayFreeTheNotifier) {
    TForm owner(nullptr);
    auto* n = new TNotifier(&owner);
    n->SetCanCancel(true);
    bool called = false;
    n->OnCancel = [&](TComponent* sender) {
        called = true;
        delete sender;
    };
    n->ShowCenteredIn({0, 0, 100, 100});
    EXPECT_FALSE(owner.Enabled());
    n->CancelButton()->Click();
    EXPECT_TRUE(called);
    EXPECT_TRUE(owner.Components().empty());
    EXPECT_TRUE(owner.Enabled());
}

TEST_F(NotifierTest, AnOwnerDisabledByOthersStaysDisabled) {
    TForm owner(nullptr);
    owner.SetEnabled(false);
    TNotifier n(&owner);
    n.ShowCenteredIn({0, 0, 100, 100});
    n.Hide();
    EXPECT_FALSE(owner.Enabled());
}

TEST_F(NotifierTest, ArrangePlacesTheWindowInTheTargetRectangle) {
    TNotifier n(nullptr);
    n.SetCaption("");
    n.SetMsg("wait");
    // Before any show: arranged against an all-zero rectangle.
    EXPECT_EQ(n.TargetRect().Right, 0);
    n.ShowCenteredIn({100, 50, 1100, 850});
    TNotifyForm* w = n.Window();
    // The label's own size (65 x 13 on the host, measured on Windows) and the window frame.
    const std::int32_t lw = n.MsgLabel()->Width(), lh = n.MsgLabel()->Height();
    auto frame = [w](std::int32_t& fw, std::int32_t& fh) {
        w->OuterSize(fw, fh);
        fw -= w->ClientWidth();
        fh -= w->ClientHeight();
    };
    std::int32_t fw = 0, fh = 0;
    frame(fw, fh);
    const std::int32_t cw = (lw * 12 + 5) / 10;
    EXPECT_EQ(w->ClientHeight(), lh + 30);
    EXPECT_EQ(w->ClientWidth(), cw);
    EXPECT_EQ(n.MsgLabel()->Left(), 9);
    EXPECT_EQ(n.MsgLabel()->Top(), 15);
    EXPECT_EQ(w->Left(), 100 + (1000 - (cw + fw)) / 2);
    EXPECT_EQ(w->Top(), 50 + (800 - (lh + 30 + fh)) / 2);
    EXPECT_EQ(n.LastLabelWidth(), lw);
    EXPECT_EQ(n.LastLabelHeight(), lh);

    n.SetMsg("w"); // narrower than the cancel button everywhere
    n.SetShowProgressBar(true);
    n.SetCanCancel(true);
    n.ShowCenteredIn({0, 0, 20, 20}); // smaller than the window: negative offsets
    const std::int32_t lh2 = n.MsgLabel()->Height();
    frame(fw, fh);
    EXPECT_EQ(w->ClientHeight(), lh2 + 30 + 20 + 16);
    EXPECT_EQ(w->ClientWidth(), 90); // the button's 75 x 1.2
    EXPECT_EQ(n.MsgLabel()->Top(), 8);
    EXPECT_EQ(n.ProgressBar()->Top(), 8 + lh2 + 12);
    EXPECT_EQ(n.ProgressBar()->Width(), 90 - 16);
    EXPECT_EQ(n.CancelButton()->Top(), n.ProgressBar()->Top() + 16 + 4);
    EXPECT_EQ(n.CancelButton()->Left(), (90 - 75) / 2);
    EXPECT_EQ(w->Left(), (20 - (90 + fw)) / 2);
    EXPECT_EQ(w->Top(), (20 - (lh2 + 66 + fh)) / 2);
    EXPECT_TRUE(n.ProgressBar()->Visible());
    EXPECT_TRUE(n.CancelButton()->Visible());

    n.SetShowProgressBar(false);
    n.SetCanCancel(false);
    n.ShowCenteredIn({0, 0, 20, 20});
    EXPECT_FALSE(n.ProgressBar()->Visible());
    EXPECT_FALSE(n.CancelButton()->Visible());
}

TEST_F(NotifierTest, ClassDataIsAlwaysWrittenAndCarriesTheBarSettings) {
    TForm form(nullptr);
    form.SetName("frm");
    auto* n = new TNotifier(&form);
    n->SetName("ntf");
    auto plain = ComponentDefBytes(form);
    EXPECT_EQ(Occurrences(plain, "ClassData"), 1u);
    EXPECT_EQ(Occurrences(plain, "SCDF"), 2u); // the window's and the nested one
    EXPECT_EQ(Occurrences(plain, "TProgressBar"), 1u);

    n->ProgressBar()->SetRange(5, 250);
    n->ProgressBar()->SetStep(7);
    n->ProgressBar()->SetSmooth(true);
    n->SetMsg("\x82\xA8\x91\xD2\x82\xBF");
    n->SetAdjustWidth(true);
    n->SetBorderStyle(TFormBorderStyle::bsSingle);
    n->SetAdditionalCreateParams(0x00800000);
    n->SetCaption("");
    auto def = ComponentDefBytes(form);

    TForm again(nullptr);
    again.LoadDefinition(def.data(), def.size());
    auto* m = again.Find<TNotifier>("ntf");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->ProgressBar()->Min(), 5);
    EXPECT_EQ(m->ProgressBar()->Max(), 250);
    EXPECT_EQ(m->ProgressBar()->Step(), 7);
    EXPECT_TRUE(m->ProgressBar()->Smooth());
    EXPECT_EQ(m->Msg(), "\x82\xA8\x91\xD2\x82\xBF");
    EXPECT_EQ(m->Caption(), ""); // not the title it was created with
    EXPECT_TRUE(m->AdjustWidth());
    EXPECT_EQ(m->BorderStyle(), TFormBorderStyle::bsSingle);
    EXPECT_EQ(m->Window()->BorderStyle(), TFormBorderStyle::bsSingle);
    EXPECT_EQ(m->AdditionalCreateParams(), 0x00800000u);
    // The bar's nested definition does not make it a component of the window.
    EXPECT_EQ(m->ProgressBar()->Owner(), m);
    EXPECT_EQ(m->ProgressBar()->Parent(), m->Window());
}
