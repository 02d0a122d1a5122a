#pragma once
// Top-level windows (forms) and the application object: title, message loop, message
// pumping and the handler that reports an error which escaped an event handler.
#include "toolkit/uControls.h"

#include <exception>
#include <functional>
#include <string>

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TPosition { poDesigned, poScreenCenter };
enum class TFormStyle { fsNormal, fsStayOnTop };
enum TBorderIcon : std::uint32_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };

// A top-level window. Left/Top are its screen position, Width/Height its client size.
class TForm : public TWinControl {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;
    std::string ClassName() const override { return "TForm"; }
    void GetProperties(TPropList& props) override;

    std::int32_t ClientWidth() const override { return Width(); }
    std::int32_t ClientHeight() const override { return Height(); }
    void SetClientSize(std::int32_t w, std::int32_t h) { SetBounds(Left(), Top(), w, h); }

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle s);
    TPosition Position() const { return FPosition; }
    void SetPosition(TPosition p) { FPosition = p; }
    TFormStyle FormStyle() const { return FFormStyle; }
    void SetFormStyle(TFormStyle s);
    std::uint32_t BorderIcons() const { return FBorderIcons; }
    void SetBorderIcons(std::uint32_t icons);
    // Window-style bits OR-ed into the native window's style at creation.
    std::uint32_t ExtraStyle = 0;

    void Show();
    void Hide() { SetVisible(false); }
    // Hides the form; closing the application's main form ends the message loop.
    void Close();
    // Outer size of the native window in designed units (client size when there is none).
    void OuterSize(std::int32_t& width, std::int32_t& height) const;

    // Reads this form's definition: from the RCDATA resource named after the class name
    // in upper case (Windows), or from a stream or bytes.
    void LoadDefinitionResource(const std::string& resourceName = "");
    void LoadDefinition(TStream& stream);
    void LoadDefinition(const std::uint8_t* data, std::size_t size);

    TNotifyEvent OnCreate;  // after the definition is read (called by the form's own code)
    TNotifyEvent OnClose;   // when the form is closed
    TNotifyEvent OnDestroy; // at the start of destruction
    // Work the first view of the form does not need: run once from the message loop after
    // the form was first shown and painted (before any input that came meanwhile).
    std::function<void()> AfterFirstPaint;

    std::intptr_t WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandle() override;
    void ApplyChange(TChange what) override;

private:
    void ClickButton(bool cancel);
    TFormBorderStyle FBorderStyle = TFormBorderStyle::bsSizeable;
    TPosition FPosition = TPosition::poDesigned;
    TFormStyle FFormStyle = TFormStyle::fsNormal;
    std::uint32_t FBorderIcons = biSystemMenu | biMinimize | biMaximize;
    bool FCentered = false;
};

class TApplication {
public:
    std::string Title;
    TForm* MainForm = nullptr;
    // Replaces the default report (a message box) of an escaped error.
    std::function<void(std::exception_ptr)> OnException;
    // Replaces the error message box (tests and build tools).
    std::function<void(const std::string&)> OnErrorBox;

    // Called at every boundary to the system (window procedures and other callbacks):
    // reports the error, never lets it go further.
    void HandleException(std::exception_ptr error) noexcept;
    // The program's one error box: OK button, stop icon, the application's title, owned by the
    // active window, topmost and brought to the foreground.
    void ShowErrorBox(const std::string& text);
    // Processes all pending messages.
    void ProcessMessages();
    // Shows the main form and runs the message loop until it closes.
    void Run();
    void Terminate();

private:
    bool FTerminated = false;
};

extern TApplication Application;

// The text of an error for the user (its message, or a generic text).
std::string ExceptionText(std::exception_ptr error);

// The DPI every designed size is scaled to: the system's at start (96 on the host and when
// it cannot be found), then that of the monitor the window moved to (WM_DPICHANGED).
int ScreenDpi();
void SetScreenDpi(int dpi);
