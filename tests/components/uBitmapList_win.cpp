// A window created from a compiled definition holds the installer's pictures in its
// bitmap list, and they reach GDI as DIB sections with the same pixels.
#include "components/uBitmapList.h"
#include "components/uRegister.h"
#include "toolkit/uForms.h"

#include "common/TestFiles.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TBitmap BitmapFile(const std::string& name) {
    TMemoryStream s(ReadBytes(std::filesystem::path(SCR_SOURCE_DIR) / "src/resources/images" / name));
    TBitmap b;
    b.LoadFromStream(s);
    return b;
}

} // namespace

TEST(BitmapListWin, AWindowFromTheResourceHoldsThePictures) {
    RegisterToolkitClasses();
    RegisterSystemComponents();
    TForm form(nullptr);
    form.LoadDefinitionResource("BITMAPFORM");
    auto* list = form.Find<TBitmapList>("blImages");
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->Compressed());
    EXPECT_EQ(list->Images().GetCount(), 3);

    TBitmap icon;
    list->GetBitmap("Icon", &icon); // stored as "icon"
    EXPECT_EQ(icon, BitmapFile("icon.bmp"));
    TBitmap left;
    list->GetBitmap("Left", &left);
    EXPECT_EQ(left, BitmapFile("Left.bmp"));
    EXPECT_FALSE(list->Masks().Exists("Left"));

    const TBitmap badge = BitmapFile("GetFlashPlayer.bmp");
    TBitmap got, mask;
    list->GetBitmap("GetFlashPlayer", &got);
    list->GetMask("GetFlashPlayer", &mask);
    EXPECT_EQ(got, badge);
    ASSERT_EQ(mask.Width(), badge.Width());

    // The picture as a DIB section: GDI reads back the pixels of the file, and the mask
    // marks exactly its magenta.
    UniqueHBitmap dib = CreateDIBSectionFrom(got);
    ASSERT_TRUE(dib);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, dib.Get());
    int checked = 0;
    for (int y = 0; y < badge.Height(); y += 3)
        for (int x = 0; x < badge.Width(); x += 3) {
            const COLORREF c = GetPixel(dc, x, y);
            EXPECT_EQ(static_cast<TColor>(c), badge.GetPixel(x, y)) << x << "," << y;
            EXPECT_EQ((mask.GetPixel(x, y) & 0xFFFFFF) != 0, c == RGB(255, 0, 255)) << x << "," << y;
            ++checked;
        }
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    EXPECT_GT(checked, 200);
}
