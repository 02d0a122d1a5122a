#include "toolkit/uBitmap.h"

#include "store/uErrors.h"
#include "store/uStreams.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A bitmap file built by hand: file header, 40-byte info header, extra (masks and/or
// palette) and pixel rows exactly as given.
Bytes MakeFile(std::int32_t width, std::int32_t height, int bits, std::uint32_t compression,
               const Bytes& extra, const Bytes& pixels, std::uint32_t clrUsed = 0) {
    Bytes b{'B', 'M'};
    const auto total = static_cast<std::uint32_t>(14 + 40 + extra.size() + pixels.size());
    Put32(b, total);
    Put32(b, 0);
    Put32(b, static_cast<std::uint32_t>(14 + 40 + extra.size()));
    Put32(b, 40);
    Put32(b, static_cast<std::uint32_t>(width));
    Put32(b, static_cast<std::uint32_t>(height));
    Put16(b, 1);
    Put16(b, static_cast<std::uint32_t>(bits));
    Put32(b, compression);
    Put32(b, static_cast<std::uint32_t>(pixels.size()));
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, clrUsed);
    Put32(b, 0);
    b.insert(b.end(), extra.begin(), extra.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

TBitmap Load(const Bytes& bytes) {
    TMemoryStream s(bytes);
    TBitmap bmp;
    bmp.LoadFromStream(s);
    return bmp;
}

Bytes Save(const TBitmap& bmp) {
    TMemoryStream s;
    bmp.SaveToStream(s);
    return s.Bytes();
}

// Distinct colours for a test pattern.
TColor PatternColor(int x, int y) {
    return (x * 37 % 256) | ((y * 59 % 256) << 8) | (((x + y) * 23 % 256) << 16);
}

} // namespace

TEST(Bitmap, Writes24BitFileExactlyAsWindows) {
    TBitmap bmp(2, 2, TPixelFormat::pf24bit);
    bmp.SetPixel(0, 0, 0x0000FF); // red, top left
    bmp.SetPixel(1, 0, 0x00FF00);
    bmp.SetPixel(0, 1, 0xFF0000);
    bmp.SetPixel(1, 1, 0x123456);
    // Bottom row first, blue green red, each row padded from 6 to 8 bytes.
    const Bytes pixels{0xFF, 0x00, 0x00, 0x12, 0x34, 0x56, 0, 0, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0, 0};
    const Bytes want = MakeFile(2, 2, 24, 0, {}, pixels);
    EXPECT_EQ(Save(bmp), want);
    EXPECT_EQ(bmp.FileSize(), want.size());
    EXPECT_EQ(Load(want), bmp);
}

TEST(Bitmap, Writes8BitPaletteWithColoursUsed) {
    const Bytes palette{0, 0, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0};
    TBitmap bmp = Load(MakeFile(3, 1, 8, 0, palette, {2, 1, 2, 0}, 3));
    EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(bmp.Palette().size(), 3u);
    EXPECT_EQ(bmp.GetPixel(0, 0), 0xFFFFFF);
    EXPECT_EQ(bmp.GetPixel(1, 0), 0x0000FF);
    bmp.SetPixel(2, 0, 0x000001); // nearest: black
    EXPECT_EQ(Save(bmp), MakeFile(3, 1, 8, 0, palette, {2, 1, 0, 0}, 3));
}

TEST(Bitmap, RoundTripEveryFormat) {
    const TPixelFormat formats[] = {TPixelFormat::pfDevice, TPixelFormat::pf1bit,  TPixelFormat::pf4bit,
                                    TPixelFormat::pf8bit,   TPixelFormat::pf15bit, TPixelFormat::pf16bit,
                                    TPixelFormat::pf24bit,  TPixelFormat::pf32bit, TPixelFormat::pfCustom};
    for (TPixelFormat f : formats) {
        for (int width : {1, 3, 7, 33}) {
            TBitmap bmp(width, 5, f);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < width; ++x) bmp.SetPixel(x, y, PatternColor(x, y));
            const Bytes bytes = Save(bmp);
            ASSERT_EQ(bytes.size(), bmp.FileSize());
            const TBitmap back = Load(bytes);
            const TPixelFormat expected = f == TPixelFormat::pfDevice ? TPixelFormat::pf24bit : f;
            EXPECT_EQ(back.PixelFormat(), expected) << static_cast<int>(f);
            EXPECT_EQ(back.Width(), width);
            EXPECT_EQ(back.Height(), 5);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < width; ++x)
                    ASSERT_EQ(back.GetPixel(x, y), bmp.GetPixel(x, y))
                        << static_cast<int>(f) << " " << x << "," << y;
            EXPECT_EQ(Save(back), bytes) << static_cast<int>(f);
        }
    }
}

TEST(Bitmap, PixelPrecisionPerFormat) {
    TBitmap c24(1, 1, TPixelFormat::pf24bit), c32(1, 1, TPixelFormat::pf32bit),
        c15(1, 1, TPixelFormat::pf15bit), c16(1, 1, TPixelFormat::pf16bit), c1(1, 1, TPixelFormat::pf1bit);
    for (TBitmap* b : {&c24, &c32, &c15, &c16, &c1}) b->SetPixel(0, 0, 0x123456);
    EXPECT_EQ(c24.GetPixel(0, 0), 0x123456);
    EXPECT_EQ(c32.GetPixel(0, 0), 0x123456);
    EXPECT_EQ(c15.GetPixel(0, 0), 0x103152); // 5 bits per channel
    EXPECT_EQ(c16.GetPixel(0, 0), 0x103552); // green keeps 6 bits
    EXPECT_EQ(c1.GetPixel(0, 0), 0);         // nearest of black and white
    EXPECT_EQ(c24.GetPixel(1, 0), 0);        // outside
    c24.SetPixel(-1, 0, 5);                  // ignored
}

TEST(Bitmap, ReadsTopDownAndBitFields) {
    // Top-down 24-bit: the first row in the file is the top row.
    const Bytes pixels{0xFF, 0, 0, 0, 0, 0, 0xFF, 0};
    const TBitmap td = Load(MakeFile(1, -2, 24, 0, {}, pixels));
    EXPECT_EQ(td.Height(), 2);
    EXPECT_EQ(td.GetPixel(0, 0), 0xFF0000);
    EXPECT_EQ(td.GetPixel(0, 1), 0x0000FF);

    // 16-bit 5-6-5 bit fields: pure green 0x07E0.
    Bytes masks565;
    for (std::uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(masks565, m);
    const TBitmap b16 = Load(MakeFile(1, 1, 16, 3, masks565, {0xE0, 0x07, 0, 0}));
    EXPECT_EQ(b16.PixelFormat(), TPixelFormat::pf16bit);
    EXPECT_EQ(b16.GetPixel(0, 0), 0x00FF00);

    // 16-bit bit fields of 5-5-5 count as 15 bits.
    Bytes masks555;
    for (std::uint32_t m : {0x7C00u, 0x03E0u, 0x001Fu}) Put32(masks555, m);
    EXPECT_EQ(Load(MakeFile(1, 1, 16, 3, masks555, {0x1F, 0, 0, 0})).PixelFormat(), TPixelFormat::pf15bit);

    // 32-bit with standard masks is plain 32 bits; other masks are custom.
    Bytes masks888, masksOdd;
    for (std::uint32_t m : {0xFF0000u, 0xFF00u, 0xFFu}) Put32(masks888, m);
    for (std::uint32_t m : {0xFFu, 0xFF00u, 0xFF0000u}) Put32(masksOdd, m); // red in the low byte
    const TBitmap b32 = Load(MakeFile(1, 1, 32, 3, masks888, {0x11, 0x22, 0x33, 0}));
    EXPECT_EQ(b32.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(b32.GetPixel(0, 0), 0x112233);
    const TBitmap odd = Load(MakeFile(1, 1, 32, 3, masksOdd, {0x11, 0x22, 0x33, 0}));
    EXPECT_EQ(odd.PixelFormat(), TPixelFormat::pfCustom);
    EXPECT_EQ(odd.GetPixel(0, 0), 0x332211);
}

TEST(Bitmap, LoadsAtPositionAndStopsAtTheTotalSize) {
    TBitmap bmp(5, 3, TPixelFormat::pf4bit);
    bmp.SetPixel(4, 2, 0x0000FF);
    const Bytes file = Save(bmp);
    Bytes data{1, 2, 3};
    data.insert(data.end(), file.begin(), file.end());
    data.insert(data.end(), {9, 9, 9, 9});
    TMemoryStream s(data);
    s.SetPosition(3);
    TBitmap back;
    back.LoadFromStream(s);
    EXPECT_EQ(s.Position(), static_cast<std::int64_t>(3 + file.size()));
    EXPECT_EQ(back.GetPixel(4, 2), 0x0000FF);
    s.SetPosition(static_cast<std::int64_t>(data.size()) - 4);
    EXPECT_THROW(back.LoadFromStream(s), EReadError); // only 4 bytes left
}

TEST(Bitmap, EmptyBitmapRoundTrips) {
    TBitmap empty;
    EXPECT_TRUE(empty.Empty());
    const TBitmap back = Load(Save(empty));
    EXPECT_TRUE(back.Empty());
    EXPECT_EQ(Save(empty).size(), 54u);
}

TEST(Bitmap, RejectsCorruptFiles) {
    const Bytes good = MakeFile(2, 2, 24, 0, {}, Bytes(16, 0));
    auto corrupt = [&](auto edit) {
        Bytes b = good;
        edit(b);
        EXPECT_THROW(Load(b), ECorruptData);
    };
    corrupt([](Bytes& b) { b[0] = 'X'; });                                 // signature
    corrupt([](Bytes& b) { b[2] = 0xFF, b[3] = 0xFF; });                   // total size past the end
    corrupt([](Bytes& b) { b[2] = 20, b[3] = 0; });                        // total size below the headers
    corrupt([](Bytes& b) { b[10] = 0; });                                  // pixel offset inside the headers
    corrupt([](Bytes& b) { b[10] = 80; });                                 // pixels past the end
    corrupt([](Bytes& b) { b[14] = 12; });                                 // core header unsupported
    corrupt([](Bytes& b) { b[18] = 0xFE, b[19] = b[20] = b[21] = 0xFF; }); // negative width
    corrupt([](Bytes& b) { b[22] = 0xFF, b[23] = 0xFF, b[24] = 0, b[25] = 0; });       // too many rows
    corrupt([](Bytes& b) { b[26] = 2; });                                              // planes
    corrupt([](Bytes& b) { b[28] = 2; });                                              // 2 bits per pixel
    corrupt([](Bytes& b) { b[30] = 1; });                                              // RLE
    corrupt([](Bytes& b) { b[18] = 0xFF, b[19] = 0xFF, b[20] = 0xFF, b[21] = 0x7F; }); // huge width

    // 54 bytes, width 0 and 2^31 - 1 rows: refused before any row is looked at.
    EXPECT_THROW(Load(MakeFile(0, 0x7FFFFFFF, 24, 0, {}, {})), ECorruptData);
    EXPECT_THROW(Load(MakeFile(3, 0, 24, 0, {}, {})), ECorruptData);

    // An 8-bit palette claiming more colours than the depth allows or than the file holds.
    EXPECT_THROW(Load(MakeFile(1, 1, 8, 0, Bytes(8, 0), {0, 0, 0, 0}, 257)), ECorruptData);
    EXPECT_THROW(Load(MakeFile(1, 1, 8, 0, Bytes(8, 0), {0, 0, 0, 0}, 200)), ECorruptData);
    // Bit fields without room for the masks.
    EXPECT_THROW(Load(MakeFile(1, 1, 16, 3, {}, {})), ECorruptData);
    // A pixel index beyond a short palette reads as black, without overrun.
    const TBitmap shortPal = Load(MakeFile(1, 1, 8, 0, {0xFF, 0xFF, 0xFF, 0}, {7, 0, 0, 0}, 1));
    EXPECT_EQ(shortPal.GetPixel(0, 0), 0);
}

TEST(Bitmap, ConversionsAndMonochrome) {
    TBitmap bmp(4, 2, TPixelFormat::pf24bit);
    bmp.Fill(0x808080);
    bmp.SetPixel(1, 1, 0xFFFFFF);
    bmp.SetPixel(2, 1, 0xFEFFFF);
    TBitmap copy;
    copy.Assign(&bmp);
    EXPECT_EQ(copy, bmp);
    copy.SetMonochrome(true);
    EXPECT_TRUE(copy.Monochrome());
    EXPECT_EQ(copy.PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(copy.GetPixel(1, 1), 0xFFFFFF);
    EXPECT_EQ(copy.GetPixel(2, 1), 0); // only pure white stays white
    EXPECT_EQ(copy.GetPixel(0, 0), 0);
    copy.SetMonochrome(false);
    EXPECT_EQ(copy.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(copy.GetPixel(1, 1), 0xFFFFFF);

    TBitmap pal(bmp);
    pal.SetPixelFormat(TPixelFormat::pf8bit);
    EXPECT_EQ(pal.Palette().size(), 256u);
    EXPECT_EQ(pal.GetPixel(0, 0), 0x808080); // a standard colour
    pal.SetPixelFormat(TPixelFormat::pf4bit);
    EXPECT_EQ(pal.GetPixel(1, 1), 0xFFFFFF);

    copy.Assign(nullptr);
    EXPECT_TRUE(copy.Empty());
}
