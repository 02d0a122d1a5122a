#pragma once
// Controls: the portable model (properties, layout, parent/child lists) and, on Windows, a
// native window per control created through the one window procedure of the toolkit
// (toolkit/uControls_win.cpp). On the host the model works without windows, so the build
// tools can create controls and write their definitions.
//
// Sizes, positions and font heights are 96-DPI pixels ("designed" units); the native
// windows get them scaled by the system DPI.
#include "toolkit/uClasses.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// 0x00BBGGRR, or a system colour: kSysColorFlag | COLOR_xxx index.
using TColor = std::int32_t;
inline constexpr TColor kSysColorFlag = static_cast<TColor>(0xFF000000u);
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clBtnFace = kSysColorFlag | 15;
inline constexpr TColor clWindow = kSysColorFlag | 5;
inline constexpr TColor clWindowText = kSysColorFlag | 8;
inline constexpr TColor clBtnText = kSysColorFlag | 18;
inline constexpr TColor clGrayText = kSysColorFlag | 17;
inline constexpr TColor clHighlight = kSysColorFlag | 13;

// High contrast is on: controls paint in the system's colours (see TControl::PaintColor).
// Read from the system when a form is created and when the settings change.
bool HighContrast();
void SetHighContrast(bool on);

// Named colours for definitions: "clWhite" <-> value. False when the name is unknown.
bool ColorFromName(const std::string& name, TColor& out);

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// The mouse cursor over a control; crDefault leaves it to the window class.
enum class TCursor { crDefault, crArrow, crHandPoint, crIBeam, crHourGlass };

// A notification the parent receives about a child (WM_DRAWITEM, WM_MEASUREITEM) is passed
// on to the control it concerns as kMsgReflect + the message.
inline constexpr unsigned kMsgReflect = 0x2000;

struct TFontStyle {
    std::string Name = "MS UI Gothic";
    std::int32_t Height = 12; // character height in 96-DPI pixels
    bool Bold = false;
    std::int32_t Charset = 128; // SHIFTJIS_CHARSET
    TColor Color = clWindowText;
    bool operator==(const TFontStyle&) const = default;
};

using TNotifyEvent = std::function<void(TComponent* sender)>;

class TWinControl;
class TForm;

// What changed in the model, for the native window to follow.
enum class TChange { Bounds, Text, Visible, Enabled, Color, Font, State, Style };

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;
    std::string ClassName() const override { return "TControl"; }

    TWinControl* Parent() const { return FParent; }
    // Moves the control onto another parent (null: detached; its native window is freed,
    // the model keeps every property).
    virtual void SetParent(TWinControl* parent);

    std::int32_t Left() const { return FLeft; }
    std::int32_t Top() const { return FTop; }
    std::int32_t Width() const { return FWidth; }
    std::int32_t Height() const { return FHeight; }
    void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);
    void SetLeft(std::int32_t v) { SetBounds(v, FTop, FWidth, FHeight); }
    void SetTop(std::int32_t v) { SetBounds(FLeft, v, FWidth, FHeight); }
    void SetWidth(std::int32_t v) { SetBounds(FLeft, FTop, v, FHeight); }
    void SetHeight(std::int32_t v) { SetBounds(FLeft, FTop, FWidth, v); }

    // The caption, or the text of an edit control.
    virtual std::string Text() const { return FText; }
    void SetText(const std::string& text);
    std::string Caption() const { return Text(); }
    void SetCaption(const std::string& text) { SetText(text); }

    bool Visible() const { return FVisible; }
    void SetVisible(bool v);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool v);
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign a);

    TColor Color() const { return FColor; }
    void SetColor(TColor c);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool v);
    TColor EffectiveColor() const;

    const TFontStyle& Font() const { return FFont; }
    void SetFont(const TFontStyle& f);
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool v);
    const TFontStyle& EffectiveFont() const;
    // The colours it is painted in: the designed ones (EffectiveColor and the font's), or
    // while high contrast is on the system's: window and window text, button face and
    // button text for buttons. So every text keeps the contrast the user chose.
    TColor PaintColor() const;
    TColor PaintTextColor() const;

    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor c) { FCursor = c; }

    TNotifyEvent OnClick;
    virtual void Click();

    void GetProperties(TPropList& props) override;
    bool StoredUnderRoot() const override { return FParent == nullptr; }

    // The top-level form this control sits on, or null.
    TForm* ParentForm() const;

    // ---- native window (Windows; always null on the host) ----
    void* Handle() const { return FHandle; }
    bool HandleAllocated() const { return FHandle != nullptr; }
    // Creates the native window (and those of the children) when the parent has one.
    void HandleNeeded();
    void DestroyHandle();
    void Invalidate();
    // Messages from the one window procedure (LRESULT, WPARAM, LPARAM as integers).
    virtual std::intptr_t WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);
    // A WM_COMMAND notification the parent passes on to the control it came from.
    virtual void CommandNotify(int code);
    // The screen DPI changed: the size it takes for its text, its font and its bounds
    // again from the designed values, then the same for the controls on it.
    virtual void DpiChanged();
    // The control's own id among its siblings (stable for a given definition).
    int ControlId() const;

protected:
    struct TCreateParams {
        std::wstring ClassName;     // window class registered by the toolkit
        const wchar_t* BaseClass{}; // system class it is derived from, or null for our own
        std::uint32_t Style = 0;
        std::uint32_t ExStyle = 0;
    };
    virtual void CreateParams(TCreateParams& params);
    virtual void CreateHandle();
    // The native window follows a model change (only called while it exists).
    virtual void ApplyChange(TChange what);
    void Changed(TChange what);
    // The text or the font changed: a control that sizes itself to its text does it here.
    virtual void AdjustSize() {}
    // Painted in the button colours under high contrast.
    virtual bool PaintsAsButton() const { return false; }
    // The effective colour changed (its own or, with ParentColor, the parent's).
    virtual void ColorChanged() {}
    // Brush for WM_CTLCOLORxxx of this control (an HBRUSH), with the DC prepared.
    virtual std::intptr_t CtlColor(void* dc);
    std::int32_t Scale(std::int32_t designed) const;

    void* FHandle = nullptr;
    friend struct TControlAccess;

private:
    void ParentColorChanged();
    void ParentFontChanged();
    friend class TWinControl;

    TWinControl* FParent = nullptr;
    std::int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    std::string FText;
    bool FVisible = true;
    bool FEnabled = true;
    TAlign FAlign = TAlign::alNone;
    TColor FColor = clBtnFace;
    bool FParentColor = false;
    TFontStyle FFont;
    bool FParentFont = true;
    TCursor FCursor = TCursor::crDefault;
    struct TNative;
    struct TNativeDeleter {
        void operator()(TNative* n) const;
    };
    std::unique_ptr<TNative, TNativeDeleter> FNative; // fonts and brushes of the native window
};

// A control that holds other controls.
class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* owner);
    ~TWinControl() override;
    std::string ClassName() const override { return "TWinControl"; }

    const std::vector<TControl*>& Controls() const { return FControls; }
    // Lays out the aligned children (top, bottom, left, right, then client) in the client area.
    void Realign();
    virtual std::int32_t ClientWidth() const { return Width(); }
    virtual std::int32_t ClientHeight() const { return Height(); }

    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;
    void ReadChild(TComponent* child) override;
    std::intptr_t WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) override;

protected:
    void CreateHandle() override;

private:
    friend class TControl;
    bool FAligning = false;
    std::vector<TControl*> FControls;
};

// Computes the aligned children's rectangles: the portable layout arithmetic of Realign.
struct TAlignItem {
    TAlign Align;
    std::int32_t Left, Top, Width, Height; // in: designed bounds; out: aligned bounds
};
void AlignRects(std::int32_t clientWidth, std::int32_t clientHeight, std::vector<TAlignItem>& items);

enum class TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };

class TPanel : public TWinControl {
public:
    explicit TPanel(TComponent* owner);
    std::string ClassName() const override { return "TPanel"; }
    void GetProperties(TPropList& props) override;
    std::intptr_t WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) override;
    bool BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(bool v);

protected:
    void CreateParams(TCreateParams& params) override;

private:
    bool FBevelOuter = true; // raised outer edge; false for a flat panel
};

class TButton : public TControl {
public:
    explicit TButton(TComponent* owner);
    std::string ClassName() const override { return "TButton"; }
    void GetProperties(TPropList& props) override;
    bool Default() const { return FDefault; }
    void SetDefault(bool v);
    bool Cancel() const { return FCancel; }
    void SetCancel(bool v) { FCancel = v; }
    void CommandNotify(int code) override;

protected:
    void CreateParams(TCreateParams& params) override;
    bool PaintsAsButton() const override { return true; }
    void ApplyChange(TChange what) override;

private:
    bool FDefault = false;
    bool FCancel = false;
};

class TCheckBox : public TControl {
public:
    explicit TCheckBox(TComponent* owner);
    std::string ClassName() const override { return "TCheckBox"; }
    void GetProperties(TPropList& props) override;
    bool Checked() const { return FChecked; }
    virtual void SetChecked(bool v);
    void CommandNotify(int code) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void ApplyChange(TChange what) override;
    bool FChecked = false;
};

// A radio button: checking one unchecks the other radio buttons on the same parent.
class TRadioButton : public TCheckBox {
public:
    explicit TRadioButton(TComponent* owner);
    std::string ClassName() const override { return "TRadioButton"; }
    void SetChecked(bool v) override;
    void CommandNotify(int code) override;

protected:
    void CreateParams(TCreateParams& params) override;
};

class TEdit : public TControl {
public:
    explicit TEdit(TComponent* owner);
    std::string ClassName() const override { return "TEdit"; }
    void GetProperties(TPropList& props) override;
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool v);
    TNotifyEvent OnChange;
    void CommandNotify(int code) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void ApplyChange(TChange what) override;
    std::intptr_t CtlColor(void* dc) override;
    // The text the user edited in the native window goes into the model.
    virtual void TakeWindowText(const std::string& text) { SetText(text); }
    bool FReadOnly = false;
    bool FSyncing = false; // the text is being copied from the native window
};

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// A multi-line edit; its text is the lines joined with CR LF.
class TMemo : public TEdit {
public:
    explicit TMemo(TComponent* owner);
    std::string ClassName() const override { return "TMemo"; }
    void GetProperties(TPropList& props) override;
    const std::vector<std::string>& Lines() const { return FLines; }
    void SetLines(const std::vector<std::string>& lines);
    std::string Text() const override;
    void SetMemoText(const std::string& text); // split at line breaks into Lines
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle s);
    bool BorderVisible() const { return FBorder; }
    void SetBorderVisible(bool v);

protected:
    void CreateParams(TCreateParams& params) override;
    void TakeWindowText(const std::string& text) override { SetMemoText(text); }

private:
    std::vector<std::string> FLines;
    TScrollStyle FScrollBars = TScrollStyle::ssNone;
    bool FBorder = true;
    bool FWordWrap = true;
};

// Splits text at CR LF, CR or LF; a final line break adds no empty line.
std::vector<std::string> SplitLines(const std::string& text);
std::string JoinLines(const std::vector<std::string>& lines); // each line followed by CR LF

class TLabel : public TControl {
public:
    explicit TLabel(TComponent* owner);
    std::string ClassName() const override { return "TLabel"; }
    void GetProperties(TPropList& props) override;
    // Sized to its text in its font (a line break makes it taller); the position stays.
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool v);

protected:
    void CreateParams(TCreateParams& params) override;
    void AdjustSize() override;

private:
    bool FAutoSize = false;
};

// The size of text drawn in font (line breaks start new lines), in designed pixels.
// False where there is no screen to measure with (the host).
bool MeasureText(const TFontStyle& font, const std::string& text, std::int32_t& width, std::int32_t& height);

class TProgressBar : public TControl {
public:
    explicit TProgressBar(TComponent* owner);
    std::string ClassName() const override { return "TProgressBar"; }
    void GetProperties(TPropList& props) override;
    std::int32_t Min() const { return FMin; }
    std::int32_t Max() const { return FMax; }
    std::int32_t Position() const { return FPosition; }
    std::int32_t Step() const { return FStep; }
    void SetRange(std::int32_t min, std::int32_t max);
    void SetPosition(std::int32_t v);
    void SetStep(std::int32_t v);
    bool Smooth() const { return FSmooth; }
    void SetSmooth(bool v);

protected:
    void CreateParams(TCreateParams& params) override;
    void ApplyChange(TChange what) override;

private:
    std::int32_t FMin = 0, FMax = 100, FPosition = 0, FStep = 10;
    bool FSmooth = false;
};

class TBevel : public TControl {
public:
    explicit TBevel(TComponent* owner);
    std::string ClassName() const override { return "TBevel"; }
    void GetProperties(TPropList& props) override;
    TBevelShape Shape() const { return FShape; }
    void SetShape(TBevelShape s);
    // Made anew: the system's etched line sizes itself when it is created.
    void DpiChanged() override;

protected:
    void CreateParams(TCreateParams& params) override;

private:
    TBevelShape FShape = TBevelShape::bsBox;
};

// Registers the control classes (and TForm) for reading definitions.
void RegisterToolkitClasses();
