#include "components/uDeactiveMemo.h"

#include "store/uStreamUtils.h"

void TLineList::SetItem(std::size_t i, const std::string& s) {
    if (FLines.at(i) == s) return;
    FLines[i] = s;
    Changed();
}

void TLineList::Add(const std::string& s) {
    FLines.push_back(s);
    Changed();
}

void TLineList::Clear() {
    if (FLines.empty()) return;
    FLines.clear();
    Changed();
}

void TLineList::Assign(const std::vector<std::string>& lines) {
    if (lines == FLines) return;
    FLines = lines;
    Changed();
}

TDeactiveMemo::TDeactiveMemo(TComponent* owner) : TPanel(owner), FMemo(new TMemo(this)) {
    FMemo->SetParent(this);
    FMemo->SetAlign(TAlign::alClient);
    FMemo->SetReadOnly(true);
    FMemo->SetBorderVisible(false);
    FMemo->SetParentColor(true);
    FMemo->SetParentFont(true);

    SetBevelOuter(false);
    SetCaption("");
    SetParentColor(true);
    SetEnabled(false);

    FLines.OnChange = [this] { FMemo->SetLines(FLines.Items()); };
}

void TDeactiveMemo::GetProperties(TPropList& props) {
    TPanel::GetProperties(props);
    props.Strings(
        "Lines", [this] { return FLines.Items(); },
        [this](const std::vector<std::string>& v) { SetLines(v); });
}

void TDeactiveMemo::DefineProperties(TFiler& filer) {
    TPanel::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "RealLines", [this](TStream& s) { ReadRealLines(s); }, [this](TStream& s) { WriteRealLines(s); },
        FLines.Count() > 0);
}

void TDeactiveMemo::WriteRealLines(TStream& stream) {
    WriteString(stream, FLines.Text());
}

void TDeactiveMemo::ReadRealLines(TStream& stream) {
    FLines.SetText(ReadString(stream));
}
