#pragma once
// Drawing helpers of the owner-drawn buttons and the mask maker of the bitmap list:
// colour shading, a readable text colour, transparency masks and the stepped 3-D frame.
// Colours are toolkit colour values: 0x00BBGGRR, or negative for a system colour
// (0x80000000 | COLOR_xxx index); "resolving" turns a system colour into its RGB value.
// The GDI painting functions are declared at the end (Windows only, uGraphUtils_win.cpp).
#include "store/uErrors.h"
#include "toolkit/uBitmap.h"

#include <cstdint>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

// Where an image button shows its caption relative to its image.
enum TCaptionPosition { cpNone, cpLeft, cpTop, cpRight, cpBottom };

// Raised by the mask maker for 15-bit, 16-bit and custom pixel formats.
class EInvalidBitmap : public Exception {
public:
    EInvalidBitmap();
};
// "演算できないビットマップ形式です。" in code page 932.
extern const char kInvalidBitmapMessage[];

constexpr TColor kClNone = 0x1FFFFFFF; // "no colour"
constexpr TColor kClWhite = 0xFFFFFF;
constexpr TColor kClBlack = 0;

// System colours: resolved with GetSysColor on Windows; elsewhere from a fixed table of
// the classic Windows scheme. A hook may replace the resolver (null restores the default).
using TColorResolver = TColor (*)(TColor color);
void SetColorResolver(TColorResolver resolver);
TColor ResolveColor(TColor color);
// The classic-scheme value of a system colour index (0 for an unknown index).
TColor ClassicSysColor(int index);

void SplitRGB(TColor color, int& red, int& green, int& blue);
// One channel of rgb ((rgb AND mask) shifted down by shift) scaled by factor, rounded to
// the nearest integer (ties to even) and shifted back up. A zero channel brightened by a
// factor above 1 starts from 81.6; the result saturates at 255.
TColor ScaleChannel(TColor rgb, std::uint32_t mask, int shift, double factor);
TColor ScaleColor(TColor color, double factor);
TColor DarkerColor(TColor color);  // factor 0.6
TColor LighterColor(TColor color); // factor 1.3
// White for colours of middle brightness, otherwise the resolved colour inverted.
TColor ContrastColor(TColor color);

// A set of pixel formats, one bit per TPixelFormat value.
using TPixelFormats = std::uint32_t;
constexpr TPixelFormats PixelFormatBit(TPixelFormat f) {
    return 1u << static_cast<int>(f);
}
constexpr TPixelFormats kMaskSourceFormats = 0xCF; // device, 1, 4, 8, 24 and 32 bits

void CheckPixelFormat(const TBitmap& bitmap, TPixelFormats allowed);

// dest := a mask of source: on (white) where a pixel equals the resolved colour, off
// (black) elsewhere; inverted swaps on and off. The result is made monochrome and then
// full colour again (32 bits). Nothing happens for a null or empty source.
void MakeMask(TBitmap* dest, const TBitmap* source, TColor color, bool inverted);

// One pen stroke: move-to (X1, Y1), line-to (X2, Y2); the end point is not drawn.
struct TLineSegment {
    int X1, Y1, X2, Y2;
    TColor Color;
    bool operator==(const TLineSegment&) const = default;
};

struct TFrameRect {
    int Left, Top, Right, Bottom;
};

// The strokes of the 3-D frame in drawing order: top-left edge then bottom-right edge,
// optionally with a black corner line; the bottom and right edges step inwards by one
// pixel per line at their far ends. Empty for an empty rectangle.
std::vector<TLineSegment> Frame3DLines(const TFrameRect& rect, TColor color, int widthX, int widthY,
                                       bool raised, bool blackLine);

// Rasterises strokes on a bitmap as a 1-pixel solid pen does (end points excluded).
void DrawLineSegments(TBitmap& bitmap, const std::vector<TLineSegment>& lines);
void DrawFrame3D(TBitmap& bitmap, const TFrameRect& rect, TColor color, int widthX, int widthY, bool raised,
                 bool blackLine);
// Fills the rectangle with color, then draws the frame.
void DrawBevel(TBitmap& bitmap, const TFrameRect& rect, TColor color, int widthX, int widthY, bool raised,
               bool blackLine);

#ifdef _WIN32
// GDI painting through a device context. Null or empty bitmaps draw nothing.
void DrawTransparent(HDC canvas, int x, int y, const TBitmap* image, const TBitmap* mask);
void DrawMasked(HDC canvas, int x, int y, HBITMAP work, HBITMAP image, HBITMAP mask, int width, int height);
void DrawSilhouette(HDC canvas, int x, int y, TColor color, const TBitmap* mask);
void DrawDisabledBitmap(HDC canvas, int x, int y, const TBitmap* mask, TColor light, TColor dark);
// text in code page 932; the caller selects the font and the background mode.
void DrawDisabledText(HDC canvas, RECT rect, const std::string& text, TColor color);
// Each stroke with a 1-pixel solid pen in its colour (end points excluded).
void DrawLineSegments(HDC canvas, const std::vector<TLineSegment>& lines);
void DrawFrame3D(HDC canvas, const TFrameRect& rect, TColor color, int widthX, int widthY, bool raised,
                 bool blackLine);
void DrawBevel(HDC canvas, const TFrameRect& rect, TColor color, int widthX, int widthY, bool raised,
               bool blackLine);
#endif
