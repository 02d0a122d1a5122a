// The portable control model: alignment arithmetic, parents and owners, inherited colours
// and fonts, radio groups, memo lines and the definition of a whole form.
#include "toolkit/uForms.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(AlignRects, EdgesAreTakenInOrderAndClientGetsTheRest) {
    std::vector<TAlignItem> items = {
        {TAlign::alClient, 0, 0, 10, 10}, {TAlign::alBottom, 5, 5, 50, 39}, {TAlign::alBottom, 0, 0, 7, 2},
        {TAlign::alLeft, 0, 0, 164, 1},   {TAlign::alTop, 0, 0, 1, 58},     {TAlign::alNone, 3, 4, 5, 6},
        {TAlign::alRight, 0, 0, 20, 1},
    };
    AlignRects(580, 335, items);
    auto is = [](const TAlignItem& i, int l, int t, int w, int h) {
        return i.Left == l && i.Top == t && i.Width == w && i.Height == h;
    };
    EXPECT_TRUE(is(items[4], 0, 0, 580, 58));     // top
    EXPECT_TRUE(is(items[1], 0, 296, 580, 39));   // first bottom: at the very bottom
    EXPECT_TRUE(is(items[2], 0, 294, 580, 2));    // second bottom: above it
    EXPECT_TRUE(is(items[3], 0, 58, 164, 236));   // left, between top and bottoms
    EXPECT_TRUE(is(items[6], 560, 58, 20, 236));  // right
    EXPECT_TRUE(is(items[0], 164, 58, 396, 236)); // client
    EXPECT_TRUE(is(items[5], 3, 4, 5, 6));        // not aligned: untouched
    // More edge than room leaves zero-sized, never negative, client space.
    std::vector<TAlignItem> tight = {{TAlign::alTop, 0, 0, 0, 50}, {TAlign::alClient, 0, 0, 0, 0}};
    AlignRects(10, 20, tight);
    EXPECT_EQ(tight[1].Height, 0);
}

TEST(Controls, ParentsAlignColoursAndFonts) {
    TForm form(nullptr);
    form.SetClientSize(580, 335);
    auto* base = new TPanel(&form);
    base->SetParent(&form);
    base->SetAlign(TAlign::alClient);
    EXPECT_EQ(base->Width(), 580);
    EXPECT_EQ(base->Height(), 335);
    auto* bottom = new TPanel(&form);
    bottom->SetHeight(39);
    bottom->SetParent(base);
    bottom->SetAlign(TAlign::alBottom);
    EXPECT_EQ(bottom->Top(), 296);
    form.SetClientSize(600, 400); // a resize re-aligns all the way down
    EXPECT_EQ(bottom->Top(), 361);
    EXPECT_EQ(bottom->Width(), 600);

    base->SetColor(clWhite);
    auto* label = new TLabel(&form);
    label->SetParent(base);
    EXPECT_TRUE(label->ParentColor());
    EXPECT_EQ(label->EffectiveColor(), clWhite);
    base->SetColor(clBlack);
    EXPECT_EQ(label->EffectiveColor(), clBlack);
    label->SetColor(clWhite); // an own colour ends the inheritance
    EXPECT_FALSE(label->ParentColor());
    EXPECT_EQ(label->EffectiveColor(), clWhite);

    TFontStyle big;
    big.Height = 16;
    big.Bold = true;
    form.SetFont(big);
    EXPECT_EQ(label->EffectiveFont().Height, 16);
    EXPECT_TRUE(label->EffectiveFont().Bold);

    // Detaching keeps the control alive and owned; the parent's list forgets it.
    label->SetParent(nullptr);
    EXPECT_EQ(base->Controls().size(), 1u);
    EXPECT_EQ(form.FindComponent(label->Name()), nullptr); // unnamed
    EXPECT_EQ(label->Owner(), &form);
    EXPECT_THROW(base->SetParent(base), EComponentError);
    // Nor under one of its own descendants: the parents never form a cycle.
    EXPECT_THROW(base->SetParent(bottom), EComponentError);
    EXPECT_EQ(base->Parent(), &form);
}

TEST(Controls, ADefinitionNestingAControlUnderItselfIsRefused) {
    RegisterToolkitClasses();
    TForm form(nullptr);
    auto* a = new TPanel(&form);
    a->SetName("pA");
    a->SetParent(&form);
    auto* b = new TPanel(&form);
    b->SetName("pB");
    b->SetParent(a);
    auto* c = new TPanel(&form);
    c->SetName("pC");
    c->SetParent(b);
    // pA, pB inside it, and pA again inside pB.
    std::vector<std::uint8_t> bytes = ComponentDefBytes(form);
    const std::string inner = "pC";
    auto at = std::search(bytes.begin(), bytes.end(), inner.begin(), inner.end());
    ASSERT_NE(at, bytes.end());
    at[1] = 'A';
    TForm loaded(nullptr);
    EXPECT_THROW(loaded.LoadDefinition(bytes.data(), bytes.size()), EComponentError);
}

TEST(Controls, RadioButtonsOnOneParentExcludeEachOther) {
    TForm form(nullptr);
    auto* p1 = new TPanel(&form);
    p1->SetParent(&form);
    auto* a = new TRadioButton(&form);
    auto* b = new TRadioButton(&form);
    auto* other = new TRadioButton(&form);
    a->SetParent(p1);
    b->SetParent(p1);
    other->SetParent(&form);
    other->SetChecked(true);
    a->SetChecked(true);
    b->SetChecked(true);
    EXPECT_FALSE(a->Checked());
    EXPECT_TRUE(b->Checked());
    EXPECT_TRUE(other->Checked()); // another parent, another group
}

TEST(Controls, MemoLinesAndText) {
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(SplitLines("").empty());
    EXPECT_EQ(JoinLines({"x", "y"}), "x\r\ny\r\n");
    TMemo m(nullptr);
    m.SetMemoText("one\r\ntwo");
    EXPECT_EQ(m.Lines().size(), 2u);
    EXPECT_EQ(m.Text(), "one\r\ntwo");
}

TEST(Controls, AFormsDefinitionRestoresTheTreeAndEveryProperty) {
    RegisterToolkitClasses();
    TForm form(nullptr);
    form.SetName("frmMain");
    form.SetCaption("\x83\x65\x83\x58\x83\x67");
    form.SetBorderStyle(TFormBorderStyle::bsDialog);
    form.SetBorderIcons(biSystemMenu);
    form.SetPosition(TPosition::poScreenCenter);
    auto* panel = new TPanel(&form);
    panel->SetName("pnlBase");
    panel->SetParent(&form);
    panel->SetAlign(TAlign::alClient);
    panel->SetColor(clWhite);
    auto* btn = new TButton(&form);
    btn->SetName("btnNext");
    btn->SetParent(panel);
    btn->SetBounds(382, 10, 88, 21);
    btn->SetDefault(true);
    btn->SetEnabled(false);
    auto* memo = new TMemo(&form);
    memo->SetName("memoEULA");
    memo->SetParent(panel);
    memo->SetLines({"l1", "l2"});
    memo->SetReadOnly(true);
    memo->SetScrollBars(TScrollStyle::ssVertical);
    auto* bar = new TProgressBar(&form);
    bar->SetName("pb");
    bar->SetParent(panel);
    bar->SetRange(5, 50);
    bar->SetStep(3);
    bar->SetVisible(false);
    auto* loose = new TCheckBox(&form); // owned, without parent: stored under the root, read back onto it
    loose->SetName("chbxLoose");
    loose->SetChecked(true);

    auto def = ComponentDefBytes(form);
    TForm copy(nullptr);
    copy.LoadDefinition(def.data(), def.size());
    EXPECT_EQ(copy.Name(), "frmMain");
    EXPECT_EQ(copy.Caption(), form.Caption());
    EXPECT_EQ(copy.BorderStyle(), TFormBorderStyle::bsDialog);
    EXPECT_EQ(copy.BorderIcons(), std::uint32_t(biSystemMenu));
    EXPECT_EQ(copy.Position(), TPosition::poScreenCenter);
    auto* p2 = copy.Find<TPanel>("pnlBase");
    ASSERT_NE(p2, nullptr);
    EXPECT_EQ(p2->Parent(), &copy);
    EXPECT_EQ(p2->Color(), clWhite);
    auto* b2 = copy.Find<TButton>("btnNext");
    ASSERT_NE(b2, nullptr);
    EXPECT_EQ(b2->Parent(), p2);
    EXPECT_EQ(b2->Left(), 382);
    EXPECT_EQ(b2->Width(), 88);
    EXPECT_TRUE(b2->Default());
    EXPECT_FALSE(b2->Enabled());
    auto* m2 = copy.Find<TMemo>("memoEULA");
    EXPECT_EQ(m2->Lines(), memo->Lines());
    EXPECT_TRUE(m2->ReadOnly());
    EXPECT_EQ(m2->ScrollBars(), TScrollStyle::ssVertical);
    auto* bar2 = copy.Find<TProgressBar>("pb");
    EXPECT_EQ(bar2->Min(), 5);
    EXPECT_EQ(bar2->Max(), 50);
    EXPECT_EQ(bar2->Step(), 3);
    EXPECT_FALSE(bar2->Visible());
    auto* c2 = copy.Find<TCheckBox>("chbxLoose");
    EXPECT_EQ(c2->Parent(), &copy);
    EXPECT_TRUE(c2->Checked());
    // Writing the copy gives the same bytes.
    EXPECT_EQ(ComponentDefBytes(copy), def);
}
