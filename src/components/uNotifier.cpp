#include "components/uNotifier.h"

#include "components/uNotifierLayout.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The screen's size in designed pixels (nothing to measure on the host).
void ScreenSize(std::int32_t& width, std::int32_t& height) {
#ifdef _WIN32
    width = MulDiv(GetSystemMetrics(SM_CXSCREEN), 96, ScreenDpi());
    height = MulDiv(GetSystemMetrics(SM_CYSCREEN), 96, ScreenDpi());
#else
    width = height = 0;
#endif
}

// Gives the keyboard focus back to the top-level window of the control.
void BringToForeground([[maybe_unused]] TControl* control) {
#ifdef _WIN32
    if (auto h = static_cast<HWND>(control->Handle())) SetForegroundWindow(GetAncestor(h, GA_ROOT));
#endif
}

const std::vector<std::string> kBorderStyleNames = {"bsNone",   "bsSingle",     "bsSizeable",
                                                    "bsDialog", "bsToolWindow", "bsSizeToolWin"};

} // namespace

TNotifyForm::TNotifyForm(TNotifier* owner) : TForm(owner), FNotifier(owner) {}

std::intptr_t TNotifyForm::WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
#ifdef _WIN32
    // Alt+F4 would hide the window behind the notifier's back, leaving the owner disabled.
    if (msg == WM_CLOSE) return 0;
#endif
    return TForm::WndProc(msg, wParam, lParam);
}

void TNotifyForm::CreateHandle() {
    ExtraStyle = FNotifier ? FNotifier->AdditionalCreateParams() : 0;
    TForm::CreateHandle();
}

TNotifier::TNotifier(TComponent* owner) : TComponent(owner) {
    FWindow = new TNotifyForm(this);
    FWindow->SetFormStyle(TFormStyle::fsStayOnTop);
    FWindow->SetBorderStyle(FBorderStyle);
    FWindow->SetBorderIcons(0);

    FLabel = new TLabel(this);
    FLabel->SetAutoSize(true);
    FLabel->SetParent(FWindow);

    FCancelButton = new TButton(this);
    FCancelButton->SetVisible(false);
    FCancelButton->SetHeight(20);
    FCancelButton->SetParent(FWindow);
    FCancelButton->SetCancel(true);
    FCancelButton->SetCaption("\xB7\xAC\xDD\xBE\xD9(&C)"); // half-width katakana "Cancel"
    FCancelButton->OnClick = [this](TComponent* sender) { CancelButtonClick(sender); };

    FProgressBar = new TProgressBar(this);
    FProgressBar->SetVisible(false);
    FProgressBar->SetParent(FWindow);

    FCaption = Application.Title;
}

TNotifier::~TNotifier() {
    *FAlive = false;
    if (FShowing) {
        try {
            Hide();
        } catch (...) {
            Application.HandleException(std::current_exception());
        }
    }
    // The controls and the window are owned components and go with this one.
}

TWinControl* TNotifier::OwnerControl() const {
    return dynamic_cast<TWinControl*>(Owner());
}

void TNotifier::ShowCenteredOnScreen() {
    TNotifierRect r;
    ScreenSize(r.Right, r.Bottom);
    ShowCenteredIn(r);
}

void TNotifier::ShowCenteredOn(TControl* control) {
    if (!control) return ShowCenteredOnScreen();
    std::int32_t w = control->Width(), h = control->Height();
    if (auto* form = dynamic_cast<TForm*>(control)) form->OuterSize(w, h); // a form's bounds are its frame
    ShowCenteredIn({control->Left(), control->Top(), control->Left() + w, control->Top() + h});
}

void TNotifier::ShowCenteredIn(const TNotifierRect& rect) {
    FIsCancel = false;
    FTargetRect = rect;
    Arrange();
    FShowing = true;
    FWindow->Show();
    if (TWinControl* owner = OwnerControl(); owner && !FDisabledOwner && owner->Enabled()) {
        owner->SetEnabled(false);
        FDisabledOwner = true;
    }
    Application.ProcessMessages();
}

void TNotifier::Hide() {
    // Only what this notifier disabled is enabled again: an owner that was already
    // disabled by someone else stays so.
    if (TWinControl* owner = OwnerControl(); owner && FDisabledOwner) {
        owner->SetEnabled(true);
        BringToForeground(owner);
    }
    FDisabledOwner = false;
    FWindow->Hide();
    FShowing = false;
}

void TNotifier::SetMsg(const std::string& v) {
    FMsg = v;
    FLabel->SetText(v);
    if (FLabel->Height() != FLastLabelHeight || (FAdjustWidth && FLabel->Width() != FLastLabelWidth))
        Arrange();
    FLastLabelWidth = FLabel->Width();
    // Not while a definition is being read: that is no time to dispatch other windows' messages.
    if (!IsLoading()) Application.ProcessMessages();
}

void TNotifier::SetBorderStyle(TFormBorderStyle v) {
    if (v == FBorderStyle) return;
    FBorderStyle = v;
    FWindow->SetBorderStyle(v);
}

void TNotifier::Arrange() {
    FWindow->SetCaption(FCaption);
    FLabel->SetText(FMsg);

    TNotifierLayoutInput in;
    in.LabelWidth = FLabel->Width();
    in.LabelHeight = FLabel->Height();
    std::int32_t captionW = 0, captionH = 0;
    if (!FCaption.empty() && MeasureText(FWindow->EffectiveFont(), FCaption, captionW, captionH))
        in.CaptionWidth = captionW;
    in.CanCancel = FCanCancel;
    in.CancelWidth = FCancelButton->Width();
    in.CancelHeight = FCancelButton->Height();
    in.ShowProgressBar = FShowProgressBar;
    in.BarHeight = FProgressBar->Height();
    in.TargetLeft = FTargetRect.Left;
    in.TargetTop = FTargetRect.Top;
    in.TargetRight = FTargetRect.Right;
    in.TargetBottom = FTargetRect.Bottom;

    // The client size first: the frame around it is what the window adds to it.
    TNotifierLayout out = ArrangeNotifier(in);
    FWindow->SetClientSize(out.ClientWidth, out.ClientHeight);
    std::int32_t outerW = 0, outerH = 0;
    FWindow->OuterSize(outerW, outerH);
    in.FrameWidth = outerW - out.ClientWidth;
    in.FrameHeight = outerH - out.ClientHeight;
    out = ArrangeNotifier(in);

    FLabel->SetBounds(out.LabelLeft, out.LabelTop, in.LabelWidth, in.LabelHeight);
    FLastLabelHeight = in.LabelHeight;
    FLastLabelWidth = in.LabelWidth;

    FProgressBar->SetVisible(FShowProgressBar);
    if (FShowProgressBar) FProgressBar->SetBounds(out.BarLeft, out.BarTop, out.BarWidth, in.BarHeight);
    FCancelButton->SetVisible(FCanCancel);
    if (FCanCancel) FCancelButton->SetBounds(out.CancelLeft, out.CancelTop, in.CancelWidth, in.CancelHeight);

    FWindow->SetBounds(out.WindowLeft, out.WindowTop, out.ClientWidth, out.ClientHeight);
}

void TNotifier::CancelButtonClick(TComponent*) {
    FIsCancel = true;
    if (OnCancel) {
        std::shared_ptr<bool> alive = FAlive;
        TNotifyEvent handler = OnCancel; // the handler may free this notifier and with it OnCancel
        handler(this);
        if (!*alive) return;
    }
    Hide();
}

void TNotifier::GetProperties(TPropList& p) {
    TComponent::GetProperties(p);
    p.String(
        "Caption", [this] { return FCaption; }, [this](const std::string& v) { SetCaption(v); },
        Application.Title); // the creation value, so that an empty caption is stored
    p.String(
        "Msg", [this] { return FMsg; }, [this](const std::string& v) { SetMsg(v); });
    p.Bool(
        "CanCancel", [this] { return FCanCancel; }, [this](bool v) { SetCanCancel(v); });
    p.Bool(
        "ShowProgressBar", [this] { return FShowProgressBar; }, [this](bool v) { SetShowProgressBar(v); });
    p.Int(
        "AdditionalCreateParams", [this] { return static_cast<std::int32_t>(FAdditionalCreateParams); },
        [this](std::int32_t v) { SetAdditionalCreateParams(static_cast<std::uint32_t>(v)); }, 0);
    p.Enum(
        "BorderStyle", kBorderStyleNames, [this] { return int(FBorderStyle); },
        [this](int v) { SetBorderStyle(TFormBorderStyle(v)); }, int(TFormBorderStyle::bsDialog));
    p.Bool(
        "AdjustWidth", [this] { return FAdjustWidth; }, [this](bool v) { SetAdjustWidth(v); }, false);
}

void TNotifier::DefineProperties(TFiler& filer) {
    TComponent::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "ClassData", [this](TStream& s) { ReadClassData(s); }, [this](TStream& s) { WriteClassData(s); },
        true);
}

void TNotifier::WriteClassData(TStream& stream) {
    WriteComponentDef(stream, *FProgressBar);
}

void TNotifier::ReadClassData(TStream& stream) {
    ReadComponentDef(stream, *FProgressBar);
}
