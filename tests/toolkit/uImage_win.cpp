// An image control in a real window paints its picture over the parent's colour.
#include "toolkit/uForms.h"
#include "toolkit/uImage.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// The control's client area as painted through WM_PRINTCLIENT into a 32-bit DIB.
std::vector<std::uint32_t> Capture(HWND h, int& w, int& ht) {
    RECT r;
    GetClientRect(h, &r);
    w = r.right;
    ht = r.bottom;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -ht;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, dib);
    SendMessageW(h, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    GdiFlush();
    std::vector<std::uint32_t> px(static_cast<const std::uint32_t*>(bits),
                                  static_cast<const std::uint32_t*>(bits) + w * ht);
    SelectObject(dc, old);
    DeleteObject(dib);
    DeleteDC(dc);
    return px;
}

// 0x00RRGGBB of a DIB pixel as a toolkit colour 0x00BBGGRR.
TColor AsColor(std::uint32_t p) {
    return static_cast<TColor>(((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF));
}

} // namespace

TEST(ImageWin, PaintsThePictureCentredOverTheParentColour) {
    RegisterToolkitClasses();
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 200);
    form.SetColor(0x00204060);
    auto* img = new TImage(&form);
    img->SetParent(&form);
    img->SetBounds(10, 10, 40, 30);
    TBitmap b(8, 6, TPixelFormat::pf24bit);
    b.Fill(0x000000FF);
    b.SetPixel(0, 0, 0x0000FF00);
    img->SetPicture(b);
    img->SetCenter(true);
    form.Show();
    HWND h = static_cast<HWND>(img->Handle());
    ASSERT_NE(h, nullptr);

    int w = 0, ht = 0;
    auto px = Capture(h, w, ht);
    ASSERT_GT(w, 8);
    const TImagePlacement at = PlaceImage(w, ht, 8, 6, true, false);
    EXPECT_EQ(AsColor(px[0]), 0x00204060); // the form's colour around the picture
    EXPECT_EQ(AsColor(px[at.Top * w + at.Left]), 0x0000FF00);
    EXPECT_EQ(AsColor(px[(at.Top + 5) * w + at.Left + 7]), 0x000000FF);
    EXPECT_EQ(AsColor(px[(at.Top + 6) * w + at.Left + 7]), 0x00204060);

    img->SetStretch(true);
    px = Capture(h, w, ht);
    EXPECT_EQ(AsColor(px[w * ht - 1]), 0x000000FF); // stretched to the last pixel
    EXPECT_EQ(AsColor(px[0]), 0x0000FF00);
}
