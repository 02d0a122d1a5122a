#pragma once
// The drawing arithmetic of the colour buttons: where the face, its bevel and inner lines,
// the focus rectangle, the image and the caption go, and which face a flat button shows.
// It is kept apart from the drawing so that it can be checked on any system; the Windows
// painting (uColorBtn_win.cpp) draws exactly these rectangles and lines.
#include "components/uGraphUtils.h"

#include <cstdint>
#include <vector>

struct TBtnContentLayout {
    std::int32_t ImageX = 0, ImageY = 0;     // top-left corner of the image
    std::int32_t CaptionX = 0, CaptionY = 0; // top-left corner of the caption
    bool HasImage = false;                   // an image of non-zero size is drawn
    bool ShowCaption = true;                 // false for cpNone
    bool operator==(const TBtnContentLayout&) const = default;
};

// The content rectangle (left, top, right, bottom), the caption's width and the height of
// "H", and the image size (0 x 0: no image). Both parts are centred; beside or above each
// other they are centred together (2 pixels apart), with the caption first for cpLeft and
// cpTop. Without an image the caption is centred; cpNone never shows the caption (an
// image button without its image then shows the bare face).
TBtnContentLayout LayoutButtonContent(std::int32_t left, std::int32_t top, std::int32_t right,
                                      std::int32_t bottom, std::int32_t captionWidth,
                                      std::int32_t captionHeight, std::int32_t imageWidth,
                                      std::int32_t imageHeight, TCaptionPosition position);

// The classic (unthemed) face of a colour button over a client area of width x height.
struct TBtnFaceLayout {
    bool FocusFrame = false;              // a black frame (no fill) around the client area
    TFrameRect Bevel{};                   // filled with the colour, 3-D bevel of width 1, black line
    std::vector<TLineSegment> InnerLines; // in DarkerColor(colour), inside the bevel
    TFrameRect Content{};                 // what the face leaves for the content
};
// focusFrame: the button emphasises its focus and has it. down: drawn sunken.
TBtnFaceLayout LayoutButtonFace(std::int32_t width, std::int32_t height, bool focusFrame, bool down,
                                TColor color);
// The themed face covers the client area; the content rectangle loses its last column and row.
TFrameRect ThemedFaceContent(std::int32_t width, std::int32_t height);
// Paints the classic face onto a bitmap as the GDI painting does on the screen.
void DrawButtonFace(TBitmap& bitmap, const TBtnFaceLayout& face, TColor color, bool down);

// Where a colour button starts its caption inside r: left = r.Left + b div 2 - b mod 2 + 1
// with b = r width - text width (division truncating toward zero), top likewise.
void ButtonCaptionOrigin(const TFrameRect& r, std::int32_t textWidth, std::int32_t textHeight,
                         std::int32_t& x, std::int32_t& y);
// The focus rectangle lies this far inside the client area.
inline std::int32_t ButtonFocusInset(bool themed) {
    return themed ? 3 : 4;
}

// Which face a flat button shows.
enum class TFlatFaceKind {
    Flat,   // the bare colour (or the parent's themed background)
    Raised, // the colour button's face, not down
    Sunken, // the colour button's face, down
};
struct TFlatFaceInput {
    bool Cool = false, Hot = false, Enabled = true;
    bool Down = false;    // the Down property
    bool Pressed = false; // the left button is held on it
    bool Toggle = false;
    bool GivenDown = false; // the draw-item state's selected bit
};
struct TFlatFace {
    TFlatFaceKind Kind = TFlatFaceKind::Flat;
    bool Shift = false; // the content moves by (1, 1)
    bool operator==(const TFlatFace&) const = default;
};
TFlatFace FlatButtonFace(const TFlatFaceInput& in);
