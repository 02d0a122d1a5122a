// The portable part of the controls: properties, parent/child lists and layout.
#include "toolkit/uControls.h"

#include "toolkit/uForms.h"
#include "toolkit/uImage.h"

#include <algorithm>
#include <utility>

namespace {

struct TNamedColor {
    const char* Name;
    TColor Value;
};
constexpr TNamedColor kColorNames[] = {
    {"clBlack", clBlack},       {"clWhite", clWhite},           {"clBtnFace", clBtnFace},
    {"clWindow", clWindow},     {"clWindowText", clWindowText}, {"clBtnText", clBtnText},
    {"clGrayText", clGrayText}, {"clHighlight", clHighlight},   {"clRed", 0x0000FF},
    {"clGreen", 0x008000},      {"clBlue", 0xFF0000},           {"clSilver", 0xC0C0C0},
    {"clGray", 0x808080},       {"clNavy", 0x800000},           {"clYellow", 0x00FFFF},
};

const std::vector<std::string> kAlignNames = {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"};
const std::vector<std::string> kCursorNames = {"crDefault", "crArrow", "crHandPoint", "crIBeam",
                                               "crHourGlass"};

} // namespace

bool ColorFromName(const std::string& name, TColor& out) {
    for (const auto& c : kColorNames)
        if (name == c.Name) {
            out = c.Value;
            return true;
        }
    return false;
}

// ---- TControl ----

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() {
    DestroyHandle();
    if (FParent) {
        auto& list = FParent->FControls;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        if (FAlign != TAlign::alNone) FParent->Realign();
    }
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == FParent) return;
    // Neither the control itself nor one of its descendants: the parents must not form a cycle.
    for (const TControl* p = parent; p; p = p->FParent)
        if (p == this) throw EComponentError("A control cannot be its own parent");
    TWinControl* old = FParent;
    if (old) {
        auto& list = old->FControls;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    FParent = parent;
    if (parent) parent->FControls.push_back(this);
    if (parent && parent->HandleAllocated()) {
        if (HandleAllocated())
            Changed(TChange::Style); // re-parents the native window
        else
            HandleNeeded();
    } else {
        DestroyHandle();
    }
    if (old && FAlign != TAlign::alNone) old->Realign();
    if (parent && FAlign != TAlign::alNone) parent->Realign();
    ParentColorChanged();
    ParentFontChanged();
}

void TControl::SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (left == FLeft && top == FTop && width == FWidth && height == FHeight) return;
    bool resized = width != FWidth || height != FHeight;
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    Changed(TChange::Bounds);
    if (resized)
        if (auto* self = dynamic_cast<TWinControl*>(this)) self->Realign();
    if (FParent && FAlign != TAlign::alNone && !FParent->FAligning) FParent->Realign();
}

void TControl::SetText(const std::string& text) {
    if (text == FText) return;
    FText = text;
    Changed(TChange::Text);
    AdjustSize();
}

void TControl::SetVisible(bool v) {
    if (v == FVisible) return;
    FVisible = v;
    Changed(TChange::Visible);
    if (FParent && FAlign != TAlign::alNone) FParent->Realign();
}

void TControl::SetEnabled(bool v) {
    if (v == FEnabled) return;
    FEnabled = v;
    Changed(TChange::Enabled);
}

void TControl::SetAlign(TAlign a) {
    if (a == FAlign) return;
    FAlign = a;
    if (FParent) FParent->Realign();
}

void TControl::SetColor(TColor c) {
    bool changed = c != FColor || FParentColor;
    FColor = c;
    FParentColor = false;
    if (changed) ParentColorChanged();
}

void TControl::SetParentColor(bool v) {
    if (v == FParentColor) return;
    FParentColor = v;
    ParentColorChanged();
}

TColor TControl::EffectiveColor() const {
    return FParentColor && FParent ? FParent->EffectiveColor() : FColor;
}

namespace {
bool gHighContrast = false;
} // namespace

bool HighContrast() {
    return gHighContrast;
}
void SetHighContrast(bool on) {
    gHighContrast = on;
}

TColor TControl::PaintColor() const {
    if (!gHighContrast) return EffectiveColor();
    return PaintsAsButton() ? clBtnFace : clWindow;
}

TColor TControl::PaintTextColor() const {
    if (!gHighContrast) return EffectiveFont().Color;
    return PaintsAsButton() ? clBtnText : clWindowText;
}

void TControl::ParentColorChanged() {
    ColorChanged();
    Changed(TChange::Color);
    if (auto* self = dynamic_cast<TWinControl*>(this))
        for (TControl* c : self->FControls)
            if (c->FParentColor) c->ParentColorChanged();
}

void TControl::SetFont(const TFontStyle& f) {
    bool changed = !(f == FFont) || FParentFont;
    FFont = f;
    FParentFont = false;
    if (changed) ParentFontChanged();
}

void TControl::SetParentFont(bool v) {
    if (v == FParentFont) return;
    FParentFont = v;
    ParentFontChanged();
}

const TFontStyle& TControl::EffectiveFont() const {
    return FParentFont && FParent ? FParent->EffectiveFont() : FFont;
}

void TControl::ParentFontChanged() {
    Changed(TChange::Font);
    AdjustSize();
    if (auto* self = dynamic_cast<TWinControl*>(this))
        for (TControl* c : self->FControls)
            if (c->FParentFont) c->ParentFontChanged();
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

void TControl::CommandNotify(int) {}

void TControl::Changed(TChange what) {
    if (FHandle) ApplyChange(what);
}

TForm* TControl::ParentForm() const {
    const TControl* c = this;
    while (c->FParent) c = c->FParent;
    return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}

int TControl::ControlId() const {
    // 1 and 2 are IDOK and IDCANCEL, which the dialog manager sends on its own.
    if (!Owner()) return 100;
    const auto& list = Owner()->Components();
    auto it = std::find(list.begin(), list.end(), this);
    return 100 + static_cast<int>(it - list.begin());
}

std::int32_t TControl::Scale(std::int32_t designed) const {
    std::int64_t v = std::int64_t(designed) * ScreenDpi();
    return static_cast<std::int32_t>(v >= 0 ? (v + 48) / 96 : -((-v + 48) / 96));
}

void TControl::GetProperties(TPropList& p) {
    TComponent::GetProperties(p);
    p.Int(
        "Left", [this] { return FLeft; }, [this](std::int32_t v) { SetLeft(v); }, 0);
    p.Int(
        "Top", [this] { return FTop; }, [this](std::int32_t v) { SetTop(v); }, 0);
    p.Int(
        "Width", [this] { return FWidth; }, [this](std::int32_t v) { SetWidth(v); }, 0);
    p.Int(
        "Height", [this] { return FHeight; }, [this](std::int32_t v) { SetHeight(v); }, 0);
    p.Enum(
        "Align", kAlignNames, [this] { return int(FAlign); }, [this](int v) { SetAlign(TAlign(v)); }, 0);
    p.String(
        "Caption", [this] { return FText; }, [this](const std::string& v) { SetText(v); });
    p.Bool(
        "Visible", [this] { return FVisible; }, [this](bool v) { SetVisible(v); }, true);
    p.Bool(
        "Enabled", [this] { return FEnabled; }, [this](bool v) { SetEnabled(v); }, true);
    p.Color(
        "Color", [this] { return FColor; }, [this](std::int32_t v) { SetColor(v); });
    p.Bool(
        "ParentColor", [this] { return FParentColor; }, [this](bool v) { SetParentColor(v); });
    const TFontStyle def;
    p.String(
        "Font.Name", [this] { return FFont.Name; },
        [this](const std::string& v) {
            auto f = FFont;
            f.Name = v;
            SetFont(f);
        },
        def.Name);
    p.Int(
        "Font.Height", [this] { return FFont.Height; },
        [this](std::int32_t v) {
            auto f = FFont;
            f.Height = v;
            SetFont(f);
        },
        def.Height);
    p.Bool(
        "Font.Bold", [this] { return FFont.Bold; },
        [this](bool v) {
            auto f = FFont;
            f.Bold = v;
            SetFont(f);
        },
        def.Bold);
    p.Int(
        "Font.Charset", [this] { return FFont.Charset; },
        [this](std::int32_t v) {
            auto f = FFont;
            f.Charset = v;
            SetFont(f);
        },
        def.Charset);
    p.Color(
        "Font.Color", [this] { return FFont.Color; },
        [this](std::int32_t v) {
            auto f = FFont;
            f.Color = v;
            SetFont(f);
        },
        def.Color);
    p.Bool(
        "ParentFont", [this] { return FParentFont; }, [this](bool v) { SetParentFont(v); }, true);
    p.Enum(
        "Cursor", kCursorNames, [this] { return int(FCursor); }, [this](int v) { SetCursor(TCursor(v)); }, 0);
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
    // The native windows of the children go with this one; the child objects stay with
    // their owner and only forget their parent.
    DestroyHandle();
    for (TControl* c : FControls) c->FParent = nullptr;
    FControls.clear();
}

void TWinControl::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
    for (TControl* c : FControls)
        if (c->Owner() == root) proc(c);
    TControl::GetChildren(proc, root);
}

void TWinControl::ReadChild(TComponent* child) {
    if (auto* c = dynamic_cast<TControl*>(child)) c->SetParent(this);
}

void AlignRects(std::int32_t clientWidth, std::int32_t clientHeight, std::vector<TAlignItem>& items) {
    std::int32_t l = 0, t = 0, r = clientWidth, b = clientHeight;
    for (TAlign kind : {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient}) {
        for (auto& it : items) {
            if (it.Align != kind) continue;
            std::int32_t w = std::max(r - l, 0), h = std::max(b - t, 0);
            switch (kind) {
            case TAlign::alTop:
                it.Left = l, it.Top = t, it.Width = w;
                t += it.Height;
                break;
            case TAlign::alBottom:
                it.Left = l, it.Top = b - it.Height, it.Width = w;
                b -= it.Height;
                break;
            case TAlign::alLeft:
                it.Left = l, it.Top = t, it.Height = h;
                l += it.Width;
                break;
            case TAlign::alRight:
                it.Left = r - it.Width, it.Top = t, it.Height = h;
                r -= it.Width;
                break;
            default:
                it.Left = l, it.Top = t, it.Width = w, it.Height = h;
                break;
            }
        }
    }
}

void TWinControl::Realign() {
    if (FAligning) return;
    FAligning = true;
    try {
        std::vector<TControl*> aligned;
        std::vector<TAlignItem> items;
        for (TControl* c : FControls)
            if (c->FAlign != TAlign::alNone && c->FVisible) {
                aligned.push_back(c);
                items.push_back({c->FAlign, c->FLeft, c->FTop, c->FWidth, c->FHeight});
            }
        AlignRects(ClientWidth(), ClientHeight(), items);
        for (std::size_t i = 0; i < items.size(); ++i)
            aligned[i]->SetBounds(items[i].Left, items[i].Top, items[i].Width, items[i].Height);
    } catch (...) {
        FAligning = false;
        throw;
    }
    FAligning = false;
}

// ---- concrete controls ----

TPanel::TPanel(TComponent* owner) : TWinControl(owner) {}

void TPanel::GetProperties(TPropList& p) {
    TWinControl::GetProperties(p);
    p.Bool(
        "BevelOuter", [this] { return FBevelOuter; }, [this](bool v) { SetBevelOuter(v); }, true);
}

void TPanel::SetBevelOuter(bool v) {
    if (v == FBevelOuter) return;
    FBevelOuter = v;
    Invalidate();
}

TButton::TButton(TComponent* owner) : TControl(owner) {
    SetBounds(0, 0, 75, 25);
}

void TButton::GetProperties(TPropList& p) {
    TControl::GetProperties(p);
    p.Bool(
        "Default", [this] { return FDefault; }, [this](bool v) { SetDefault(v); }, false);
    p.Bool(
        "Cancel", [this] { return FCancel; }, [this](bool v) { SetCancel(v); }, false);
}

void TButton::SetDefault(bool v) {
    if (v == FDefault) return;
    FDefault = v;
    Changed(TChange::State);
}

void TButton::CommandNotify(int code) {
    if (code == 0 /* BN_CLICKED */) Click();
}

TCheckBox::TCheckBox(TComponent* owner) : TControl(owner) {
    SetBounds(0, 0, 97, 17);
    SetParentColor(true);
}

void TCheckBox::GetProperties(TPropList& p) {
    TControl::GetProperties(p);
    p.Bool(
        "Checked", [this] { return FChecked; }, [this](bool v) { SetChecked(v); }, false);
}

void TCheckBox::SetChecked(bool v) {
    if (v == FChecked) return;
    FChecked = v;
    Changed(TChange::State);
}

void TCheckBox::CommandNotify(int code) {
    if (code != 0 /* BN_CLICKED */) return;
    SetChecked(!FChecked);
    Click();
}

TRadioButton::TRadioButton(TComponent* owner) : TCheckBox(owner) {
    SetBounds(0, 0, 113, 17);
}

void TRadioButton::SetChecked(bool v) {
    if (v == FChecked) return;
    TCheckBox::SetChecked(v);
    if (v && Parent())
        for (TControl* c : Parent()->Controls())
            if (auto* r = dynamic_cast<TRadioButton*>(c); r && r != this) r->SetChecked(false);
}

void TRadioButton::CommandNotify(int code) {
    if (code != 0 /* BN_CLICKED */) return;
    SetChecked(true);
    Click();
}

TEdit::TEdit(TComponent* owner) : TControl(owner) {
    SetBounds(0, 0, 121, 21);
    SetColor(clWindow);
}

void TEdit::GetProperties(TPropList& p) {
    TControl::GetProperties(p);
    p.Bool(
        "ReadOnly", [this] { return FReadOnly; }, [this](bool v) { SetReadOnly(v); }, false);
}

void TEdit::SetReadOnly(bool v) {
    if (v == FReadOnly) return;
    FReadOnly = v;
    Changed(TChange::State);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char ch = text[i];
        if (ch == '\r' || ch == '\n') {
            lines.push_back(std::move(cur));
            cur.clear();
            if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            cur += ch;
        }
    }
    if (!cur.empty()) lines.push_back(std::move(cur));
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\r\n";
    return s;
}

TMemo::TMemo(TComponent* owner) : TEdit(owner) {
    SetBounds(0, 0, 185, 89);
}

void TMemo::GetProperties(TPropList& p) {
    TEdit::GetProperties(p);
    p.Strings(
        "Lines", [this] { return FLines; }, [this](const std::vector<std::string>& v) { SetLines(v); });
    p.Enum(
        "ScrollBars", {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"}, [this] { return int(FScrollBars); },
        [this](int v) { SetScrollBars(TScrollStyle(v)); }, 0);
    p.Bool(
        "BorderVisible", [this] { return FBorder; }, [this](bool v) { SetBorderVisible(v); }, true);
}

std::string TMemo::Text() const {
    // Lines joined by line breaks, without a break after the last one.
    std::string s = JoinLines(FLines);
    if (s.size() >= 2) s.resize(s.size() - 2);
    return s;
}

void TMemo::SetLines(const std::vector<std::string>& lines) {
    if (lines == FLines) return;
    FLines = lines;
    Changed(TChange::Text);
}

void TMemo::SetMemoText(const std::string& text) {
    SetLines(SplitLines(text));
}

void TMemo::SetScrollBars(TScrollStyle s) {
    if (s == FScrollBars) return;
    FScrollBars = s;
    Changed(TChange::Style);
}

void TMemo::SetBorderVisible(bool v) {
    if (v == FBorder) return;
    FBorder = v;
    Changed(TChange::Style);
}

TLabel::TLabel(TComponent* owner) : TControl(owner) {
    SetBounds(0, 0, 65, 13);
    SetParentColor(true);
}

void TLabel::GetProperties(TPropList& p) {
    TControl::GetProperties(p);
    p.Bool(
        "AutoSize", [this] { return FAutoSize; }, [this](bool v) { SetAutoSize(v); }, false);
}

void TLabel::SetAutoSize(bool v) {
    if (v == FAutoSize) return;
    FAutoSize = v;
    AdjustSize();
}

void TLabel::AdjustSize() {
    std::int32_t w = 0, h = 0;
    if (FAutoSize && MeasureText(EffectiveFont(), Text(), w, h)) SetBounds(Left(), Top(), w, h);
}

TProgressBar::TProgressBar(TComponent* owner) : TControl(owner) {
    SetBounds(0, 0, 150, 16);
}

void TProgressBar::GetProperties(TPropList& p) {
    TControl::GetProperties(p);
    p.Int(
        "Min", [this] { return FMin; }, [this](std::int32_t v) { SetRange(v, FMax); }, 0);
    p.Int(
        "Max", [this] { return FMax; }, [this](std::int32_t v) { SetRange(FMin, v); }, 100);
    p.Int(
        "Position", [this] { return FPosition; }, [this](std::int32_t v) { SetPosition(v); }, 0);
    p.Int(
        "Step", [this] { return FStep; }, [this](std::int32_t v) { SetStep(v); }, 10);
    p.Bool(
        "Smooth", [this] { return FSmooth; }, [this](bool v) { SetSmooth(v); }, false);
}

void TProgressBar::SetRange(std::int32_t min, std::int32_t max) {
    if (min == FMin && max == FMax) return;
    FMin = min;
    FMax = max;
    Changed(TChange::State);
}

void TProgressBar::SetPosition(std::int32_t v) {
    if (v == FPosition) return;
    FPosition = v;
    Changed(TChange::State);
}

void TProgressBar::SetStep(std::int32_t v) {
    if (v == FStep) return;
    FStep = v;
    Changed(TChange::State);
}

void TProgressBar::SetSmooth(bool v) {
    if (v == FSmooth) return;
    FSmooth = v;
    Changed(TChange::Style);
}

TBevel::TBevel(TComponent* owner) : TControl(owner) {
    SetBounds(0, 0, 50, 50);
}

void TBevel::GetProperties(TPropList& p) {
    TControl::GetProperties(p);
    p.Enum(
        "Shape", {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine", "bsSpacer"},
        [this] { return int(FShape); }, [this](int v) { SetShape(TBevelShape(v)); }, 0);
}

void TBevel::SetShape(TBevelShape s) {
    if (s == FShape) return;
    FShape = s;
    Changed(TChange::Style);
}

void RegisterToolkitClasses() {
    RegisterComponentClass<TPanel>();
    RegisterComponentClass<TButton>();
    RegisterComponentClass<TCheckBox>();
    RegisterComponentClass<TRadioButton>();
    RegisterComponentClass<TEdit>();
    RegisterComponentClass<TMemo>();
    RegisterComponentClass<TLabel>();
    RegisterComponentClass<TProgressBar>();
    RegisterComponentClass<TBevel>();
    RegisterComponentClass<TImage>();
    RegisterComponentClass<TForm>();
}
