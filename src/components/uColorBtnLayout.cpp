#include "components/uColorBtnLayout.h"

TBtnContentLayout LayoutButtonContent(std::int32_t left, std::int32_t top, std::int32_t right,
                                      std::int32_t bottom, std::int32_t tw, std::int32_t th, std::int32_t iw,
                                      std::int32_t ih, TCaptionPosition position) {
    const std::int32_t w = right - left, h = bottom - top;
    TBtnContentLayout l;
    l.CaptionX = left + (w - tw) / 2;
    l.CaptionY = top + (h - th) / 2;
    l.ShowCaption = position != cpNone;
    if (iw <= 0 || ih <= 0) return l;
    l.HasImage = true;
    l.ImageX = left + (w - iw) / 2;
    l.ImageY = top + (h - ih) / 2;
    switch (position) {
    case cpNone:
        break;
    case cpLeft:
        l.CaptionX = left + (w - tw - iw) / 2;
        l.ImageX = l.CaptionX + tw + 2;
        break;
    case cpTop:
        l.CaptionY = top + (h - th - ih) / 2;
        l.ImageY = l.CaptionY + th + 2;
        break;
    case cpRight:
        l.ImageX = left + (w - tw - iw) / 2;
        l.CaptionX = l.ImageX + iw + 2;
        break;
    case cpBottom:
        l.ImageY = top + (h - ih - th) / 2;
        l.CaptionY = l.ImageY + ih + 2;
        break;
    }
    return l;
}

TBtnFaceLayout LayoutButtonFace(std::int32_t width, std::int32_t height, bool focusFrame, bool down,
                                TColor color) {
    TBtnFaceLayout f;
    TFrameRect r{0, 0, width, height};
    f.FocusFrame = focusFrame;
    if (focusFrame) r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    f.Bevel = r;
    r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    const TColor dark = DarkerColor(color);
    if (down) {
        f.InnerLines.push_back({r.Left, r.Top, r.Right, r.Top, dark});
        f.InnerLines.push_back({r.Left, r.Top, r.Left, r.Bottom, dark});
    } else {
        f.InnerLines.push_back({r.Left, r.Bottom - 1, r.Right, r.Bottom - 1, dark});
        f.InnerLines.push_back({r.Right - 1, r.Top, r.Right - 1, r.Bottom - 1, dark});
    }
    f.Content = {r.Left, r.Top, r.Right - 1, r.Bottom - 1};
    return f;
}

TFrameRect ThemedFaceContent(std::int32_t width, std::int32_t height) {
    return {0, 0, width - 1, height - 1};
}

void DrawButtonFace(TBitmap& bitmap, const TBtnFaceLayout& face, TColor color, bool down) {
    if (face.FocusFrame) {
        const int r = bitmap.Width() - 1, b = bitmap.Height() - 1;
        DrawLineSegments(
            bitmap,
            {{0, 0, r, 0, kClBlack}, {r, 0, r, b, kClBlack}, {r, b, 0, b, kClBlack}, {0, b, 0, 0, kClBlack}});
    }
    DrawBevel(bitmap, face.Bevel, color, 1, 1, !down, true);
    DrawLineSegments(bitmap, face.InnerLines);
}

void ButtonCaptionOrigin(const TFrameRect& r, std::int32_t tw, std::int32_t th, std::int32_t& x,
                         std::int32_t& y) {
    const std::int32_t bx = (r.Right - r.Left) - tw, by = (r.Bottom - r.Top) - th;
    x = r.Left + bx / 2 - bx % 2 + 1;
    y = r.Top + by / 2 - by % 2 + 1;
}

TFlatFace FlatButtonFace(const TFlatFaceInput& in) {
    TFlatFace f;
    if ((in.Cool && in.Hot && in.Enabled) || in.Down) {
        if (in.Toggle) {
            f.Kind = in.Pressed || in.Down ? TFlatFaceKind::Sunken : TFlatFaceKind::Raised;
            f.Shift = in.Down && !in.Pressed;
        } else {
            f.Kind = in.GivenDown ? TFlatFaceKind::Sunken : TFlatFaceKind::Raised;
        }
    }
    if (in.Down && in.Pressed && in.Enabled && !in.Hot) f.Shift = true;
    return f;
}
