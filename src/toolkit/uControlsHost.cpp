// Hosts without windows (the build tools and the host tests): the control model works,
// native windows are never created. The Windows versions are in uControls_win.cpp.
#ifndef _WIN32
#include "toolkit/uForms.h"

#include <cstdio>

struct TControl::TNative {};
void TControl::TNativeDeleter::operator()(TNative* n) const {
    delete n;
}

void TControl::HandleNeeded() {}
void TControl::DestroyHandle() {}
void TControl::Invalidate() {}
std::intptr_t TControl::WndProc(unsigned, std::uintptr_t, std::intptr_t) {
    return 0;
}
void TControl::CreateParams(TCreateParams&) {}
void TControl::CreateHandle() {}
void TControl::ApplyChange(TChange) {}
std::intptr_t TControl::CtlColor(void*) {
    return 0;
}
std::intptr_t TWinControl::WndProc(unsigned m, std::uintptr_t w, std::intptr_t l) {
    return TControl::WndProc(m, w, l);
}
void TWinControl::CreateHandle() {}
std::intptr_t TPanel::WndProc(unsigned m, std::uintptr_t w, std::intptr_t l) {
    return TWinControl::WndProc(m, w, l);
}
void TPanel::CreateParams(TCreateParams&) {}
void TButton::CreateParams(TCreateParams&) {}
void TButton::ApplyChange(TChange) {}
void TCheckBox::CreateParams(TCreateParams&) {}
void TCheckBox::ApplyChange(TChange) {}
void TRadioButton::CreateParams(TCreateParams&) {}
void TEdit::CreateParams(TCreateParams&) {}
void TEdit::ApplyChange(TChange) {}
std::intptr_t TEdit::CtlColor(void*) {
    return 0;
}
void TEdit::CommandNotify(int) {}
void TMemo::CreateParams(TCreateParams&) {}
void TLabel::CreateParams(TCreateParams&) {}
void TProgressBar::CreateParams(TCreateParams&) {}
void TProgressBar::ApplyChange(TChange) {}
void TBevel::CreateParams(TCreateParams&) {}

void TForm::Show() {
    SetVisible(true);
}
void TForm::Close() {
    SetVisible(false);
    if (OnClose) OnClose(this);
    if (Application.MainForm == this) Application.Terminate();
}
void TForm::OuterSize(std::int32_t& width, std::int32_t& height) const {
    width = Width();
    height = Height();
}
void TForm::LoadDefinitionResource(const std::string&) {
    throw EFOpenError("Window definitions are carried as resources only on Windows");
}
std::intptr_t TForm::WndProc(unsigned m, std::uintptr_t w, std::intptr_t l) {
    return TWinControl::WndProc(m, w, l);
}
void TForm::CreateParams(TCreateParams&) {}
void TForm::CreateHandle() {}
void TForm::ApplyChange(TChange) {}
void TForm::ClickButton(bool) {}

void TApplication::ShowErrorBox(const std::string& text) {
    if (OnErrorBox) return OnErrorBox(text);
    std::fprintf(stderr, "%s\n", text.c_str());
}
void TApplication::ProcessMessages() {}
void TApplication::Run() {}

int ScreenDpi() {
    return 96;
}
void SetScreenDpi(int) {}
void TControl::DpiChanged() {}
void TBevel::DpiChanged() {}
bool MeasureText(const TFontStyle&, const std::string&, std::int32_t&, std::int32_t&) {
    return false;
}
#endif
