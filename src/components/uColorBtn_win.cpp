// The colour buttons on Windows: owner-drawn "BUTTON" windows. The parent passes
// WM_DRAWITEM on to the button (kMsgReflect), which paints face, content and focus itself;
// with a bitmap list holding its image the painting goes through an off-screen bitmap.
#include "components/uColorBtn.h"

#include "components/uXPUtils.h"
#include "platform/uWinHandles.h"
#include "store/uText.h"
#include "toolkit/uForms.h"

#include <windows.h>

#include <algorithm>

namespace {

COLORREF Ref(TColor c) {
    return static_cast<COLORREF>(ResolveColor(c));
}

RECT ToRect(const TFrameRect& r) {
    return {r.Left, r.Top, r.Right, r.Bottom};
}

TFrameRect ToFrame(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

RECT ClientRect(HWND h) {
    RECT r{0, 0, 0, 0};
    GetClientRect(h, &r);
    return r;
}

bool InClient(HWND h, std::intptr_t lp) {
    const POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    const RECT r = ClientRect(h);
    return PtInRect(&r, pt) != FALSE;
}

// Restores everything selected into a DC while painting, and detaches the button's canvas.
class PaintScope {
public:
    PaintScope(HDC dc, HDC& canvas) : FDC(dc), FSaved(SaveDC(dc)), FCanvas(canvas) { canvas = dc; }
    ~PaintScope() {
        RestoreDC(FDC, FSaved);
        FCanvas = nullptr;
    }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;

private:
    HDC FDC;
    int FSaved;
    HDC& FCanvas;
};

std::wstring Measure(HDC dc, const std::string& text, SIZE& size) {
    std::wstring wide = ToWide(text);
    size = {0, 0};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    return wide;
}

} // namespace

// ---- TColorBtn ----

bool TColorBtn::Themed() const {
    return VisualStylesActive();
}

HFONT TColorBtn::CaptionFont(bool formFont) const {
    HWND from = Hwnd();
    if (formFont)
        if (TForm* form = ParentForm(); form && form->Handle()) from = static_cast<HWND>(form->Handle());
    return reinterpret_cast<HFONT>(SendMessageW(from, WM_GETFONT, 0, 0));
}

void TColorBtn::CreateParams(TCreateParams& p) {
    TButton::CreateParams(p);
    p.Style |= BS_OWNERDRAW;
}

void TColorBtn::ApplyChange(TChange what) {
    switch (what) {
    case TChange::State:
        // The default-button style is drawn by the button itself: BM_SETSTYLE would take
        // the owner-draw style away.
        Invalidate();
        break;
    case TChange::Font:
    case TChange::Enabled:
        TButton::ApplyChange(what);
        Invalidate();
        break;
    default:
        TButton::ApplyChange(what);
        break;
    }
}

void TColorBtn::Repaint() {
    if (Hwnd()) RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

std::intptr_t TColorBtn::WndProc(unsigned msg, std::uintptr_t wp, std::intptr_t lp) {
    HWND h = Hwnd();
    switch (msg) {
    case kMsgReflect + WM_DRAWITEM:
        DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        return TRUE;
    case kMsgReflect + WM_MEASUREITEM: {
        auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
        m->itemWidth = static_cast<UINT>(Scale(Width()));
        m->itemHeight = static_cast<UINT>(Scale(Height()));
        return TRUE;
    }
    case BM_SETSTYLE:
        // The dialog manager moves the default-button look this way; it only repaints.
        Invalidate();
        return 0;
    case WM_ERASEBKGND:
        return 1; // the face covers everything
    case WM_THEMECHANGED:
        Invalidate();
        break;
    case WM_MOUSEMOVE:
        if (!FTracking) {
            TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, h, 0};
            FTracking = TrackMouseEvent(&t) != FALSE;
            if (!FHot) MouseEnter();
        }
        break;
    case WM_MOUSELEAVE:
        FTracking = false;
        if (FHot) MouseLeave();
        return 0;
    case WM_LBUTTONDBLCLK:
        if (!InClient(h, lp)) return 0;
        if (OnDblClick) {
            OnDblClick(this);
            return 0;
        }
        // Without a handler the second click of a double click is one more click.
        msg = WM_LBUTTONDOWN;
        break;
    case WM_LBUTTONDOWN:
        if (!InClient(h, lp)) return 0;
        break;
    }
    return TButton::WndProc(msg, wp, lp);
}

void TColorBtn::DrawItem(const DRAWITEMSTRUCT& item) {
    const bool down = (item.itemState & ODS_SELECTED) != 0;
    PaintScope scope(item.hDC, FCanvas);
    if (Themed() && ParentForm()) SelectObject(FCanvas, CaptionFont(true));
    RECT r;
    DrawFace(down, r);
    DrawContent(down, r);
    DrawFocus((item.itemState & ODS_FOCUS) != 0);
}

void TColorBtn::DrawFace(bool down, RECT& r) {
    const RECT client = ClientRect(Hwnd());
    if (Themed() && FUseTheme) {
        DrawThemedFace(*this, FCanvas, tbpPushButton);
        r = ToRect(ThemedFaceContent(client.right, client.bottom));
        return;
    }
    const TColor color = PaintColor();
    const TBtnFaceLayout face =
        LayoutButtonFace(client.right, client.bottom, FEmphasis && GetFocus() == Hwnd(), down, color);
    if (face.FocusFrame)
        FrameRect(FCanvas, &client,
                  HighContrast() ? GetSysColorBrush(COLOR_HIGHLIGHT)
                                 : static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    DrawBevel(FCanvas, face.Bevel, color, 1, 1, !down, true);
    DrawLineSegments(FCanvas, face.InnerLines);
    r = ToRect(face.Content);
}

void TColorBtn::DrawFocus(bool focused) {
    if (!FEmphasis || !focused) return;
    const bool themed = Themed();
    if (!themed) {
        SelectObject(FCanvas, GetStockObject(DC_PEN));
        SetDCPenColor(FCanvas, GetSysColor(COLOR_WINDOWFRAME));
        SetBkColor(FCanvas, Ref(PaintColor()));
    }
    RECT r = ClientRect(Hwnd());
    const int inset = ButtonFocusInset(themed);
    InflateRect(&r, -inset, -inset);
    DrawFocusRect(FCanvas, &r);
}

void TColorBtn::DrawContent(bool down, const RECT& r) {
    const bool themed = Themed();
    if (!themed) SelectObject(FCanvas, CaptionFont(false));
    const std::string text = Caption();
    SIZE size;
    const std::wstring wide = Measure(FCanvas, text, size);
    std::int32_t x, y;
    ButtonCaptionOrigin(ToFrame(r), size.cx, size.cy, x, y);
    const RECT client = ClientRect(Hwnd());
    RECT tr{x, y, client.right, client.bottom};
    if (themed) {
        DrawThemedText(*this, FCanvas, tbpPushButton, text, tr);
        return;
    }
    if (!Enabled() || down) {
        ++tr.left;
        ++tr.top;
    }
    SetBkMode(FCanvas, TRANSPARENT);
    if (Enabled()) {
        SetTextColor(FCanvas, Ref(PaintTextColor()));
        DrawTextW(FCanvas, wide.c_str(), static_cast<int>(wide.size()), &tr, DT_NOPREFIX);
    } else {
        DrawDisabledText(FCanvas, tr, text, PaintColor());
    }
}

// ---- TBitColorBtn ----

void TBitColorBtn::DrawItem(const DRAWITEMSTRUCT& item) {
    if (!FBitmapList || !FBitmapList->Exists(FImageID)) return TColorBtn::DrawItem(item);
    // Off-screen painting: the image is laid over the face without flicker.
    const RECT client = ClientRect(Hwnd());
    UniqueMemDC mem(CreateCompatibleDC(item.hDC));
    UniqueHBitmap bitmap(CreateCompatibleBitmap(item.hDC, client.right, client.bottom));
    if (!mem || !bitmap) return TColorBtn::DrawItem(item);
    SelectGuard sel(mem.Get(), bitmap.Get());
    const bool down = (item.itemState & ODS_SELECTED) != 0;
    {
        PaintScope scope(mem.Get(), FCanvas);
        if (Themed() && ParentForm()) SelectObject(FCanvas, CaptionFont(true));
        RECT r;
        DrawFace(down, r);
        {
            const int saved = SaveDC(FCanvas);
            IntersectClipRect(FCanvas, r.left, r.top, r.right, r.bottom);
            DrawContent(down, r);
            RestoreDC(FCanvas, saved);
        }
        DrawFocus((item.itemState & ODS_FOCUS) != 0);
    }
    BitBlt(item.hDC, 0, 0, client.right, client.bottom, mem.Get(), 0, 0, SRCCOPY);
}

void TBitColorBtn::DrawImage(int x, int y, const TBitmap& mask, const TBitmap& image) {
    if (Enabled()) {
        DrawTransparent(FCanvas, x, y, &image, &mask);
    } else {
        const TColor color = PaintColor();
        DrawDisabledBitmap(FCanvas, x, y, &mask, LighterColor(color), DarkerColor(color));
    }
}

void TBitColorBtn::DrawContent(bool down, const RECT& r) {
    const bool themed = Themed();
    if (!themed) SelectObject(FCanvas, CaptionFont(false));
    SIZE text, letter;
    Measure(FCanvas, Caption(), text);
    Measure(FCanvas, "H", letter);
    TBitmap image, mask;
    if (FBitmapList) GetImages(down, image, mask);
    const TBtnContentLayout lay = LayoutButtonContent(r.left, r.top, r.right, r.bottom, text.cx, letter.cy,
                                                      image.Width(), image.Height(), FCaptionPosition);
    if (lay.HasImage) {
        int ix = lay.ImageX, iy = lay.ImageY;
        if (!themed && down) ++ix, ++iy;
        if (mask.Empty())
            DrawTransparent(FCanvas, ix, iy, &image, &mask); // drawn as it is
        else
            DrawImage(ix, iy, mask, image);
    }
    if (lay.ShowCaption)
        TColorBtn::DrawContent(
            down, RECT{lay.CaptionX, lay.CaptionY, lay.CaptionX + text.cx, lay.CaptionY + letter.cy});
}

// ---- TFlatBitColorBtn ----

bool TFlatBitColorBtn::Pressed() const {
    return Hwnd() && (SendMessageW(Hwnd(), BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
}

std::intptr_t TFlatBitColorBtn::WndProc(unsigned msg, std::uintptr_t wp, std::intptr_t lp) {
    HWND h = Hwnd();
    switch (msg) {
    case WM_LBUTTONDOWN: {
        const bool inside = InClient(h, lp);
        const std::intptr_t result = TBitColorBtn::WndProc(msg, wp, lp);
        if (inside) SetCapture(h);
        return result;
    }
    case WM_LBUTTONUP: {
        if (Hot() && FToggle) {
            SetDown(!FDown);
            // An OnDown or OnUp handler may have freed this button: nothing of it is used then.
            const auto& live = Instances();
            if (std::find(live.begin(), live.end(), this) == live.end()) return 0;
        }
        POINT pt;
        RECT wr;
        GetCursorPos(&pt);
        GetWindowRect(h, &wr);
        SetHot(PtInRect(&wr, pt) != FALSE);
        // The click may free this button: nothing of it is used afterwards.
        const std::intptr_t result = TBitColorBtn::WndProc(msg, wp, lp);
        if (GetCapture() == h) ReleaseCapture();
        return result;
    }
    }
    return TBitColorBtn::WndProc(msg, wp, lp);
}

void TFlatBitColorBtn::DrawFace(bool down, RECT& r) {
    TFlatFaceInput in;
    in.Cool = FCool;
    in.Hot = Hot();
    in.Enabled = Enabled();
    in.Down = FDown;
    in.Pressed = Pressed();
    in.Toggle = FToggle;
    in.GivenDown = down;
    const TFlatFace face = FlatButtonFace(in);
    if (face.Kind == TFlatFaceKind::Flat) {
        r = ClientRect(Hwnd());
        if (Themed() && UseTheme()) {
            DrawThemedParentBackground(*this, FCanvas, r);
        } else {
            UniqueHBrush brush(CreateSolidBrush(Ref(PaintColor())));
            FillRect(FCanvas, &r, brush.Get());
        }
    } else {
        TColorBtn::DrawFace(face.Kind == TFlatFaceKind::Sunken, r);
    }
    if (face.Shift) OffsetRect(&r, 1, 1);
}

void TFlatBitColorBtn::DrawFocus(bool) {
    const RECT client = ClientRect(Hwnd());
    if (IsDesigning()) {
        UniqueHPen pen(CreatePen(PS_DASH, 1, RGB(0, 0, 0)));
        SelectGuard selPen(FCanvas, pen.Get());
        SelectGuard selBrush(FCanvas, GetStockObject(NULL_BRUSH));
        Rectangle(FCanvas, client.left, client.top, client.right, client.bottom);
    }
    if (FClosingLine) {
        UniqueHBrush brush(CreateSolidBrush(Ref(HighContrast() ? PaintTextColor() : FClosingLineColor)));
        FrameRect(FCanvas, &client, brush.Get());
    }
}
