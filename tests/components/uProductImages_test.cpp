// The product's own pictures load with the toolkit bitmap and go through the bitmap list
// the way the main window's definition carries them.
#include "components/uBitmapList.h"
#include "components/uGraphUtils.h"
#include "store/uStreams.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {
TBitmap LoadImage(const std::string& name) {
    TMemoryStream s;
    s.LoadFromFile(std::filesystem::path(SCR_SOURCE_DIR "/src/resources/images/" + name + ".bmp"));
    TBitmap bmp;
    bmp.LoadFromStream(s);
    EXPECT_EQ(s.Position(), s.Size()) << name;
    return bmp;
}
} // namespace

TEST(ProductImages, SizesAndFormats) {
    const TBitmap left = LoadImage("Left"), icon = LoadImage("icon"), badge = LoadImage("GetFlashPlayer");
    EXPECT_EQ(left.Width(), 164);
    EXPECT_EQ(left.Height(), 294);
    EXPECT_EQ(icon.Width(), 49);
    EXPECT_EQ(icon.Height(), 49);
    EXPECT_EQ(badge.Width(), 88);
    EXPECT_EQ(badge.Height(), 31);
    for (const TBitmap* b : {&left, &icon, &badge}) EXPECT_EQ(b->PixelFormat(), TPixelFormat::pf8bit);
}

TEST(ProductImages, BadgeMaskAndListRoundTrip) {
    const TBitmap badge = LoadImage("GetFlashPlayer");
    // The corners outside the rounded badge are the transparent colour, the middle is not.
    EXPECT_EQ(badge.GetPixel(0, 0), 0xFF00FF);
    EXPECT_EQ(badge.GetPixel(87, 30), 0xFF00FF);
    EXPECT_NE(badge.GetPixel(44, 15), 0xFF00FF);

    TBitmapList list;
    list.SetCompressed(true);
    list.Add("Left", LoadImage("Left"));
    list.Add("icon", LoadImage("icon"));
    list.Add("GetFlashPlayer", badge, 0xFF00FF);
    TMemoryStream prop;
    list.WriteBitmaps(prop);
    prop.SetPosition(0);
    TBitmapList back;
    back.ReadBitmaps(prop);
    TBitmap got, mask;
    back.GetBitmap("Icon", &got);
    EXPECT_EQ(got, LoadImage("icon"));
    back.GetMask("GetFlashPlayer", &mask);
    EXPECT_EQ(mask.GetPixel(0, 0), 0xFFFFFF);
    EXPECT_EQ(mask.GetPixel(44, 15), 0);
    EXPECT_EQ(back.Images().Keys(), (std::vector<std::string>{"GetFlashPlayer", "icon", "Left"}));
}
