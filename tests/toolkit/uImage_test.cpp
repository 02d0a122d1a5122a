// The image control: where its bitmap goes, and its picture in a window definition.
#include "toolkit/uForms.h"
#include "toolkit/uImage.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(ImagePlacement, CornerCentreStretchAndEmpty) {
    EXPECT_EQ(PlaceImage(100, 50, 20, 10, false, false), (TImagePlacement{0, 0, 20, 10}));
    EXPECT_EQ(PlaceImage(100, 50, 20, 10, true, false), (TImagePlacement{40, 20, 20, 10}));
    EXPECT_EQ(PlaceImage(101, 51, 20, 10, true, false), (TImagePlacement{40, 20, 20, 10}));
    // Larger than the area: centred means clipped on both sides.
    EXPECT_EQ(PlaceImage(10, 10, 30, 20, true, false), (TImagePlacement{-10, -5, 30, 20}));
    EXPECT_EQ(PlaceImage(100, 50, 20, 10, false, true), (TImagePlacement{0, 0, 100, 50}));
    EXPECT_EQ(PlaceImage(100, 50, 20, 10, true, true), (TImagePlacement{0, 0, 100, 50}));
    EXPECT_EQ(PlaceImage(100, 50, 0, 10, true, false), TImagePlacement{});
    EXPECT_EQ(PlaceImage(0, 50, 20, 10, false, true), TImagePlacement{});
}

TEST(Image, PictureTravelsInTheDefinitionOnlyWhenSet) {
    RegisterToolkitClasses();
    TForm form(nullptr);
    auto* img = new TImage(&form);
    img->SetName("imgFull");
    img->SetParent(&form);
    TBitmap b(7, 5, TPixelFormat::pf24bit);
    b.Fill(0x00336699);
    b.SetPixel(2, 3, 0x00FF00FF);
    img->SetPicture(b);
    img->SetCenter(true);
    auto* none = new TImage(&form);
    none->SetName("imgNone");
    none->SetParent(&form);

    const auto def = ComponentDefBytes(form);
    const std::string key = "Picture";
    auto first = std::search(def.begin(), def.end(), key.begin(), key.end());
    ASSERT_NE(first, def.end());
    EXPECT_EQ(std::search(first + 1, def.end(), key.begin(), key.end()), def.end());

    TForm copy(nullptr);
    copy.LoadDefinition(def.data(), def.size());
    auto* back = copy.Find<TImage>("imgFull");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Picture(), b);
    EXPECT_TRUE(back->Center());
    EXPECT_FALSE(back->Stretch());
    EXPECT_TRUE(copy.Find<TImage>("imgNone")->Picture().Empty());

    // A damaged picture fails the load.
    TMemoryStream bad(std::vector<std::uint8_t>{'B', 'M', 1, 2});
    EXPECT_THROW(back->ReadPicture(bad), Exception);
    EXPECT_EQ(back->Picture(), b);
}
