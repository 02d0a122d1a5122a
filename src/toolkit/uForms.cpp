// The portable part of forms and of the application object.
#include "toolkit/uForms.h"

TApplication Application;

TForm::TForm(TComponent* owner) : TWinControl(owner) {
    SetVisible(false);
    SetBounds(0, 0, 320, 240);
}

TForm::~TForm() {
    if (OnDestroy) {
        try {
            OnDestroy(this);
        } catch (...) {
            Application.HandleException(std::current_exception());
        }
    }
    if (Application.MainForm == this) Application.MainForm = nullptr;
    DestroyHandle();
}

void TForm::GetProperties(TPropList& p) {
    TWinControl::GetProperties(p);
    p.Enum(
        "BorderStyle", {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
        [this] { return int(FBorderStyle); }, [this](int v) { SetBorderStyle(TFormBorderStyle(v)); }, 2);
    p.Enum(
        "Position", {"poDesigned", "poScreenCenter"}, [this] { return int(FPosition); },
        [this](int v) { SetPosition(TPosition(v)); }, 0);
    p.Enum(
        "FormStyle", {"fsNormal", "fsStayOnTop"}, [this] { return int(FFormStyle); },
        [this](int v) { SetFormStyle(TFormStyle(v)); }, 0);
    p.Set(
        "BorderIcons", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"},
        [this] { return FBorderIcons; }, [this](std::uint32_t v) { SetBorderIcons(v); },
        biSystemMenu | biMinimize | biMaximize);
}

void TForm::SetBorderStyle(TFormBorderStyle s) {
    if (s == FBorderStyle) return;
    FBorderStyle = s;
    Changed(TChange::Style);
}

void TForm::SetFormStyle(TFormStyle s) {
    if (s == FFormStyle) return;
    FFormStyle = s;
    Changed(TChange::Style);
}

void TForm::SetBorderIcons(std::uint32_t icons) {
    if (icons == FBorderIcons) return;
    FBorderIcons = icons;
    Changed(TChange::Style);
}

void TForm::LoadDefinition(const std::uint8_t* data, std::size_t size) {
    ReadComponentDef(data, size, *this, {"TForm"});
}

void TForm::LoadDefinition(TStream& stream) {
    ReadComponentDef(stream, *this, {"TForm"});
}

std::string ExceptionText(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "Unknown error";
}

void TApplication::HandleException(std::exception_ptr error) noexcept {
    try {
        if (OnException) {
            OnException(error);
            return;
        }
        ShowErrorBox(ExceptionText(error));
    } catch (...) {
        // The report itself failed: nothing more can be done safely here.
    }
}

void TApplication::Terminate() {
    FTerminated = true;
}
