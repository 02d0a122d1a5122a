// GDI painting on a real memory DC (under Wine): a 32-bit top-down DIB section is the
// canvas, read back pixel by pixel after drawing.
#include "components/uGraphUtils.h"

#include "platform/uWinHandles.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

class TCanvas {
public:
    TCanvas(int w, int h, TColor background) : FWidth(w), FHeight(h) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        FBitmap.Reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        FBits = static_cast<std::uint32_t*>(bits);
        FDC.Reset(CreateCompatibleDC(nullptr));
        FOld = SelectObject(FDC.Get(), FBitmap.Get());
        UniqueHBrush brush(CreateSolidBrush(static_cast<COLORREF>(background)));
        const RECT r{0, 0, w, h};
        FillRect(FDC.Get(), &r, brush.Get());
    }
    ~TCanvas() { SelectObject(FDC.Get(), FOld); }
    HDC DC() const { return FDC.Get(); }
    // As a toolkit colour 0x00BBGGRR (the DIB holds 0x00RRGGBB).
    TColor Pixel(int x, int y) const {
        GdiFlush();
        const std::uint32_t v = FBits[y * FWidth + x];
        return static_cast<TColor>(((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF));
    }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }

private:
    int FWidth, FHeight;
    UniqueHBitmap FBitmap;
    UniqueMemDC FDC;
    HGDIOBJ FOld = nullptr;
    std::uint32_t* FBits = nullptr;
};

constexpr TColor kGreen = 0x00FF00;

} // namespace

TEST(GdiPainting, DIBSectionsKeepThePixels) {
    for (TPixelFormat f : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                           TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
        TBitmap bmp(5, 3, f);
        bmp.Fill(0x000000);
        bmp.SetPixel(1, 0, 0xFFFFFF);
        bmp.SetPixel(4, 2, 0xFFFFFF);
        TCanvas canvas(8, 8, kGreen);
        TBitmap none;
        DrawTransparent(canvas.DC(), 2, 3, &bmp, &none); // an empty mask draws the image plainly
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(canvas.Pixel(x + 2, y + 3), bmp.GetPixel(x, y))
                    << static_cast<int>(f) << " " << x << "," << y;
        EXPECT_EQ(canvas.Pixel(0, 0), kGreen);
    }
    EXPECT_FALSE(CreateDIBSectionFrom(TBitmap()));
}

TEST(GdiPainting, DrawTransparentShowsOnlyTheOpaqueArea) {
    TBitmap image(4, 2, TPixelFormat::pf24bit);
    image.Fill(0xFF00FF);
    image.SetPixel(1, 0, 0x0000FF);
    image.SetPixel(2, 1, 0x123456);
    TBitmap mask;
    MakeMask(&mask, &image, 0xFF00FF, false);
    TCanvas canvas(10, 6, kGreen);
    DrawTransparent(canvas.DC(), 3, 2, &image, &mask);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const TColor want = image.GetPixel(x, y) == 0xFF00FF ? kGreen : image.GetPixel(x, y);
            EXPECT_EQ(canvas.Pixel(x + 3, y + 2), want) << x << "," << y;
        }
    EXPECT_EQ(GetBkColor(canvas.DC()), RGB(255, 255, 255)); // the default, restored
    DrawTransparent(canvas.DC(), 0, 0, nullptr, &mask);
    DrawTransparent(canvas.DC(), 0, 0, &image, nullptr);
    EXPECT_EQ(canvas.Pixel(0, 0), kGreen);
}

TEST(GdiPainting, DisabledBitmapIsTwoSilhouettes) {
    TBitmap image(3, 3, TPixelFormat::pf24bit);
    image.Fill(0xFFFFFF);
    image.SetPixel(0, 0, 0x0000FF); // one opaque pixel at the top left
    TBitmap mask;
    MakeMask(&mask, &image, 0xFFFFFF, false);
    TCanvas canvas(6, 6, kGreen);
    DrawDisabledBitmap(canvas.DC(), 1, 1, &mask, 0xA6A6A6, 0x4D4D4D);
    EXPECT_EQ(canvas.Pixel(1, 1), 0x4D4D4D); // dark at (x, y)
    EXPECT_EQ(canvas.Pixel(2, 2), 0xA6A6A6); // light at (x + 1, y + 1)
    EXPECT_EQ(canvas.Pixel(2, 1), kGreen);
    EXPECT_EQ(canvas.Pixel(3, 3), kGreen);
    DrawDisabledBitmap(canvas.DC(), 0, 0, nullptr, 0, 0); // no mask: nothing
    EXPECT_EQ(canvas.Pixel(0, 0), kGreen);
}

TEST(GdiPainting, FrameAndBevelMatchThePortableRasteriser) {
    struct Case {
        TFrameRect rect;
        int wx, wy;
        bool raised, black;
    };
    for (const Case& c : {Case{{0, 0, 12, 9}, 1, 1, true, true}, Case{{1, 2, 11, 10}, 2, 2, false, false},
                          Case{{2, 1, 10, 9}, 3, 2, false, true}, Case{{0, 0, 12, 10}, 2, 1, true, false}}) {
        TCanvas canvas(12, 10, kGreen);
        TBitmap bmp(12, 10, TPixelFormat::pf32bit);
        bmp.Fill(kGreen);
        DrawBevel(canvas.DC(), c.rect, 0x808080, c.wx, c.wy, c.raised, c.black);
        DrawBevel(bmp, c.rect, 0x808080, c.wx, c.wy, c.raised, c.black);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 12; ++x) ASSERT_EQ(canvas.Pixel(x, y), bmp.GetPixel(x, y)) << x << "," << y;
    }
}

TEST(GdiPainting, DisabledTextDrawsLightAndDarkCopies) {
    TCanvas canvas(60, 20, kGreen);
    SetBkMode(canvas.DC(), TRANSPARENT);
    RECT r{2, 0, 60, 20};
    DrawDisabledText(canvas.DC(), r, "Abc", 0x808080);
    int light = 0, dark = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 60; ++x) {
            light += canvas.Pixel(x, y) == 0xA6A6A6;
            dark += canvas.Pixel(x, y) == 0x4D4D4D;
        }
    EXPECT_GT(dark, 5);
    EXPECT_GT(light, 0);
}

TEST(GdiPainting, SystemColoursComeFromGetSysColor) {
    EXPECT_EQ(ResolveColor(static_cast<TColor>(0x8000000F)), static_cast<TColor>(GetSysColor(COLOR_BTNFACE)));
}
