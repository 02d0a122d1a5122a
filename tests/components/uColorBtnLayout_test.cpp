// Image and caption positions of an image button, worked out by hand for each caption
// position, and the cases without an image.
#include "components/uColorBtnLayout.h"

#include <gtest/gtest.h>

namespace {

TBtnContentLayout At(std::int32_t ix, std::int32_t iy, std::int32_t tx, std::int32_t ty,
                     bool caption = true) {
    return {ix, iy, tx, ty, true, caption};
}

} // namespace

TEST(ColorBtnLayout, EachCaptionPositionAroundAnImage) {
    // Content (4,3)-(104,63): W 100, H 60; caption 30 x 13; image 20 x 16.
    auto lay = [](TCaptionPosition p) { return LayoutButtonContent(4, 3, 104, 63, 30, 13, 20, 16, p); };
    // Centred: caption x 4+35 = 39, y 3+23 = 26; image x 4+40 = 44, y 3+22 = 25.
    EXPECT_EQ(lay(cpNone), At(44, 25, 39, 26, false));
    // Left: caption x 4+(100-50)/2 = 29, image right of it at 29+30+2 = 61.
    EXPECT_EQ(lay(cpLeft), At(61, 25, 29, 26));
    // Top: caption y 3+(60-29)/2 = 18, image below at 18+13+2 = 33.
    EXPECT_EQ(lay(cpTop), At(44, 33, 39, 18));
    // Right: image x 29, caption at 29+20+2 = 51.
    EXPECT_EQ(lay(cpRight), At(29, 25, 51, 26));
    // Bottom: image y 3+(60-29)/2 = 18, caption at 18+16+2 = 36.
    EXPECT_EQ(lay(cpBottom), At(44, 18, 39, 36));
}

TEST(ColorBtnLayout, WithoutAnImageTheCaptionIsCentredAndShown) {
    for (TCaptionPosition p : {cpNone, cpLeft, cpTop, cpRight, cpBottom}) {
        const TBtnContentLayout l = LayoutButtonContent(0, 0, 75, 25, 41, 13, 0, 0, p);
        EXPECT_FALSE(l.HasImage) << p;
        EXPECT_TRUE(l.ShowCaption) << p;
        EXPECT_EQ(l.CaptionX, 17) << p;
        EXPECT_EQ(l.CaptionY, 6) << p;
        // An image of zero height counts as none.
        EXPECT_FALSE(LayoutButtonContent(0, 0, 75, 25, 41, 13, 16, 0, p).HasImage) << p;
    }
}

TEST(ColorBtnLayout, ContentLargerThanTheButtonTruncatesTowardsZero) {
    // The 88 x 31 badge in a 80 x 25 content area: offsets -4 and -3.
    const TBtnContentLayout l = LayoutButtonContent(2, 2, 82, 27, 0, 0, 88, 31, cpNone);
    EXPECT_EQ(l, At(-2, -1, 42, 14, false));
    // Odd negative differences round towards zero, as integer division does: (5 - 8) / 2 = -1.
    EXPECT_EQ(LayoutButtonContent(0, 0, 5, 5, 0, 0, 8, 8, cpNone).ImageX, -1);
}
