#pragma once
// TImage: a control that shows a bitmap, at its top-left corner, centred, or stretched
// over the whole control; the rest of the control shows its colour (by default the
// parent's). In a window definition the bitmap is the binary property "Picture" (one
// complete bitmap file, stored only when the image is not empty).
#include "toolkit/uBitmap.h"
#include "toolkit/uControls.h"

struct TImagePlacement {
    std::int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    bool operator==(const TImagePlacement&) const = default;
};

// Where a bitmap of bitmapWidth x bitmapHeight is drawn in a client area of clientWidth x
// clientHeight: stretch fills the area; otherwise the bitmap keeps its size, at the
// top-left corner or centred (a bitmap larger than the area is clipped evenly on both
// sides when centred). Empty for an empty bitmap or area.
TImagePlacement PlaceImage(std::int32_t clientWidth, std::int32_t clientHeight, std::int32_t bitmapWidth,
                           std::int32_t bitmapHeight, bool center, bool stretch);

class TImage : public TControl {
public:
    explicit TImage(TComponent* owner);
    std::string ClassName() const override { return "TImage"; }
    void GetProperties(TPropList& props) override;
    void DefineProperties(TFiler& filer) override;
    std::intptr_t WndProc(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) override;

    const TBitmap& Picture() const { return FPicture; }
    void SetPicture(const TBitmap& bitmap);
    bool Center() const { return FCenter; }
    void SetCenter(bool v);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool v);

    // Reads one bitmap file (ECorruptData for a damaged one, the picture then unchanged).
    void ReadPicture(TStream& stream);
    void WritePicture(TStream& stream);

private:
    // Draws the colour and the picture into a device context (an HDC) of the client area.
    void PaintTo(void* dc);

    TBitmap FPicture;
    bool FCenter = false;
    bool FStretch = false;
};
