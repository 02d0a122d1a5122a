#include "toolkit/uImage.h"

TImagePlacement PlaceImage(std::int32_t clientWidth, std::int32_t clientHeight, std::int32_t bitmapWidth,
                           std::int32_t bitmapHeight, bool center, bool stretch) {
    if (clientWidth <= 0 || clientHeight <= 0 || bitmapWidth <= 0 || bitmapHeight <= 0) return {};
    if (stretch) return {0, 0, clientWidth, clientHeight};
    if (!center) return {0, 0, bitmapWidth, bitmapHeight};
    return {(clientWidth - bitmapWidth) / 2, (clientHeight - bitmapHeight) / 2, bitmapWidth, bitmapHeight};
}

TImage::TImage(TComponent* owner) : TControl(owner) {
    SetBounds(0, 0, 105, 105);
    SetParentColor(true);
}

void TImage::GetProperties(TPropList& p) {
    TControl::GetProperties(p);
    p.Bool(
        "Center", [this] { return FCenter; }, [this](bool v) { SetCenter(v); }, false);
    p.Bool(
        "Stretch", [this] { return FStretch; }, [this](bool v) { SetStretch(v); }, false);
}

void TImage::DefineProperties(TFiler& filer) {
    TControl::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "Picture", [this](TStream& s) { ReadPicture(s); }, [this](TStream& s) { WritePicture(s); },
        !FPicture.Empty());
}

void TImage::ReadPicture(TStream& stream) {
    TBitmap b;
    b.LoadFromStream(stream);
    SetPicture(b);
}

void TImage::WritePicture(TStream& stream) {
    FPicture.SaveToStream(stream);
}

void TImage::SetPicture(const TBitmap& bitmap) {
    FPicture.Assign(&bitmap);
    Invalidate();
}

void TImage::SetCenter(bool v) {
    if (v == FCenter) return;
    FCenter = v;
    Invalidate();
}

void TImage::SetStretch(bool v) {
    if (v == FStretch) return;
    FStretch = v;
    Invalidate();
}

#ifndef _WIN32
std::intptr_t TImage::WndProc(unsigned m, std::uintptr_t w, std::intptr_t l) {
    return TControl::WndProc(m, w, l);
}
void TImage::PaintTo(void*) {}
#endif
