// The portable model of the colour buttons: properties, writers, hot tracking, the Down
// rule and the process-wide list of flat buttons with its group exclusion.
#include "components/uColorBtn.h"

#include <algorithm>

namespace {

const std::vector<std::string> kCaptionPositionNames = {"cpNone", "cpLeft", "cpTop", "cpRight", "cpBottom"};

// Every flat button of the process, in creation order.
std::vector<TFlatBitColorBtn*>& FlatButtons() {
    static std::vector<TFlatBitColorBtn*> list;
    return list;
}

bool IsRegistered(const TFlatBitColorBtn* b) {
    const auto& list = FlatButtons();
    return std::find(list.begin(), list.end(), b) != list.end();
}

} // namespace

// ---- TColorBtn ----

TColorBtn::TColorBtn(TComponent* owner) : TButton(owner) {
    SetColor(clWindow);
    SetParentColor(true);
}

TColorBtn::~TColorBtn() = default;

void TColorBtn::InheritedProperties(TPropList& p) {
    TPropList base;
    TButton::GetProperties(base);
    for (TPropInfo info : base.Items()) {
        if (info.Name == "Color") {
            info.Default = TPropValue::MakeColor(clWindow);
            // While ParentColor holds the colour is the parent's; reading a stored Color
            // back would clear ParentColor.
            info.Stored = [this] { return !ParentColor(); };
        } else if (info.Name == "ParentColor")
            info.Default = TPropValue::MakeBool(true);
        p.Add(std::move(info));
    }
}

void TColorBtn::GetProperties(TPropList& p) {
    InheritedProperties(p);
    p.Bool(
        "SyncFontColor", [this] { return FSyncFontColor; }, [this](bool v) { SetSyncFontColor(v); }, false);
    p.Bool(
        "Emphasis", [this] { return FEmphasis; }, [this](bool v) { SetEmphasis(v); }, true);
    p.Bool(
        "UseTheme", [this] { return FUseTheme; }, [this](bool v) { SetUseTheme(v); }, true);
}

void TColorBtn::SetEmphasis(bool v) {
    if (v == FEmphasis) return;
    FEmphasis = v;
    Invalidate();
}

void TColorBtn::SetUseTheme(bool v) {
    if (v == FUseTheme) return;
    FUseTheme = v;
    Invalidate();
}

void TColorBtn::SetSyncFontColor(bool v) {
    if (v == FSyncFontColor) return;
    FSyncFontColor = v;
    SyncFont();
}

void TColorBtn::SyncFont() {
    if (!FSyncFontColor) return;
    TFontStyle f = EffectiveFont();
    const TColor contrast = ContrastColor(EffectiveColor());
    if (f.Color == contrast && !ParentFont()) return;
    f.Color = contrast;
    SetFont(f);
}

void TColorBtn::ColorChanged() {
    SyncFont();
}

void TColorBtn::MouseEnter() {
    FHot = true;
    Invalidate();
}

void TColorBtn::MouseLeave() {
    FHot = false;
    Invalidate();
}

// ---- TBitColorBtn ----

TBitColorBtn::TBitColorBtn(TComponent* owner) : TColorBtn(owner) {}

TBitColorBtn::~TBitColorBtn() {
    SetBitmapList(nullptr);
}

void TBitColorBtn::GetProperties(TPropList& p) {
    TColorBtn::GetProperties(p);
    // A reference to a bitmap list of the same window, stored by its name.
    p.Add({"BitmapList",
           TValueType::Ident,
           [this] { return TPropValue::MakeIdent(FBitmapList ? FBitmapList->Name() : FPendingList); },
           [this](const TPropValue& v) {
               if (v.Str.empty()) return SetBitmapList(nullptr);
               for (TComponent* o = Owner(); o; o = o->Owner())
                   if (auto* list = o->Find<TBitmapList>(v.Str)) return SetBitmapList(list);
               SetBitmapList(nullptr);
               FPendingList = v.Str; // read before the list itself: found in Loaded
           },
           TPropValue::MakeIdent(""),
           {}});
    p.Enum(
        "CaptionPosition", kCaptionPositionNames, [this] { return int(FCaptionPosition); },
        [this](int v) { SetCaptionPosition(TCaptionPosition(v)); }, int(cpBottom));
    p.String(
        "ImageID", [this] { return FImageID; }, [this](const std::string& v) { SetImageID(v); },
        kDefaultImageID);
    p.String(
        "DisableID", [this] { return FDisableID; }, [this](const std::string& v) { SetDisableID(v); });
}

void TBitColorBtn::Loaded() {
    TColorBtn::Loaded();
    if (FPendingList.empty()) return;
    const std::string name = FPendingList;
    for (TComponent* o = Owner(); o; o = o->Owner())
        if (auto* list = o->Find<TBitmapList>(name)) return SetBitmapList(list);
    FPendingList.clear();
    throw ECorruptData("Bitmap list " + name + " of " + Name() + " not found");
}

void TBitColorBtn::SetBitmapList(TBitmapList* list) {
    FPendingList.clear();
    if (list == FBitmapList) return;
    if (FBitmapList) FBitmapList->UnregisterClient(static_cast<IBitmapListClient*>(this));
    FBitmapList = list;
    if (list) list->RegisterClient(static_cast<IBitmapListClient*>(this));
    Invalidate();
}

void TBitColorBtn::SetImageID(const std::string& v) {
    if (v == FImageID) return;
    FImageID = v;
    Invalidate();
}

void TBitColorBtn::SetDisableID(const std::string& v) {
    if (v == FDisableID) return;
    FDisableID = v;
    Invalidate();
}

void TBitColorBtn::SetCaptionPosition(TCaptionPosition v) {
    if (v == FCaptionPosition) return;
    FCaptionPosition = v;
    Invalidate();
}

std::string TBitColorBtn::CurrentImageName() const {
    return Enabled() || FDisableID.empty() ? FImageID : FDisableID;
}

void TBitColorBtn::GetImages(bool, TBitmap& image, TBitmap& mask) {
    if (!FBitmapList) {
        image.Clear();
        mask.Clear();
        return;
    }
    const std::string name = CurrentImageName();
    FBitmapList->GetBitmap(name, &image);
    FBitmapList->GetMask(name, &mask);
}

void TBitColorBtn::GetImageNames(std::vector<std::string>& list) {
    list.push_back(FImageID);
}

// ---- TFlatBitColorBtn ----

TFlatBitColorBtn::TFlatBitColorBtn(TComponent* owner) : TBitColorBtn(owner) {
    SetEmphasis(false);
    FlatButtons().push_back(this);
}

TFlatBitColorBtn::~TFlatBitColorBtn() {
    auto& list = FlatButtons();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    list.shrink_to_fit();
}

const std::vector<TFlatBitColorBtn*>& TFlatBitColorBtn::Instances() {
    return FlatButtons();
}

void TFlatBitColorBtn::GetProperties(TPropList& p) {
    TBitColorBtn::GetProperties(p);
    p.Int(
        "GroupIndex", [this] { return FGroupIndex; }, [this](std::int32_t v) { SetGroupIndex(v); }, 0);
    p.Bool(
        "Cool", [this] { return FCool; }, [this](bool v) { SetCool(v); }, false);
    p.Bool(
        "Toggle", [this] { return FToggle; }, [this](bool v) { SetToggle(v); }, false);
    // No defaults: always stored.
    p.Bool(
        "Down", [this] { return FDown; }, [this](bool v) { SetDown(v); });
    p.Bool(
        "DownFixed", [this] { return FDownFixed; }, [this](bool v) { SetDownFixed(v); });
    p.Bool(
        "ClosingLine", [this] { return FClosingLine; }, [this](bool v) { SetClosingLine(v); });
    p.Color(
        "ClosingLineColor", [this] { return FClosingLineColor; },
        [this](std::int32_t v) { SetClosingLineColor(v); });
}

void TFlatBitColorBtn::SetCool(bool v) {
    if (v == FCool) return;
    FCool = v;
    Invalidate();
}

void TFlatBitColorBtn::SetClosingLine(bool v) {
    if (v == FClosingLine) return;
    FClosingLine = v;
    Invalidate();
}

void TFlatBitColorBtn::SetClosingLineColor(TColor v) {
    if (v == FClosingLineColor) return;
    FClosingLineColor = v;
    Invalidate();
}

void TFlatBitColorBtn::SetDown(bool v) {
    if (FDown && FDownFixed) return;
    FDown = v;
    // Only a button going down raises the others: raising one button must not clear
    // the selection held by another of its group.
    if (v && FGroupIndex != 0) {
        // A copy: an OnUp handler may create or free flat buttons.
        const std::vector<TFlatBitColorBtn*> others = FlatButtons();
        for (TFlatBitColorBtn* b : others) {
            if (b == this || !IsRegistered(b) || b->FGroupIndex != FGroupIndex || !b->FDown) continue;
            b->FDown = false;
            if (b->OnUp) b->OnUp(b);
            if (IsRegistered(b)) b->Repaint();
        }
    }
    if (FDown) {
        if (OnDown) OnDown(this);
    } else {
        if (OnUp) OnUp(this);
    }
    // The handler may have freed this button.
    if (IsRegistered(this)) Invalidate();
}

void TFlatBitColorBtn::MouseEnter() {
    TBitColorBtn::MouseEnter();
    if (OnMouseIn) OnMouseIn(this);
}

void TFlatBitColorBtn::MouseLeave() {
    TBitColorBtn::MouseLeave();
    if (OnMouseOut) OnMouseOut(this);
}

#ifndef _WIN32
// Without windows there is nothing to create or repaint.
void TColorBtn::CreateParams(TCreateParams&) {}
void TColorBtn::ApplyChange(TChange) {}
void TColorBtn::Repaint() {
    Invalidate();
}
#endif
