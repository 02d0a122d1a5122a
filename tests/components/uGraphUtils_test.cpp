#include "components/uGraphUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The pixels of bitmap as one string per row, one letter per pixel by colour.
std::vector<std::string> Picture(const TBitmap& bmp, const std::vector<std::pair<TColor, char>>& legend) {
    std::vector<std::string> rows;
    for (int y = 0; y < bmp.Height(); ++y) {
        std::string row;
        for (int x = 0; x < bmp.Width(); ++x) {
            char c = '?';
            for (const auto& [colour, letter] : legend)
                if (bmp.GetPixel(x, y) == colour) c = letter;
            row += c;
        }
        rows.push_back(row);
    }
    return rows;
}

TColor FixedResolver(TColor color) {
    return color < 0 ? 0x010203 : color;
}

} // namespace

TEST(GraphColours, FiguresOfTheShadingRule) {
    EXPECT_EQ(DarkerColor(0x808080), 0x4D4D4D);
    EXPECT_EQ(LighterColor(0x808080), 0xA6A6A6);
    EXPECT_EQ(LighterColor(0x0000FF), 0x6A6AFF);
    EXPECT_EQ(DarkerColor(0x0000FF), 0x000099);
    EXPECT_EQ(LighterColor(0x000000), 0x6A6A6A); // a zero channel starts from 81.6
    EXPECT_EQ(LighterColor(0xFFFFFF), 0xFFFFFF); // saturates
    EXPECT_EQ(DarkerColor(0x000000), 0x000000);
    EXPECT_EQ(ScaleColor(0x102030, 1.0), 0x102030);
    // Ties go to the even neighbour: 5 * 0.5 = 2.5 -> 2, 7 * 0.5 = 3.5 -> 4.
    EXPECT_EQ(ScaleChannel(0x05, 0xFF, 0, 0.5), 2);
    EXPECT_EQ(ScaleChannel(0x07, 0xFF, 0, 0.5), 4);
    EXPECT_EQ(ScaleChannel(0x050000, 0xFF0000, 16, 0.5), 0x020000);
    EXPECT_EQ(ScaleChannel(0x0700, 0xFF00, 8, 0.5), 0x0400);

    int r, g, b;
    SplitRGB(0x00332211, r, g, b);
    EXPECT_EQ(r, 0x11);
    EXPECT_EQ(g, 0x22);
    EXPECT_EQ(b, 0x33);
}

TEST(GraphColours, ContrastColor) {
    EXPECT_EQ(ContrastColor(0x808080), 0xFFFFFF); // average 128: white
    EXPECT_EQ(ContrastColor(0xFFFFFF), 0x000000);
    EXPECT_EQ(ContrastColor(0x000000), 0xFFFFFF);
    EXPECT_EQ(ContrastColor(0x707070), 0x8F8F8F); // average 112 is outside the band
    EXPECT_EQ(ContrastColor(0x717171), 0xFFFFFF);
    EXPECT_EQ(ContrastColor(0x8F8F8F), 0xFFFFFF);
    EXPECT_EQ(ContrastColor(0x909090), 0x6F6F6F); // average 144 is outside too
}

TEST(GraphColours, SystemColoursAreResolved) {
    const TColor btnFace = static_cast<TColor>(0x8000000F);
#ifndef _WIN32
    EXPECT_EQ(ResolveColor(btnFace), 0xC8D0D4); // classic button face 212, 208, 200
    EXPECT_EQ(DarkerColor(btnFace), DarkerColor(0xC8D0D4));
#endif
    EXPECT_EQ(ResolveColor(0x123456), 0x123456);
    EXPECT_EQ(ResolveColor(kClNone), kClNone);
    SetColorResolver(FixedResolver);
    EXPECT_EQ(ResolveColor(btnFace), 0x010203);
    EXPECT_EQ(ContrastColor(btnFace), 0x010203 ^ 0xFFFFFF);
    SetColorResolver(nullptr);
    EXPECT_NE(ResolveColor(btnFace), 0x010203);
    EXPECT_EQ(ClassicSysColor(99), 0);
}

TEST(MakeMask, EightBitSource) {
    TBitmap src(3, 2, TPixelFormat::pf8bit);
    src.SetPixel(0, 0, 0x00FF00);
    src.SetPixel(1, 0, 0x0000FF);
    src.SetPixel(2, 1, 0x00FF00);
    TBitmap mask;
    MakeMask(&mask, &src, 0x00FF00, false);
    EXPECT_EQ(mask.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(Picture(mask, {{0xFFFFFF, 'W'}, {0, 'k'}}), (std::vector<std::string>{"Wkk", "kkW"}));
    MakeMask(&mask, &src, 0x00FF00, true);
    EXPECT_EQ(Picture(mask, {{0xFFFFFF, 'W'}, {0, 'k'}}), (std::vector<std::string>{"kWW", "WWk"}));
}

TEST(MakeMask, TwentyFourAndThirtyTwoBitSources) {
    for (TPixelFormat f : {TPixelFormat::pf24bit, TPixelFormat::pf32bit, TPixelFormat::pfDevice}) {
        TBitmap src(4, 1, f);
        src.Fill(0x123456);
        src.SetPixel(3, 0, 0xFF00FF);
        src.SetPixel(1, 0, 0xFF00FE); // close, but not the key
        TBitmap mask;
        MakeMask(&mask, &src, 0xFF00FF, false);
        EXPECT_EQ(Picture(mask, {{0xFFFFFF, 'W'}, {0, 'k'}}), std::vector<std::string>{"kkkW"});
        // No pixel of the key colour: all black (the whole image opaque).
        MakeMask(&mask, &src, kClNone, false);
        EXPECT_EQ(Picture(mask, {{0xFFFFFF, 'W'}, {0, 'k'}}), std::vector<std::string>{"kkkk"});
    }
}

TEST(MakeMask, SystemColourKeyAndEmptySource) {
    TBitmap src(2, 1, TPixelFormat::pf24bit);
    src.SetPixel(0, 0, 0xC8D0D4);
    TBitmap mask(1, 1);
    MakeMask(&mask, nullptr, 0, false);
    EXPECT_EQ(mask.Width(), 1); // untouched
    TBitmap empty;
    MakeMask(&mask, &empty, 0, false);
    EXPECT_EQ(mask.Width(), 1);
#ifndef _WIN32
    MakeMask(&mask, &src, static_cast<TColor>(0x8000000F), false);
    EXPECT_EQ(Picture(mask, {{0xFFFFFF, 'W'}, {0, 'k'}}), std::vector<std::string>{"Wk"});
#endif
}

TEST(MakeMask, RejectsFifteenSixteenBitAndCustom) {
    for (TPixelFormat f : {TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pfCustom}) {
        TBitmap src(2, 2, f);
        TBitmap mask;
        try {
            MakeMask(&mask, &src, 0, false);
            FAIL() << "no error for format " << static_cast<int>(f);
        } catch (const EInvalidBitmap& e) {
            // "演算できないビットマップ形式です。" in code page 932.
            EXPECT_EQ(
                std::string(e.what()),
                "\x89\x89\x8e\x5a\x82\xc5\x82\xab\x82\xc8\x82\xa2\x83\x72\x83\x62\x83\x67\x83\x7d\x83\x62"
                "\x83\x76\x8c\x60\x8e\xae\x82\xc5\x82\xb7\x81\x42");
        }
        EXPECT_TRUE(mask.Empty());
    }
    TBitmap ok(1, 1, TPixelFormat::pf1bit);
    EXPECT_NO_THROW(CheckPixelFormat(ok, kMaskSourceFormats));
    EXPECT_THROW(CheckPixelFormat(ok, PixelFormatBit(TPixelFormat::pf8bit)), EInvalidBitmap);
}

TEST(Frame3D, RaisedWithBlackLine) {
    TBitmap bmp(6, 5, TPixelFormat::pf24bit);
    bmp.Fill(0x00FF00);
    DrawFrame3D(bmp, {0, 0, 6, 5}, 0x808080, 1, 1, true, true);
    const std::vector<std::pair<TColor, char>> legend{
        {0xA6A6A6, 'L'}, {0x4D4D4D, 'D'}, {0, 'K'}, {0x00FF00, '.'}};
    EXPECT_EQ(Picture(bmp, legend),
              (std::vector<std::string>{"LLLLLK", "L....K", "L....K", "L....K", "KKKKKK"}));
}

TEST(Frame3D, SunkenTwoPixelsStepsTheFarEdges) {
    TBitmap bmp(6, 6, TPixelFormat::pf24bit);
    bmp.Fill(0x00FF00);
    DrawFrame3D(bmp, {0, 0, 6, 6}, 0x808080, 2, 2, false, false);
    const std::vector<std::pair<TColor, char>> legend{
        {0xA6A6A6, 'L'}, {0x4D4D4D, 'D'}, {0, 'K'}, {0x00FF00, '.'}};
    EXPECT_EQ(Picture(bmp, legend),
              (std::vector<std::string>{"DDDDDD", "DDDDDL", "DD..LL", "DD..LL", "DDLLLL", "DLLLLL"}));
}

TEST(Frame3D, SunkenWithBlackLineAndOffsetRect) {
    TBitmap bmp(7, 6, TPixelFormat::pf24bit);
    bmp.Fill(0x00FF00);
    DrawBevel(bmp, {1, 1, 6, 5}, 0x808080, 2, 1, false, true);
    const std::vector<std::pair<TColor, char>> legend{
        {0xA6A6A6, 'L'}, {0x4D4D4D, 'D'}, {0, 'K'}, {0x808080, 'g'}, {0x00FF00, '.'}};
    // Black corner lines at the top left, then one dark column (widthX - 1) and no dark
    // row (widthY - 1 = 0); the light far edges step in.
    EXPECT_EQ(Picture(bmp, legend),
              (std::vector<std::string>{".......", ".KKKKK.", ".KDggL.", ".KDgLL.", ".KLLLL.", "......."}));
}

TEST(Frame3D, EmptyRectangleDrawsNothing) {
    EXPECT_TRUE(Frame3DLines({3, 3, 3, 9}, 0x808080, 1, 1, true, true).empty());
    EXPECT_TRUE(Frame3DLines({3, 3, 9, 3}, 0x808080, 1, 1, true, true).empty());
    const auto lines = Frame3DLines({0, 0, 10, 8}, 0x808080, 1, 1, true, false);
    const std::vector<TLineSegment> want{
        {0, 0, 0, 8, 0xA6A6A6}, {1, 0, 10, 0, 0xA6A6A6}, {9, 1, 9, 8, 0x4D4D4D}, {1, 7, 9, 7, 0x4D4D4D}};
    EXPECT_EQ(lines, want);
}
