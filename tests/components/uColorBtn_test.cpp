// The colour buttons' model without windows: published properties and their defaults in a
// stored definition, the bitmap list reference, font syncing, hot tracking events, the
// Down rule with DownFixed and the process-wide group exclusion, and the theme states.
#include "components/uColorBtn.h"
#include "components/uRegister.h"
#include "components/uXPUtils.h"
#include "toolkit/uForms.h"

#include "store/uErrors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// Names of the properties a component writes into a definition (those differing from
// their defaults), in order.
std::vector<std::string> StoredNames(TComponent& c) {
    TPropList props;
    c.GetProperties(props);
    std::vector<std::string> names;
    for (const auto& p : props.Items())
        if ((!p.Default || !(p.Get() == *p.Default)) && (!p.Stored || p.Stored())) names.push_back(p.Name);
    return names;
}

bool Has(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

class ColorBtnModel : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterToolkitClasses();
        RegisterSystemComponents();
    }
};

} // namespace

TEST_F(ColorBtnModel, CreationValuesAndWhatIsStored) {
    TForm form(nullptr);
    auto* plain = new TColorBtn(&form);
    plain->SetParent(&form);
    EXPECT_TRUE(plain->ParentColor());
    EXPECT_TRUE(plain->Emphasis());
    EXPECT_TRUE(plain->UseTheme());
    EXPECT_FALSE(plain->SyncFontColor());
    // With ParentColor the button shows the form's colour.
    form.SetColor(0x336699);
    EXPECT_EQ(plain->EffectiveColor(), 0x336699);
    const auto stored = StoredNames(*plain);
    for (const char* n : {"Color", "ParentColor", "Emphasis", "UseTheme", "SyncFontColor"})
        EXPECT_FALSE(Has(stored, n)) << n;

    auto* bit = new TBitColorBtn(&form);
    EXPECT_EQ(bit->ImageID(), "Image");
    EXPECT_EQ(bit->CaptionPosition(), cpBottom);
    const auto bitStored = StoredNames(*bit);
    EXPECT_FALSE(Has(bitStored, "ImageID")); // the creation value is the default
    EXPECT_FALSE(Has(bitStored, "CaptionPosition"));
    EXPECT_FALSE(Has(bitStored, "BitmapList"));

    auto* flat = new TFlatBitColorBtn(&form);
    EXPECT_FALSE(flat->Emphasis()); // the flat button starts without emphasis...
    const auto flatStored = StoredNames(*flat);
    EXPECT_TRUE(Has(flatStored, "Emphasis")); // ...which differs from the published default
    // Down, DownFixed, ClosingLine and ClosingLineColor have no default: always stored.
    for (const char* n : {"Down", "DownFixed", "ClosingLine", "ClosingLineColor"})
        EXPECT_TRUE(Has(flatStored, n)) << n;
    for (const char* n : {"GroupIndex", "Cool", "Toggle"}) EXPECT_FALSE(Has(flatStored, n)) << n;
}

TEST_F(ColorBtnModel, DefinitionRoundTripWithTheBitmapListReference) {
    TForm form(nullptr);
    form.SetName("frmTest");
    auto* btn = new TFlatBitColorBtn(&form);
    btn->SetName("btnGet");
    btn->SetParent(&form);
    // The list is created after the button, so it is stored after it too: on reading, the
    // reference is resolved when loading ends.
    auto* list = new TBitmapList(&form);
    list->SetName("blImages");
    btn->SetBitmapList(list);
    btn->SetCaptionPosition(cpNone);
    btn->SetImageID("GetFlashPlayer");
    btn->SetDisableID("Grey");
    btn->SetCursor(TCursor::crHandPoint);
    btn->SetGroupIndex(7);
    btn->SetToggle(true);
    btn->SetCool(true);
    btn->SetClosingLine(true);
    btn->SetClosingLineColor(0x0000FF);
    btn->SetDownFixed(true);
    btn->SetUseTheme(false);
    btn->SetColor(0xC0FFC0);
    btn->SetVisible(false);
    // A button whose colour gave way to its parent's again, and whose image name was emptied.
    auto* plain = new TBitColorBtn(&form);
    plain->SetName("btnPlain");
    plain->SetParent(&form);
    plain->SetColor(0xC0FFC0);
    plain->SetParentColor(true);
    plain->SetImageID("");
    const auto bytes = ComponentDefBytes(form);

    TForm loaded(nullptr);
    ReadComponentDef(bytes.data(), bytes.size(), loaded);
    auto* got = loaded.Find<TFlatBitColorBtn>("btnGet");
    auto* gotList = loaded.Find<TBitmapList>("blImages");
    ASSERT_NE(got, nullptr);
    ASSERT_NE(gotList, nullptr);
    EXPECT_EQ(got->BitmapList(), gotList);
    EXPECT_EQ(gotList->Clients().size(), 1u);
    EXPECT_EQ(got->CaptionPosition(), cpNone);
    EXPECT_EQ(got->ImageID(), "GetFlashPlayer");
    EXPECT_EQ(got->DisableID(), "Grey");
    EXPECT_EQ(got->Cursor(), TCursor::crHandPoint);
    EXPECT_EQ(got->GroupIndex(), 7);
    EXPECT_TRUE(got->Toggle());
    EXPECT_TRUE(got->Cool());
    EXPECT_TRUE(got->ClosingLine());
    EXPECT_EQ(got->ClosingLineColor(), 0x0000FF);
    EXPECT_TRUE(got->DownFixed());
    EXPECT_FALSE(got->Down());
    EXPECT_FALSE(got->UseTheme());
    EXPECT_FALSE(got->Emphasis());
    EXPECT_FALSE(got->ParentColor());
    EXPECT_EQ(got->Color(), 0xC0FFC0);
    EXPECT_FALSE(got->Visible());
    auto* gotPlain = loaded.Find<TBitColorBtn>("btnPlain");
    ASSERT_NE(gotPlain, nullptr);
    EXPECT_TRUE(gotPlain->ParentColor());
    EXPECT_EQ(gotPlain->ImageID(), "");
    // Written again, the loaded form gives the same bytes.
    EXPECT_EQ(ComponentDefBytes(loaded), bytes);
}

TEST_F(ColorBtnModel, AReferenceToAMissingListIsCorruptData) {
    TForm form(nullptr);
    auto* btn = new TBitColorBtn(&form);
    btn->SetName("btnX");
    btn->SetParent(&form);
    auto* list = new TBitmapList(&form);
    list->SetName("blGone");
    btn->SetBitmapList(list);
    auto bytes = ComponentDefBytes(form);
    // Rename the list in the stored bytes so that the reference finds nothing.
    const std::string from = "blGone", to = "blLost";
    auto it = std::search(bytes.begin() + 5, bytes.end(), from.begin(), from.end());
    it = std::search(it + 1, bytes.end(), from.begin(), from.end()); // the list's own name
    ASSERT_NE(it, bytes.end());
    std::copy(to.begin(), to.end(), it);
    TForm loaded(nullptr);
    EXPECT_THROW(ReadComponentDef(bytes.data(), bytes.size(), loaded), ECorruptData);
}

TEST_F(ColorBtnModel, BitmapListAttachAndDetach) {
    TForm form(nullptr);
    auto list1 = std::make_unique<TBitmapList>(nullptr);
    auto list2 = std::make_unique<TBitmapList>(nullptr);
    auto* btn = new TBitColorBtn(&form);
    btn->SetBitmapList(list1.get());
    btn->SetBitmapList(list1.get()); // unchanged: still one registration
    ASSERT_EQ(list1->Clients().size(), 1u);
    EXPECT_EQ(btn->GetBitmapList(), list1.get());
    btn->SetBitmapList(list2.get());
    EXPECT_TRUE(list1->Clients().empty());
    EXPECT_EQ(list2->Clients().size(), 1u);

    std::vector<std::string> names;
    btn->SetImageID("Badge");
    btn->GetImageNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Badge"}));

    // A destroyed list leaves the button without one.
    list2.reset();
    EXPECT_EQ(btn->BitmapList(), nullptr);
    // A destroyed button leaves the list.
    btn->SetBitmapList(list1.get());
    delete btn;
    EXPECT_TRUE(list1->Clients().empty());
}

TEST_F(ColorBtnModel, ImagesComeFromTheListByTheCurrentName) {
    TBitmapList list(nullptr);
    TBitmap normal(4, 3, TPixelFormat::pf24bit), grey(2, 2, TPixelFormat::pf24bit);
    normal.Fill(0x00FF00);
    normal.SetPixel(0, 0, 0xFF00FF);
    grey.Fill(0x808080);
    list.Add("image", normal, 0xFF00FF);
    list.Add("Grey", grey);
    TForm form(nullptr);
    auto* btn = new TBitColorBtn(&form);
    TBitmap image, mask;
    btn->GetImages(false, image, mask); // no list yet: nothing
    EXPECT_TRUE(image.Empty());
    btn->SetBitmapList(&list);
    btn->GetImages(false, image, mask); // "Image" finds "image"
    EXPECT_EQ(image, normal);
    EXPECT_EQ(mask.GetPixel(0, 0) & 0xFFFFFF, 0xFFFFFF);
    EXPECT_EQ(mask.GetPixel(1, 0) & 0xFFFFFF, 0);

    // Disabled without DisableID: the same image; with it: the other one, without mask.
    btn->SetEnabled(false);
    EXPECT_EQ(btn->CurrentImageName(), "Image");
    btn->SetDisableID("Grey");
    EXPECT_EQ(btn->CurrentImageName(), "Grey");
    btn->GetImages(false, image, mask);
    EXPECT_EQ(image, grey);
    EXPECT_TRUE(mask.Empty());
    btn->SetEnabled(true);
    EXPECT_EQ(btn->CurrentImageName(), "Image");
    btn->SetBitmapList(nullptr);
}

TEST_F(ColorBtnModel, FontColourFollowsTheButtonColour) {
    TForm form(nullptr);
    auto* btn = new TColorBtn(&form);
    btn->SetParent(&form);
    btn->SetColor(0x808080);
    const TColor before = btn->EffectiveFont().Color;
    btn->SetSyncFontColor(true);
    EXPECT_EQ(btn->EffectiveFont().Color, 0xFFFFFF); // middle grey: white
    btn->SetColor(0xFFFFFF);
    EXPECT_EQ(btn->EffectiveFont().Color, 0x000000); // white: inverted
    // Through the parent's colour as well.
    btn->SetParentColor(true);
    form.SetColor(0x102030);
    EXPECT_EQ(btn->EffectiveFont().Color, 0x102030 ^ 0xFFFFFF);
    // Switched off, later colours leave the font alone.
    btn->SetSyncFontColor(false);
    form.SetColor(0x808080);
    EXPECT_EQ(btn->EffectiveFont().Color, 0x102030 ^ 0xFFFFFF);
    EXPECT_NE(before, 0xFFFFFF);
}

TEST_F(ColorBtnModel, HotTrackingFiresTheFlatButtonsEvents) {
    TForm form(nullptr);
    auto* flat = new TFlatBitColorBtn(&form);
    std::vector<std::string> events;
    flat->OnMouseIn = [&](TComponent* s) { events.push_back(s == flat ? "in" : "?"); };
    flat->OnMouseOut = [&](TComponent* s) { events.push_back(s == flat ? "out" : "?"); };
    EXPECT_FALSE(flat->Hot());
    flat->MouseEnter();
    EXPECT_TRUE(flat->Hot());
    flat->MouseLeave();
    EXPECT_FALSE(flat->Hot());
    EXPECT_EQ(events, (std::vector<std::string>{"in", "out"}));
}

TEST_F(ColorBtnModel, EveryFlatButtonIsListedWhileItLives) {
    const std::size_t before = TFlatBitColorBtn::Instances().size();
    auto a = std::make_unique<TFlatBitColorBtn>(nullptr);
    auto b = std::make_unique<TFlatBitColorBtn>(nullptr);
    TBitColorBtn notFlat(nullptr);
    ASSERT_EQ(TFlatBitColorBtn::Instances().size(), before + 2);
    EXPECT_EQ(TFlatBitColorBtn::Instances().back(), b.get());
    a.reset();
    EXPECT_EQ(TFlatBitColorBtn::Instances().size(), before + 1);
    EXPECT_EQ(std::count(TFlatBitColorBtn::Instances().begin(), TFlatBitColorBtn::Instances().end(), b.get()),
              1);
    b.reset();
    EXPECT_EQ(TFlatBitColorBtn::Instances().size(), before);
}

namespace {

// Flat buttons on two different parents (and one without), recording their events.
class FlatGroup : public ColorBtnModel {
protected:
    void SetUp() override {
        ColorBtnModel::SetUp();
        Form1 = std::make_unique<TForm>(nullptr);
        Form2 = std::make_unique<TForm>(nullptr);
        A = Make(Form1.get(), "A", 1);
        B = Make(Form2.get(), "B", 1);
        C = Make(Form2.get(), "C", 2);
        Loose = Make(nullptr, "L", 1);
    }
    TFlatBitColorBtn* Make(TForm* parent, const std::string& name, int group) {
        auto* b = new TFlatBitColorBtn(parent ? static_cast<TComponent*>(parent) : &Orphans);
        if (parent) b->SetParent(parent);
        b->SetGroupIndex(group);
        b->OnDown = [this, name](TComponent*) { Events.push_back(name + " down"); };
        b->OnUp = [this, name](TComponent*) { Events.push_back(name + " up"); };
        return b;
    }
    TComponent Orphans{nullptr};
    std::unique_ptr<TForm> Form1, Form2;
    TFlatBitColorBtn *A = nullptr, *B = nullptr, *C = nullptr, *Loose = nullptr;
    std::vector<std::string> Events;
};

} // namespace

TEST_F(FlatGroup, GoingDownRaisesTheOthersOfTheGroupWhateverTheirParents) {
    A->SetDown(true);
    C->SetDown(true);
    EXPECT_EQ(Events, (std::vector<std::string>{"A down", "C down"}));
    Events.clear();
    B->SetDown(true);
    EXPECT_FALSE(A->Down());
    EXPECT_TRUE(B->Down());
    EXPECT_TRUE(C->Down()); // another group
    EXPECT_EQ(Events, (std::vector<std::string>{"A up", "B down"}));
    Events.clear();
    Loose->SetDown(true); // a button without parent is in the process's list too
    EXPECT_FALSE(B->Down());
    EXPECT_EQ(Events, (std::vector<std::string>{"B up", "L down"}));
}

TEST_F(FlatGroup, DownFixedKeepsTheButtonItselfDown) {
    A->SetDownFixed(true);
    A->SetDown(true);
    Events.clear();
    A->SetDown(false);
    A->SetDown(true); // repeated setting: nothing either
    EXPECT_TRUE(A->Down());
    EXPECT_TRUE(Events.empty());
    // The group still raises it: exclusion does not consult DownFixed.
    B->SetDown(true);
    EXPECT_FALSE(A->Down());
    EXPECT_EQ(Events, (std::vector<std::string>{"A up", "B down"}));
}

// Raising a button, or a button of group 0 going down, leaves the others alone.
TEST_F(FlatGroup, RaisingAndGroupZeroLeaveTheOthersAlone) {
    A->SetDown(true);
    Events.clear();
    B->SetDown(false);
    EXPECT_TRUE(A->Down());
    EXPECT_EQ(Events, (std::vector<std::string>{"B up"}));
    A->SetGroupIndex(0);
    B->SetGroupIndex(0);
    B->SetDown(true);
    EXPECT_TRUE(A->Down());
    EXPECT_TRUE(B->Down());
}

TEST_F(FlatGroup, AnOnUpHandlerMayFreeAnotherButton) {
    A->SetDown(true);
    C->SetGroupIndex(1);
    C->SetDown(false);
    // Raising A frees C, which is later in the list: it must not be visited afterwards.
    A->OnUp = [this](TComponent*) {
        delete C;
        C = nullptr;
    };
    B->SetDown(true);
    EXPECT_EQ(C, nullptr);
    EXPECT_FALSE(A->Down());
    EXPECT_TRUE(B->Down());
}

TEST(ThemePartState, PushRadioCheckAndGroupBoxStates) {
    auto st = [](int part, bool hot, bool pressed, bool disabled, bool def, bool checked = false,
                 bool grayed = false) {
        TThemePartInput in;
        in.Hot = hot, in.Pressed = pressed, in.Disabled = disabled, in.Default = def;
        in.Checked = checked, in.Grayed = grayed;
        return ThemePartState(part, in);
    };
    EXPECT_EQ(st(tbpPushButton, false, false, false, false), 1);
    EXPECT_EQ(st(tbpPushButton, false, false, false, true), 5);
    EXPECT_EQ(st(tbpPushButton, true, false, false, true), 2); // hot overrides default
    EXPECT_EQ(st(tbpPushButton, true, true, false, true), 3);
    EXPECT_EQ(st(tbpPushButton, true, true, true, true), 4); // disabled overrides all
    EXPECT_EQ(st(tbpRadioButton, false, false, false, false), 1);
    EXPECT_EQ(st(tbpRadioButton, true, false, false, false, true), 6);
    EXPECT_EQ(st(tbpRadioButton, false, false, true, false, true), 8);
    EXPECT_EQ(st(tbpCheckBox, false, true, false, false, true), 7);
    EXPECT_EQ(st(tbpCheckBox, false, false, false, false, true, true), 9); // grayed: mixed
    EXPECT_EQ(st(tbpGroupBox, true, true, false, false), 1);
    EXPECT_EQ(st(tbpGroupBox, false, false, true, false), 2);
    EXPECT_EQ(st(99, true, true, true, true), 1);
}
