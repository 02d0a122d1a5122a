// Colour buttons in real windows, from a definition compiled by defc (data/colorbtnform.def,
// resource COLORBTNFORM): what they paint (captured with WM_PRINTCLIENT into a DIB), the
// owner-draw style, hot tracking, toggling, double clicks, the repaint rule of the
// writers and group exclusion across parents. Wine has no active visual style by default,
// so these are the classic drawings.
#include "components/uColorBtn.h"
#include "components/uXPUtils.h"

#include "CompiledFormTest.h"
#include "common/TestFiles.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace {

// The client area of a window as it paints itself, 0x00BBGGRR per pixel.
struct TCapture {
    int Width = 0, Height = 0;
    std::vector<TColor> Pixels;
    TColor At(int x, int y) const { return Pixels[static_cast<std::size_t>(y) * Width + x]; }
};

TCapture Capture(HWND h) {
    RECT r;
    GetClientRect(h, &r);
    TCapture c;
    c.Width = r.right;
    c.Height = r.bottom;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = c.Width;
    bi.bmiHeader.biHeight = -c.Height; // top down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, dib);
    // A colour no drawing here uses, so that unpainted pixels show.
    HBRUSH sentinel = CreateSolidBrush(RGB(1, 2, 3));
    FillRect(dc, &r, sentinel);
    DeleteObject(sentinel);
    SendMessageW(h, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; i < c.Width * c.Height; ++i) {
        const std::uint32_t v = p[i]; // 0x00RRGGBB in memory order B, G, R
        c.Pixels.push_back(static_cast<TColor>(((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF)));
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(dib);
    ReleaseDC(nullptr, screen);
    return c;
}

TBitmap BitmapFile(const std::string& name) {
    TMemoryStream s(ReadBytes(std::filesystem::path(SCR_SOURCE_DIR) / "src/resources/images" / name));
    TBitmap b;
    b.LoadFromStream(s);
    return b;
}

LPARAM Point(int x, int y) {
    return MAKELPARAM(x, y);
}

// A click with real mouse messages: the cursor moved over the button first, as the
// button checks where it is on release.
void ClickWithMouse(HWND h) {
    RECT wr;
    GetWindowRect(h, &wr);
    SetCursorPos((wr.left + wr.right) / 2, (wr.top + wr.bottom) / 2);
    PostMessageW(h, WM_MOUSEMOVE, 0, Point(10, 10));
    PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, Point(10, 10));
    PostMessageW(h, WM_LBUTTONUP, 0, Point(10, 10));
    Application.ProcessMessages();
}

class ColorBtnWin : public CompiledFormTest {
protected:
    ColorBtnWin() : CompiledFormTest("COLORBTNFORM") {}
    void SetUp() override {
        CompiledFormTest::SetUp();
        ShowForm();
        Get = Form->Find<TFlatBitColorBtn>("btnGet");
        A = Form->Find<TFlatBitColorBtn>("btnA");
        B = Form->Find<TFlatBitColorBtn>("btnB");
        Plain = Form->Find<TColorBtn>("btnPlain");
        ASSERT_TRUE(Get && A && B && Plain);
        ASSERT_TRUE(Get->Handle() && A->Handle() && B->Handle() && Plain->Handle());
    }
    TFlatBitColorBtn *Get = nullptr, *A = nullptr, *B = nullptr;
    TColorBtn* Plain = nullptr;
};

} // namespace

TEST_F(ColorBtnWin, OwnerDrawnButtonsWithTheClassicLook) {
    EXPECT_FALSE(VisualStylesActive()); // Wine's default: no visual style
    for (TColorBtn* b : {static_cast<TColorBtn*>(Get), static_cast<TColorBtn*>(A), Plain})
        EXPECT_EQ(GetWindowLongW(Hwnd(b), GWL_STYLE) & 0x0F, BS_OWNERDRAW) << b->Name();
    // Becoming the default button, or the dialog manager's style request, keeps it owner-drawn.
    Plain->SetDefault(true);
    SendMessageW(Hwnd(Plain), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_EQ(GetWindowLongW(Hwnd(Plain), GWL_STYLE) & 0x0F, BS_OWNERDRAW);
    // The face covers everything: erasing is answered as done.
    HDC dc = GetDC(Hwnd(Plain));
    EXPECT_EQ(SendMessageW(Hwnd(Plain), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    ReleaseDC(Hwnd(Plain), dc);
    // Measure-item answers the button's size.
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_BUTTON;
    mis.CtlID = static_cast<UINT>(GetDlgCtrlID(Hwnd(Plain)));
    SendMessageW(Hwnd(Form.get()), WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
    RECT r;
    GetClientRect(Hwnd(Plain), &r);
    EXPECT_EQ(static_cast<int>(mis.itemWidth), r.right);
    EXPECT_EQ(static_cast<int>(mis.itemHeight), r.bottom);
}

TEST_F(ColorBtnWin, ImageButtonShowsTheBadgeWithTheFaceColourThroughItsTransparentArea) {
    const TBitmap badge = BitmapFile("GetFlashPlayer.bmp");
    const TColor face = 0xC0FFC0;
    const TCapture c = Capture(Hwnd(Get));
    ASSERT_EQ(c.Width, 104);
    ASSERT_EQ(c.Height, 41);
    // cpNone: the image alone, centred on the flat face.
    const int ix = (104 - badge.Width()) / 2, iy = (41 - badge.Height()) / 2;
    int transparent = 0, opaque = 0;
    for (int y = 0; y < c.Height; ++y)
        for (int x = 0; x < c.Width; ++x) {
            const int bx = x - ix, by = y - iy;
            const bool inImage = bx >= 0 && by >= 0 && bx < badge.Width() && by < badge.Height();
            const TColor src = inImage ? badge.GetPixel(bx, by) : 0xFF00FF;
            if (src == 0xFF00FF) {
                ASSERT_EQ(c.At(x, y), face) << x << "," << y;
                transparent += inImage;
            } else {
                ASSERT_EQ(c.At(x, y), src) << x << "," << y;
                ++opaque;
            }
        }
    EXPECT_GT(transparent, 0); // the badge has a transparent area...
    EXPECT_GT(opaque, 1000);   // ...and its picture
}

TEST_F(ColorBtnWin, DisabledImageButtonDrawsTheEmbossedSilhouette) {
    const TBitmap badge = BitmapFile("GetFlashPlayer.bmp");
    const TColor face = 0xC0FFC0;
    Get->SetEnabled(false);
    Application.ProcessMessages();
    const TCapture c = Capture(Hwnd(Get));
    const int ix = (104 - badge.Width()) / 2, iy = (41 - badge.Height()) / 2;
    auto opaqueAt = [&](int bx, int by) {
        return bx >= 0 && by >= 0 && bx < badge.Width() && by < badge.Height() &&
               badge.GetPixel(bx, by) != 0xFF00FF;
    };
    int dark = 0, light = 0;
    for (int y = 0; y < c.Height; ++y)
        for (int x = 0; x < c.Width; ++x) {
            const int bx = x - ix, by = y - iy;
            // The dark silhouette at the image's place over the light one moved by (1, 1).
            TColor want = face;
            if (opaqueAt(bx, by))
                want = DarkerColor(face), ++dark;
            else if (opaqueAt(bx - 1, by - 1))
                want = LighterColor(face), ++light;
            ASSERT_EQ(c.At(x, y), want) << x << "," << y;
        }
    EXPECT_GT(dark, 1000);
    EXPECT_GT(light, 0);
}

TEST_F(ColorBtnWin, ImageButtonWithoutItsImageShowsTheBareFace) {
    Get->SetImageID("NoSuchImage");
    const TCapture c = Capture(Hwnd(Get));
    for (int y = 0; y < c.Height; ++y)
        for (int x = 0; x < c.Width; ++x) ASSERT_EQ(c.At(x, y), 0xC0FFC0) << x << "," << y;
}

TEST_F(ColorBtnWin, PlainColourButtonDrawsTheRaisedFaceAndItsCaption) {
    SetFocus(Hwnd(Get)); // not focused: no focus frame
    const TCapture c = Capture(Hwnd(Plain));
    TBitmap want(c.Width, c.Height, TPixelFormat::pf32bit);
    DrawButtonFace(want, LayoutButtonFace(c.Width, c.Height, false, false, 0x808080), 0x808080, false);
    // The frame and the inner lines, two pixels all round, as the portable drawing has them.
    for (int y = 0; y < c.Height; ++y)
        for (int x = 0; x < c.Width; ++x) {
            if (x > 1 && y > 1 && x < c.Width - 2 && y < c.Height - 2) continue;
            ASSERT_EQ(c.At(x, y), want.GetPixel(x, y) & 0xFFFFFF) << x << "," << y;
        }
    // The caption is drawn in the middle, in a colour other than the face.
    int text = 0;
    for (int y = 2; y < c.Height - 2; ++y)
        for (int x = 2; x < c.Width - 2; ++x) text += c.At(x, y) != 0x808080;
    EXPECT_GT(text, 10);

    // Pressed (the selected state): sunken, black outer line at the top-left.
    SendMessageW(Hwnd(Plain), BM_SETSTATE, TRUE, 0);
    const TCapture down = Capture(Hwnd(Plain));
    EXPECT_EQ(down.At(0, 0), 0);
    EXPECT_EQ(down.At(5, 0), 0);
    EXPECT_EQ(down.At(1, 5), DarkerColor(0x808080));
    SendMessageW(Hwnd(Plain), BM_SETSTATE, FALSE, 0);
}

TEST_F(ColorBtnWin, WritersRepaintOnlyOnChange) {
    HWND h = Hwnd(Get);
    auto repaints = [&](const std::function<void()>& change) {
        ValidateRect(h, nullptr);
        change();
        return GetUpdateRect(h, nullptr, FALSE) != FALSE;
    };
    EXPECT_FALSE(repaints([&] { Get->SetImageID("GetFlashPlayer"); }));
    EXPECT_TRUE(repaints([&] { Get->SetImageID("Other"); }));
    EXPECT_FALSE(repaints([&] { Get->SetDisableID(""); }));
    EXPECT_TRUE(repaints([&] { Get->SetDisableID("Grey"); }));
    EXPECT_FALSE(repaints([&] { Get->SetCaptionPosition(cpNone); }));
    EXPECT_TRUE(repaints([&] { Get->SetCaptionPosition(cpLeft); }));
    EXPECT_FALSE(repaints([&] { Get->SetEmphasis(false); }));
    EXPECT_TRUE(repaints([&] { Get->SetEmphasis(true); }));
    EXPECT_FALSE(repaints([&] { Get->SetUseTheme(true); }));
    EXPECT_TRUE(repaints([&] { Get->SetUseTheme(false); }));
    EXPECT_FALSE(repaints([&] { Get->SetClosingLine(false); }));
    EXPECT_TRUE(repaints([&] { Get->SetClosingLine(true); }));
    EXPECT_FALSE(repaints([&] { Get->SetClosingLineColor(clBlack); }));
    EXPECT_TRUE(repaints([&] { Get->SetClosingLineColor(0x0000FF); }));
    EXPECT_FALSE(repaints([&] { Get->SetCool(false); }));
    EXPECT_TRUE(repaints([&] { Get->SetCool(true); }));
    EXPECT_FALSE(repaints([&] { Get->SetBitmapList(Get->BitmapList()); }));
    EXPECT_TRUE(repaints([&] { Get->SetBitmapList(nullptr); }));
}

TEST_F(ColorBtnWin, ClosingLineFramesTheButton) {
    Get->SetClosingLine(true);
    Get->SetClosingLineColor(0x0000FF);
    const TCapture c = Capture(Hwnd(Get));
    for (int x = 0; x < c.Width; ++x) {
        EXPECT_EQ(c.At(x, 0), 0x0000FF) << x;
        EXPECT_EQ(c.At(x, c.Height - 1), 0x0000FF) << x;
    }
    for (int y = 0; y < c.Height; ++y) {
        EXPECT_EQ(c.At(0, y), 0x0000FF) << y;
        EXPECT_EQ(c.At(c.Width - 1, y), 0x0000FF) << y;
    }
    EXPECT_EQ(c.At(1, 1), 0xC0FFC0);
}

TEST_F(ColorBtnWin, HandCursorOverTheImageButton) {
    SendMessageW(Hwnd(Get), WM_SETCURSOR, reinterpret_cast<WPARAM>(Hwnd(Get)),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    SendMessageW(Hwnd(Plain), WM_SETCURSOR, reinterpret_cast<WPARAM>(Hwnd(Plain)),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

TEST_F(ColorBtnWin, MouseEnterAndLeaveSetTheHotFlag) {
    int in = 0, out = 0;
    Get->OnMouseIn = [&](TComponent*) { ++in; };
    Get->OnMouseOut = [&](TComponent*) { ++out; };
    SendMessageW(Hwnd(Get), WM_MOUSEMOVE, 0, Point(5, 5));
    SendMessageW(Hwnd(Get), WM_MOUSEMOVE, 0, Point(6, 5)); // still inside: no second enter
    EXPECT_TRUE(Get->Hot());
    EXPECT_EQ(in, 1);
    SendMessageW(Hwnd(Get), WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(Get->Hot());
    EXPECT_EQ(out, 1);
    // Cool: the hot button rises (light top-left line), and flattens again when left.
    Get->SetCool(true);
    SendMessageW(Hwnd(Get), WM_MOUSEMOVE, 0, Point(5, 5));
    EXPECT_EQ(Capture(Hwnd(Get)).At(0, 0), LighterColor(0xC0FFC0));
    SendMessageW(Hwnd(Get), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Capture(Hwnd(Get)).At(0, 0), 0xC0FFC0);
}

TEST_F(ColorBtnWin, ToggleOnClickWithRealMouseMessages) {
    int clicks = 0;
    A->OnClick = [&](TComponent*) { ++clicks; };
    ClickWithMouse(Hwnd(A));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(A->Down());
    EXPECT_EQ(GetCapture(), nullptr); // released again
    ClickWithMouse(Hwnd(A));
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(A->Down());
}

TEST_F(ColorBtnWin, AnOnDownHandlerMayFreeItsOwnButton) {
    // The button lives in the test's own storage, refilled once it is freed: anything
    // that still writes to the freed button shows there.
    alignas(TFlatBitColorBtn) static unsigned char storage[sizeof(TFlatBitColorBtn)];
    auto* btn = new (storage) TFlatBitColorBtn(nullptr);
    btn->SetBounds(0, 0, 40, 20);
    btn->SetParent(Form.get());
    btn->SetToggle(true);
    btn->OnDown = [btn](TComponent*) {
        btn->~TFlatBitColorBtn();
        std::memset(storage, 0xAB, sizeof storage);
    };
    ClickWithMouse(Hwnd(btn));
    EXPECT_TRUE(
        std::all_of(std::begin(storage), std::end(storage), [](unsigned char b) { return b == 0xAB; }));
}

TEST_F(ColorBtnWin, APressOutsideTheClientAreaIsIgnored) {
    int clicks = 0;
    Plain->OnClick = [&](TComponent*) { ++clicks; };
    HWND h = Hwnd(Plain);
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, Point(500, 5));
    EXPECT_FALSE(SendMessageW(h, BM_GETSTATE, 0, 0) & BST_PUSHED);
    SendMessageW(h, WM_LBUTTONUP, 0, Point(500, 5));
    Application.ProcessMessages();
    EXPECT_EQ(clicks, 0);
}

TEST_F(ColorBtnWin, DoubleClickWithoutHandlerIsASecondClick) {
    int clicks = 0, doubles = 0;
    Plain->OnClick = [&](TComponent*) { ++clicks; };
    HWND h = Hwnd(Plain);
    auto doubleClick = [&] {
        SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, Point(10, 10));
        SendMessageW(h, WM_LBUTTONUP, 0, Point(10, 10));
        SendMessageW(h, WM_LBUTTONDBLCLK, MK_LBUTTON, Point(10, 10));
        SendMessageW(h, WM_LBUTTONUP, 0, Point(10, 10));
        Application.ProcessMessages();
    };
    doubleClick();
    EXPECT_EQ(clicks, 2);
    Plain->OnDblClick = [&](TComponent*) { ++doubles; };
    doubleClick();
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(doubles, 1);
}

TEST_F(ColorBtnWin, GroupExclusionAcrossParentsInRealWindows) {
    ASSERT_NE(A->Parent(), B->Parent());
    std::vector<std::string> events;
    A->OnUp = [&](TComponent*) { events.push_back("A up"); };
    B->OnDown = [&](TComponent*) { events.push_back("B down"); };
    const TColor face = ResolveColor(clBtnFace); // both follow their parents' colour
    A->SetDown(true);
    Application.ProcessMessages();
    // Down with Toggle: the sunken face (black corner line) ...
    EXPECT_EQ(Capture(Hwnd(A)).At(0, 0), 0);
    B->SetDown(true);
    EXPECT_FALSE(A->Down());
    EXPECT_EQ(events, (std::vector<std::string>{"A up", "B down"}));
    // ... flat again at once, without waiting for a paint message.
    EXPECT_EQ(Capture(Hwnd(A)).At(0, 0), face);
    EXPECT_EQ(Capture(Hwnd(B)).At(0, 0), 0);

    // DownFixed: a click on the down button does not raise it.
    B->SetDownFixed(true);
    int clicks = 0;
    B->OnClick = [&](TComponent*) { ++clicks; };
    ClickWithMouse(Hwnd(B));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(B->Down());
}
