#include "components/uColorBtnLayout.h"

TBtnContentLayout LayoutButtonContent(std::int32_t left, std::int32_t top, std::int32_t right,
                                      std::int32_t bottom, std::int32_t tw, std::int32_t th, std::int32_t iw,
                                      std::int32_t ih, TCaptionPosition position) {
    const std::int32_t w = right - left, h = bottom - top;
    TBtnContentLayout l;
    l.CaptionX = left + (w - tw) / 2;
    l.CaptionY = top + (h - th) / 2;
    if (iw <= 0 || ih <= 0) return l;
    l.HasImage = true;
    l.ImageX = left + (w - iw) / 2;
    l.ImageY = top + (h - ih) / 2;
    switch (position) {
    case cpNone:
        l.ShowCaption = false;
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
