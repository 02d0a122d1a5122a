#pragma once
// A multi-line text label: a disabled panel holding a borderless, read-only memo that fills
// it. Only the panel is disabled, so the text can be neither focused nor edited while the
// memo itself stays enabled and draws it in normal (not greyed) colours, with line breaks
// and word wrapping.
//
// Beside the published Lines the component stores the binary property "RealLines":
//
//   | length n : i32 | n bytes: every line followed by CR LF (code page 932) |
//
// written only when there is at least one line. It comes after the published properties,
// so on loading it is the value that wins.
#include "toolkit/uControls.h"

#include <functional>
#include <string>
#include <vector>

// A list of lines that reports every change.
class TLineList {
public:
    std::function<void()> OnChange;

    std::size_t Count() const { return FLines.size(); }
    const std::string& operator[](std::size_t i) const { return FLines.at(i); }
    const std::vector<std::string>& Items() const { return FLines; }
    void SetItem(std::size_t i, const std::string& s);
    void Add(const std::string& s);
    void Clear();
    void Assign(const std::vector<std::string>& lines);
    // Every line followed by CR LF.
    std::string Text() const { return JoinLines(FLines); }
    // Split at CR LF, CR or LF.
    void SetText(const std::string& text) { Assign(SplitLines(text)); }

private:
    void Changed() {
        if (OnChange) OnChange();
    }
    std::vector<std::string> FLines;
};

class TDeactiveMemo : public TPanel {
public:
    explicit TDeactiveMemo(TComponent* owner);
    std::string ClassName() const override { return "TDeactiveMemo"; }

    // The line list itself: changes made through it are shown at once.
    TLineList& Lines() { return FLines; }
    const TLineList& Lines() const { return FLines; }
    void SetLines(const std::vector<std::string>& lines) { FLines.Assign(lines); }
    // The memo that shows the text (owned by this control).
    TMemo* Memo() const { return FMemo; }

    void GetProperties(TPropList& props) override;
    void DefineProperties(TFiler& filer) override;
    void ReadRealLines(TStream& stream);
    void WriteRealLines(TStream& stream);

private:
    TMemo* FMemo;
    TLineList FLines;
};
