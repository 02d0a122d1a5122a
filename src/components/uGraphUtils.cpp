#include "components/uGraphUtils.h"

#include <cmath>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

const char kInvalidBitmapMessage[] =
    "\x89\x89\x8e\x5a\x82\xc5\x82\xab\x82\xc8\x82\xa2\x83\x72\x83\x62\x83\x67"
    "\x83\x7d\x83\x62\x83\x76\x8c\x60\x8e\xae\x82\xc5\x82\xb7\x81\x42";

EInvalidBitmap::EInvalidBitmap() : Exception(kInvalidBitmapMessage) {}

namespace {

TColor Rgb(int r, int g, int b) {
    return r | g << 8 | b << 16;
}

TColor DefaultResolver(TColor color) {
    if (color >= 0) return color;
#ifdef _WIN32
    return static_cast<TColor>(GetSysColor(color & 0xFF));
#else
    return ClassicSysColor(color & 0xFF);
#endif
}

TColorResolver gResolver = DefaultResolver;

} // namespace

TColor ClassicSysColor(int index) {
    // COLOR_SCROLLBAR (0) to COLOR_MENUBAR (30) of the classic Windows scheme.
    static const TColor kTable[] = {
        Rgb(212, 208, 200), Rgb(58, 110, 165),  Rgb(10, 36, 106),   Rgb(128, 128, 128), Rgb(212, 208, 200),
        Rgb(255, 255, 255), Rgb(0, 0, 0),       Rgb(0, 0, 0),       Rgb(0, 0, 0),       Rgb(255, 255, 255),
        Rgb(212, 208, 200), Rgb(212, 208, 200), Rgb(128, 128, 128), Rgb(10, 36, 106),   Rgb(255, 255, 255),
        Rgb(212, 208, 200), Rgb(128, 128, 128), Rgb(128, 128, 128), Rgb(0, 0, 0),       Rgb(212, 208, 200),
        Rgb(255, 255, 255), Rgb(64, 64, 64),    Rgb(212, 208, 200), Rgb(0, 0, 0),       Rgb(255, 255, 225),
        Rgb(181, 181, 181), Rgb(0, 0, 128),     Rgb(166, 202, 240), Rgb(192, 192, 192), Rgb(10, 36, 106),
        Rgb(212, 208, 200)};
    if (index < 0 || index >= static_cast<int>(sizeof kTable / sizeof kTable[0])) return 0;
    return kTable[index];
}

void SetColorResolver(TColorResolver resolver) {
    gResolver = resolver ? resolver : DefaultResolver;
}

TColor ResolveColor(TColor color) {
    return gResolver(color);
}

void SplitRGB(TColor color, int& red, int& green, int& blue) {
    red = color & 0xFF;
    green = (color >> 8) & 0xFF;
    blue = (color >> 16) & 0xFF;
}

TColor ScaleChannel(TColor rgb, std::uint32_t mask, int shift, double factor) {
    const std::uint32_t c = (static_cast<std::uint32_t>(rgb) & mask) >> shift;
    double v = (c == 0 && factor > 1.0) ? 81.6 * factor : c * factor;
    if (v > 255.0) v = 255.0;
    // nearbyint rounds ties to even under the default rounding mode.
    const auto channel = static_cast<std::uint32_t>(std::nearbyint(v));
    return static_cast<TColor>(channel << shift);
}

TColor ScaleColor(TColor color, double factor) {
    const TColor rgb = ResolveColor(color);
    return ScaleChannel(rgb, 0xFF, 0, factor) + ScaleChannel(rgb, 0xFF00, 8, factor) +
           ScaleChannel(rgb, 0xFF0000, 16, factor);
}

TColor DarkerColor(TColor color) {
    return ScaleColor(color, 0.6);
}
TColor LighterColor(TColor color) {
    return ScaleColor(color, 1.3);
}

TColor ContrastColor(TColor color) {
    const TColor rgb = ResolveColor(color);
    int r, g, b;
    SplitRGB(rgb, r, g, b);
    const int avg = (r + g + b) / 3;
    if (avg > 112 && avg < 144) return kClWhite;
    return rgb ^ 0xFFFFFF;
}

void CheckPixelFormat(const TBitmap& bitmap, TPixelFormats allowed) {
    if (!(allowed & PixelFormatBit(bitmap.PixelFormat()))) throw EInvalidBitmap();
}

void MakeMask(TBitmap* dest, const TBitmap* source, TColor color, bool inverted) {
    if (!source || source->Empty() || !dest) return;
    CheckPixelFormat(*source, kMaskSourceFormats);
    TBitmap mask(*source);
    // Work in full colour: a palette without pure white or black would otherwise turn
    // "on" pixels into a near colour that the monochrome step takes for black.
    if (mask.BitCount() <= 8) mask.SetPixelFormat(TPixelFormat::pf32bit);
    const TColor key = ResolveColor(color);
    const TColor on = inverted ? kClBlack : kClWhite;
    const TColor off = inverted ? kClWhite : kClBlack;
    for (int y = 0; y < source->Height(); ++y)
        for (int x = 0; x < source->Width(); ++x)
            mask.SetPixel(x, y, source->GetPixel(x, y) == key ? on : off);
    mask.SetMonochrome(true);
    mask.SetMonochrome(false);
    *dest = std::move(mask);
}

namespace {

struct TEdgeRect {
    int Left, Top, Right, Bottom;
};

void CornerLines(std::vector<TLineSegment>& out, int x, int y, int toX1, int toY1, int toX2, int toY2) {
    out.push_back({x, y, toX1, toY1, kClBlack});
    out.push_back({x, y, toX2, toY2, kClBlack});
}

void TopLeftEdge(std::vector<TLineSegment>& out, TEdgeRect w, TColor c, bool black, int widthX, int widthY) {
    const int b = black ? 1 : 0;
    if (black) {
        CornerLines(out, w.Left, w.Top, w.Left, w.Bottom, w.Right, w.Top);
        ++w.Left;
        ++w.Top;
    }
    for (int i = 0; i < widthX - b; ++i) {
        out.push_back({w.Left, w.Top, w.Left, w.Bottom, c});
        ++w.Left;
    }
    for (int i = 0; i < widthY - b; ++i) {
        out.push_back({w.Left, w.Top, w.Right, w.Top, c});
        ++w.Top;
    }
}

void BottomRightEdge(std::vector<TLineSegment>& out, TEdgeRect w, TColor c, bool black, int widthX,
                     int widthY) {
    const int b = black ? 1 : 0;
    if (black) {
        --w.Left, --w.Top, --w.Right, --w.Bottom;
        CornerLines(out, w.Right, w.Bottom, w.Left, w.Bottom, w.Right, w.Top);
        ++w.Left;
        ++w.Top;
    }
    for (int i = 0; i < widthX - b; ++i) {
        --w.Right;
        ++w.Top;
        out.push_back({w.Right, w.Top, w.Right, w.Bottom, c});
    }
    for (int i = 0; i < widthY - b; ++i) {
        ++w.Left;
        --w.Bottom;
        out.push_back({w.Left, w.Bottom, w.Right, w.Bottom, c});
    }
}

} // namespace

std::vector<TLineSegment> Frame3DLines(const TFrameRect& rect, TColor color, int widthX, int widthY,
                                       bool raised, bool blackLine) {
    std::vector<TLineSegment> out;
    if (rect.Left == rect.Right || rect.Top == rect.Bottom) return out;
    const TColor light = LighterColor(color), dark = DarkerColor(color);
    const TEdgeRect w{rect.Left, rect.Top, rect.Right, rect.Bottom};
    if (raised) {
        TopLeftEdge(out, w, light, false, widthX, widthY);
        BottomRightEdge(out, w, dark, blackLine, widthX, widthY);
    } else {
        TopLeftEdge(out, w, dark, blackLine, widthX, widthY);
        BottomRightEdge(out, w, light, false, widthX, widthY);
    }
    return out;
}

void DrawLineSegments(TBitmap& bitmap, const std::vector<TLineSegment>& lines) {
    for (const auto& l : lines) {
        // Bresenham from (X1, Y1) towards (X2, Y2), stopping before the end point.
        int x = l.X1, y = l.Y1;
        const int dx = std::abs(l.X2 - l.X1), dy = -std::abs(l.Y2 - l.Y1);
        const int sx = l.X1 < l.X2 ? 1 : -1, sy = l.Y1 < l.Y2 ? 1 : -1;
        int err = dx + dy;
        while (x != l.X2 || y != l.Y2) {
            bitmap.SetPixel(x, y, l.Color);
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
            }
        }
    }
}

void DrawFrame3D(TBitmap& bitmap, const TFrameRect& rect, TColor color, int widthX, int widthY, bool raised,
                 bool blackLine) {
    DrawLineSegments(bitmap, Frame3DLines(rect, color, widthX, widthY, raised, blackLine));
}

void DrawBevel(TBitmap& bitmap, const TFrameRect& rect, TColor color, int widthX, int widthY, bool raised,
               bool blackLine) {
    bitmap.FillRect(rect.Left, rect.Top, rect.Right, rect.Bottom, ResolveColor(color));
    DrawFrame3D(bitmap, rect, color, widthX, widthY, raised, blackLine);
}
