#include "components/uGraphUtils.h"

#include "platform/uWinHandles.h"
#include "store/uText.h"

namespace {

void BlitPlain(HDC canvas, int x, int y, const TBitmap& image) {
    UniqueHBitmap dib = CreateDIBSectionFrom(image);
    UniqueMemDC src(CreateCompatibleDC(canvas));
    if (!dib || !src) return;
    SelectGuard sel(src.Get(), dib.Get());
    BitBlt(canvas, x, y, image.Width(), image.Height(), src.Get(), 0, 0, SRCCOPY);
}

} // namespace

void DrawMasked(HDC canvas, int x, int y, HBITMAP work, HBITMAP image, HBITMAP mask, int width, int height) {
    if (!work || !image || !mask) return;
    UniqueMemDC workDC(CreateCompatibleDC(canvas)), srcDC(CreateCompatibleDC(canvas));
    if (!workDC || !srcDC) return;
    SelectGuard selWork(workDC.Get(), work);
    {
        SelectGuard sel(srcDC.Get(), mask);
        BitBlt(workDC.Get(), 0, 0, width, height, srcDC.Get(), 0, 0, SRCCOPY);
    }
    {
        // work = image AND NOT mask: the image with its transparent area black.
        SelectGuard sel(srcDC.Get(), image);
        BitBlt(workDC.Get(), 0, 0, width, height, srcDC.Get(), 0, 0, SRCERASE);
    }
    const COLORREF oldBk = SetBkColor(canvas, RGB(255, 255, 255));
    {
        // The opaque area turns black, the rest keeps what the canvas shows.
        SelectGuard sel(srcDC.Get(), mask);
        BitBlt(canvas, x, y, width, height, srcDC.Get(), 0, 0, SRCAND);
    }
    BitBlt(canvas, x, y, width, height, workDC.Get(), 0, 0, SRCINVERT);
    SetBkColor(canvas, oldBk);
}

void DrawTransparent(HDC canvas, int x, int y, const TBitmap* image, const TBitmap* mask) {
    if (!image || !mask) return;
    if (mask->Empty()) {
        BlitPlain(canvas, x, y, *image);
        return;
    }
    UniqueHBitmap work(CreateCompatibleBitmap(canvas, mask->Width(), mask->Height()));
    UniqueHBitmap imageDib = CreateDIBSectionFrom(*image), maskDib = CreateDIBSectionFrom(*mask);
    DrawMasked(canvas, x, y, work.Get(), imageDib.Get(), maskDib.Get(), mask->Width(), mask->Height());
}

void DrawSilhouette(HDC canvas, int x, int y, TColor color, const TBitmap* mask) {
    if (!mask || mask->Empty()) return;
    TBitmap solid(mask->Width(), mask->Height(), TPixelFormat::pf32bit);
    solid.Fill(ResolveColor(color));
    DrawTransparent(canvas, x, y, &solid, mask);
}

void DrawDisabledBitmap(HDC canvas, int x, int y, const TBitmap* mask, TColor light, TColor dark) {
    DrawSilhouette(canvas, x + 1, y + 1, light, mask);
    DrawSilhouette(canvas, x, y, dark, mask);
}

void DrawDisabledText(HDC canvas, RECT rect, const std::string& text, TColor color) {
    const std::wstring wide = ToWide(text);
    SetTextColor(canvas, static_cast<COLORREF>(LighterColor(color)));
    DrawTextW(canvas, wide.c_str(), static_cast<int>(wide.size()), &rect, DT_VCENTER);
    --rect.left;
    --rect.top;
    SetTextColor(canvas, static_cast<COLORREF>(DarkerColor(color)));
    DrawTextW(canvas, wide.c_str(), static_cast<int>(wide.size()), &rect, DT_VCENTER);
}

void DrawLineSegments(HDC canvas, const std::vector<TLineSegment>& lines) {
    for (const auto& l : lines) {
        UniqueHPen pen(CreatePen(PS_SOLID, 1, static_cast<COLORREF>(ResolveColor(l.Color))));
        SelectGuard sel(canvas, pen.Get());
        MoveToEx(canvas, l.X1, l.Y1, nullptr);
        LineTo(canvas, l.X2, l.Y2);
    }
}

void DrawFrame3D(HDC canvas, const TFrameRect& rect, TColor color, int widthX, int widthY, bool raised,
                 bool blackLine) {
    DrawLineSegments(canvas, Frame3DLines(rect, color, widthX, widthY, raised, blackLine));
}

void DrawBevel(HDC canvas, const TFrameRect& rect, TColor color, int widthX, int widthY, bool raised,
               bool blackLine) {
    UniqueHBrush brush(CreateSolidBrush(static_cast<COLORREF>(ResolveColor(color))));
    const RECT r{rect.Left, rect.Top, rect.Right, rect.Bottom};
    FillRect(canvas, &r, brush.Get());
    DrawFrame3D(canvas, rect, color, widthX, widthY, raised, blackLine);
}
