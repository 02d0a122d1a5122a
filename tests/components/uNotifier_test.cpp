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

// The arithmetic is ArrangeNotifier's (uNotifierLayout_test); here: the window takes the
// label's measured size and the frame into it, and shows the bar and button it is told to.
TEST_F(NotifierTest, ArrangePlacesTheWindowInTheTargetRectangle) {
    TNotifier n(nullptr);
    n.SetCaption("");
    n.SetMsg("w");                      // narrower than the cancel button everywhere
    EXPECT_EQ(n.TargetRect().Right, 0); // before any show: an all-zero rectangle
    n.SetShowProgressBar(true);
    n.SetCanCancel(true);
    n.ShowCenteredIn({100, 50, 1100, 850});
    TNotifyForm* w = n.Window();
    const std::int32_t lh = n.MsgLabel()->Height();
    std::int32_t fw = 0, fh = 0;
    w->OuterSize(fw, fh);
    fw -= w->ClientWidth();
    fh -= w->ClientHeight();
    EXPECT_EQ(w->ClientHeight(), lh + 30 + 20 + 16);
    EXPECT_EQ(w->ClientWidth(), 90); // the button's 75 x 1.2
    EXPECT_EQ(n.ProgressBar()->Top(), 8 + lh + 12);
    EXPECT_EQ(n.CancelButton()->Top(), n.ProgressBar()->Top() + 16 + 4);
    EXPECT_EQ(w->Left(), 100 + (1000 - (90 + fw)) / 2);
    EXPECT_EQ(w->Top(), 50 + (800 - (lh + 66 + fh)) / 2);
    EXPECT_EQ(n.LastLabelWidth(), n.MsgLabel()->Width());
    EXPECT_EQ(n.LastLabelHeight(), lh);
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
