#pragma once
// A please-wait box for long work done on the GUI thread: a non-visual component that owns
// a small stay-on-top window without title-bar buttons showing one message and, on request,
// a progress bar and a cancel button. While the window shows, the component's owner (when
// it is a windowed control) is disabled; every way out of the showing state (Hide, the
// cancel button, destruction) enables it again.
//
// The binary property "ClassData" holds the progress bar's own settings as a nested,
// complete window definition (toolkit/uDefFormat.h); it is always written.
#include "toolkit/uForms.h"

#include <cstdint>
#include <memory>
#include <string>

class TNotifier;

// The notifier's window: a plain form that ORs the notifier's AdditionalCreateParams into
// its window style when its native window is created.
class TNotifyForm : public TForm {
public:
    explicit TNotifyForm(TNotifier* owner);
    std::string ClassName() const override { return "TNotifyForm"; }
    // The user cannot close the box: it goes away through Hide or its cancel button.
    std::intptr_t WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) override;

protected:
    void CreateHandle() override;

private:
    TNotifier* FNotifier;
};

struct TNotifierRect {
    std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

class TNotifier : public TComponent {
public:
    explicit TNotifier(TComponent* owner);
    // Hides a showing window first, so the owner is enabled again.
    ~TNotifier() override;
    std::string ClassName() const override { return "TNotifier"; }

    // Centred on the whole screen.
    void ShowCenteredOnScreen();
    // Centred on the control's bounds (screen coordinates for a form); on the screen
    // without a control.
    void ShowCenteredOn(TControl* control);
    void ShowCenteredIn(const TNotifierRect& rect);
    void Hide();
    // Sizes and places the window and its controls.
    void Arrange();

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& v) { FCaption = v; }
    const std::string& Msg() const { return FMsg; }
    // Shows the message at once; re-arranges when the label's height changed (or, with
    // AdjustWidth, its width), then pumps the message queue.
    void SetMsg(const std::string& v);
    TProgressBar* ProgressBar() const { return FProgressBar; }
    bool CanCancel() const { return FCanCancel; }
    void SetCanCancel(bool v) { FCanCancel = v; }
    bool Showing() const { return FShowing; }
    bool ShowProgressBar() const { return FShowProgressBar; }
    void SetShowProgressBar(bool v) { FShowProgressBar = v; }
    bool IsCancel() const { return FIsCancel; }
    std::uint32_t AdditionalCreateParams() const { return FAdditionalCreateParams; }
    void SetAdditionalCreateParams(std::uint32_t v) { FAdditionalCreateParams = v; }
    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle v);
    bool AdjustWidth() const { return FAdjustWidth; }
    void SetAdjustWidth(bool v) { FAdjustWidth = v; }
    TNotifyEvent OnCancel;

    const TNotifierRect& TargetRect() const { return FTargetRect; }
    std::int32_t LastLabelWidth() const { return FLastLabelWidth; }
    std::int32_t LastLabelHeight() const { return FLastLabelHeight; }
    TNotifyForm* Window() const { return FWindow; }
    TLabel* MsgLabel() const { return FLabel; }
    TButton* CancelButton() const { return FCancelButton; }

    // IsCancel, OnCancel, then Hide; a handler that frees the notifier ends it there.
    void CancelButtonClick(TComponent* sender);

    void GetProperties(TPropList& props) override;
    void DefineProperties(TFiler& filer) override;
    void ReadClassData(TStream& stream);
    void WriteClassData(TStream& stream);

private:
    TWinControl* OwnerControl() const;
    // The owner was enabled when the window was shown and this notifier disabled it.
    bool FDisabledOwner = false;
    // Cleared by the destructor: an OnCancel handler may free the notifier.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);

    bool FShowing = false;
    TNotifierRect FTargetRect;
    std::int32_t FLastLabelWidth = 0;
    std::int32_t FLastLabelHeight = 0;
    TLabel* FLabel = nullptr;
    TButton* FCancelButton = nullptr;
    std::string FCaption;
    std::string FMsg;
    TProgressBar* FProgressBar = nullptr;
    TNotifyForm* FWindow = nullptr;
    bool FCanCancel = false;
    bool FIsCancel = false;
    bool FShowProgressBar = false;
    std::uint32_t FAdditionalCreateParams = 0;
    TFormBorderStyle FBorderStyle = TFormBorderStyle::bsDialog;
    bool FAdjustWidth = false;
};
