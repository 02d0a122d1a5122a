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

TEST(ColorBtnLayout, WithoutAnImageTheCaptionIsCentredAndShownUnlessCpNone) {
    for (TCaptionPosition p : {cpNone, cpLeft, cpTop, cpRight, cpBottom}) {
        const TBtnContentLayout l = LayoutButtonContent(0, 0, 75, 25, 41, 13, 0, 0, p);
        EXPECT_FALSE(l.HasImage) << p;
        // cpNone: the image button without its image shows the bare face.
        EXPECT_EQ(l.ShowCaption, p != cpNone) << p;
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

TEST(ColorBtnLayout, ClassicFaceRaisedAndSunken) {
    const TColor c = 0x808080, dark = 0x4D4D4D;
    // 10 x 6, no focus frame: the bevel covers the client area, the inner lines run one
    // pixel inside it and the content keeps (1,1)-(8,4).
    TBtnFaceLayout up = LayoutButtonFace(10, 6, false, false, c);
    EXPECT_FALSE(up.FocusFrame);
    EXPECT_EQ(up.Bevel.Left, 0);
    EXPECT_EQ(up.Bevel.Right, 10);
    EXPECT_EQ(up.Bevel.Bottom, 6);
    EXPECT_EQ(up.InnerLines, (std::vector<TLineSegment>{{1, 4, 9, 4, dark}, {8, 1, 8, 4, dark}}));
    EXPECT_EQ((std::vector<int>{up.Content.Left, up.Content.Top, up.Content.Right, up.Content.Bottom}),
              (std::vector<int>{1, 1, 8, 4}));

    // Focused and emphasised, down: a black frame first, everything one pixel further in.
    TBtnFaceLayout down = LayoutButtonFace(10, 6, true, true, c);
    EXPECT_TRUE(down.FocusFrame);
    EXPECT_EQ((std::vector<int>{down.Bevel.Left, down.Bevel.Top, down.Bevel.Right, down.Bevel.Bottom}),
              (std::vector<int>{1, 1, 9, 5}));
    EXPECT_EQ(down.InnerLines, (std::vector<TLineSegment>{{2, 2, 8, 2, dark}, {2, 2, 2, 4, dark}}));
    EXPECT_EQ(
        (std::vector<int>{down.Content.Left, down.Content.Top, down.Content.Right, down.Content.Bottom}),
        (std::vector<int>{2, 2, 7, 3}));

    const TFrameRect themed = ThemedFaceContent(75, 25);
    EXPECT_EQ((std::vector<int>{themed.Left, themed.Top, themed.Right, themed.Bottom}),
              (std::vector<int>{0, 0, 74, 24}));
}

TEST(ColorBtnLayout, ClassicFacePixels) {
    const TColor c = 0x808080, light = 0xA6A6A6, dark = 0x4D4D4D;
    TBitmap b(10, 6, TPixelFormat::pf32bit);
    b.Fill(0x123456);
    DrawButtonFace(b, LayoutButtonFace(10, 6, false, false, c), c, false);
    // Raised: light top and left, black outer line bottom and right, darker inner line.
    EXPECT_EQ(b.GetPixel(0, 0), light);
    EXPECT_EQ(b.GetPixel(0, 4), light);
    EXPECT_EQ(b.GetPixel(5, 0), light);
    EXPECT_EQ(b.GetPixel(9, 3), kClBlack);
    EXPECT_EQ(b.GetPixel(4, 5), kClBlack);
    EXPECT_EQ(b.GetPixel(8, 2), dark);
    EXPECT_EQ(b.GetPixel(4, 4), dark);
    EXPECT_EQ(b.GetPixel(4, 2), c); // the filled middle

    TBitmap s(10, 6, TPixelFormat::pf32bit);
    s.Fill(0x123456);
    DrawButtonFace(s, LayoutButtonFace(10, 6, true, true, c), c, true);
    // The focus frame around the whole area, then the sunken bevel: black and dark top-left.
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(s.GetPixel(x, 0), kClBlack) << x;
        EXPECT_EQ(s.GetPixel(x, 5), kClBlack) << x;
    }
    EXPECT_EQ(s.GetPixel(0, 3), kClBlack);
    EXPECT_EQ(s.GetPixel(9, 3), kClBlack);
    EXPECT_EQ(s.GetPixel(1, 2), kClBlack); // sunken: black outer line at the top-left
    EXPECT_EQ(s.GetPixel(4, 1), kClBlack);
    EXPECT_EQ(s.GetPixel(4, 2), dark); // the inner line along the top
    EXPECT_EQ(s.GetPixel(2, 3), dark); // and along the left
    EXPECT_EQ(s.GetPixel(5, 3), c);
}

TEST(ColorBtnLayout, CaptionOriginAndFocusInset) {
    std::int32_t x, y;
    // b = 74 - 41 = 33: 33/2 - 33%2 + 1 = 16; vertical 24 - 13 = 11: 5 - 1 + 1 = 5.
    ButtonCaptionOrigin({0, 0, 74, 24}, 41, 13, x, y);
    EXPECT_EQ(x, 16);
    EXPECT_EQ(y, 5);
    // Even differences: half plus one.
    ButtonCaptionOrigin({2, 3, 22, 13}, 10, 4, x, y);
    EXPECT_EQ(x, 2 + 5 + 1);
    EXPECT_EQ(y, 3 + 3 + 1);
    // A caption wider than the face: b = -5, -5/2 = -2, -5%2 = -1: -2 + 1 + 1 = 0.
    ButtonCaptionOrigin({0, 0, 10, 10}, 15, 10, x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 1);
    EXPECT_EQ(ButtonFocusInset(true), 3);
    EXPECT_EQ(ButtonFocusInset(false), 4);
}

TEST(ColorBtnLayout, FlatButtonFaces) {
    using K = TFlatFaceKind;
    auto face = [](bool cool, bool hot, bool enabled, bool down, bool pressed, bool toggle, bool given) {
        TFlatFaceInput in;
        in.Cool = cool, in.Hot = hot, in.Enabled = enabled, in.Down = down;
        in.Pressed = pressed, in.Toggle = toggle, in.GivenDown = given;
        return FlatButtonFace(in);
    };
    // Not cool and not down: flat whatever the mouse does.
    EXPECT_EQ(face(false, true, true, false, true, false, true), (TFlatFace{K::Flat, false}));
    // Cool under the mouse: raised, sunken while pressed (the item state's selected bit).
    EXPECT_EQ(face(true, true, true, false, false, false, false), (TFlatFace{K::Raised, false}));
    EXPECT_EQ(face(true, true, true, false, true, false, true), (TFlatFace{K::Sunken, false}));
    // Cool but disabled or away from the mouse: flat.
    EXPECT_EQ(face(true, true, false, false, false, false, false), (TFlatFace{K::Flat, false}));
    EXPECT_EQ(face(true, false, true, false, false, false, false), (TFlatFace{K::Flat, false}));
    // Toggle: Down shows sunken and moves the content unless pressed.
    EXPECT_EQ(face(false, false, true, true, false, true, false), (TFlatFace{K::Sunken, true}));
    EXPECT_EQ(face(true, true, true, true, true, true, true), (TFlatFace{K::Sunken, false}));
    EXPECT_EQ(face(true, true, true, false, true, true, false), (TFlatFace{K::Sunken, false}));
    EXPECT_EQ(face(true, true, true, false, false, true, false), (TFlatFace{K::Raised, false}));
    // Without Toggle a down button follows the given state; pressed away from the mouse it
    // moves the content.
    EXPECT_EQ(face(false, false, true, true, false, false, false), (TFlatFace{K::Raised, false}));
    EXPECT_EQ(face(false, false, true, true, true, false, true), (TFlatFace{K::Sunken, true}));
    EXPECT_EQ(face(false, true, true, true, true, false, true), (TFlatFace{K::Sunken, false}));
}
