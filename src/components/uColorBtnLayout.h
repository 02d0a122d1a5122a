#pragma once
// Where an image button puts its image and its caption inside its content rectangle. The
// arithmetic is kept apart from the drawing so that it can be checked on any system.
#include "components/uGraphUtils.h"

#include <cstdint>

struct TBtnContentLayout {
    std::int32_t ImageX = 0, ImageY = 0;     // top-left corner of the image
    std::int32_t CaptionX = 0, CaptionY = 0; // top-left corner of the caption
    bool HasImage = false;                   // an image of non-zero size is drawn
    bool ShowCaption = true;                 // false for cpNone with an image
    bool operator==(const TBtnContentLayout&) const = default;
};

// The content rectangle (left, top, right, bottom), the caption's width and the height of
// "H", and the image size (0 x 0: no image). Both parts are centred; beside or above each
// other they are centred together (2 pixels apart), with the caption first for cpLeft and
// cpTop. Without an image the caption is centred and shown whatever the position.
TBtnContentLayout LayoutButtonContent(std::int32_t left, std::int32_t top, std::int32_t right,
                                      std::int32_t bottom, std::int32_t captionWidth,
                                      std::int32_t captionHeight, std::int32_t imageWidth,
                                      std::int32_t imageHeight, TCaptionPosition position);
