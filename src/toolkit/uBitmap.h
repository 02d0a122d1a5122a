#pragma once
// TBitmap: an in-memory device-independent bitmap. The pixels are kept in the layout of
// their pixel format (rows top first, each padded to 4 bytes), so a bitmap file read and
// written again keeps its bytes. Colours are toolkit colour values 0x00BBGGRR.
//
// Bitmap file as read and written here (little-endian, field by field):
//   BITMAPFILEHEADER  14  "BM", total size (uint32), 2 x reserved 0, offset of the pixels
//   BITMAPINFOHEADER  40  header size 40, width, height (> 0: rows bottom up; < 0: top
//                         down, read only), planes 1, bits per pixel, compression
//                         (0 = BI_RGB, 3 = BI_BITFIELDS), image size, 2 x resolution,
//                         colours used, colours important
//   [3 x uint32 masks]    red, green, blue for BI_BITFIELDS
//   [palette]             4 bytes (blue, green, red, 0) per colour, 8 bits or fewer
//   pixels                rows padded to a multiple of 4 bytes
// Larger info headers (V4, V5) are read too; their extra fields are skipped.
#include "store/uStreams.h"

#include <cstdint>
#include <vector>

#ifdef _WIN32
#include "platform/uWinHandles.h"
#endif

using TColor = std::int32_t;

// In the toolkit's order. A device bitmap is kept as 24 bits per pixel; "custom" is a
// BI_BITFIELDS layout other than 5-5-5, 5-6-5 or 8-8-8.
enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

class TBitmap {
public:
    TBitmap() = default;
    TBitmap(int width, int height, TPixelFormat format = TPixelFormat::pf24bit);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    bool Empty() const { return FWidth == 0 || FHeight == 0; }
    TPixelFormat PixelFormat() const { return FFormat; }
    int BitCount() const { return FBitCount; }
    int Stride() const { return FStride; }

    // New size; every pixel becomes 0 (black, or palette entry 0).
    void SetSize(int width, int height);
    // Converts the pixels: palette formats take their default palette (1 bit black and
    // white, 4 bits the 16 standard colours, 8 bits those plus a 6x6x6 cube and 24 greys)
    // and each pixel its nearest entry. pfCustom becomes 32 bits with 10-10-10 fields.
    void SetPixelFormat(TPixelFormat format);
    // Monochrome: 1 bit black and white, a white pixel stays white and every other pixel
    // turns black (as Windows converts colour to monochrome against a white background).
    // Back to full colour: 32 bits per pixel.
    void SetMonochrome(bool monochrome);
    bool Monochrome() const;

    // Copies source, or empties this bitmap when source is null.
    void Assign(const TBitmap* source);
    // Width and height 0; the pixel format stays.
    void Clear();

    // Palette of the 1-, 4- and 8-bit formats (may hold fewer colours than the depth allows).
    const std::vector<TColor>& Palette() const { return FPalette; }

    // Outside the bitmap GetPixel gives 0 and SetPixel does nothing. In a palette format
    // SetPixel takes the nearest palette entry.
    TColor GetPixel(int x, int y) const;
    void SetPixel(int x, int y, TColor color);
    void Fill(TColor color);
    void FillRect(int left, int top, int right, int bottom, TColor color);

    const std::uint8_t* ScanLine(int y) const { return FBits.data() + static_cast<std::size_t>(y) * FStride; }
    // Red, green and blue masks of the 16- and 32-bit formats.
    std::uint32_t Mask(int channel) const { return FMasks[channel]; }

    // Reads one bitmap file at the stream's position and leaves the position at the
    // file's start plus its total-size field. Corrupt or unsupported files raise
    // ECorruptData without reading past the sizes they declare.
    void LoadFromStream(TStream& stream);
    // Writes one complete bitmap file at the stream's position (rows bottom up).
    void SaveToStream(TStream& stream) const;
    // Size in bytes of the file SaveToStream writes.
    std::uint32_t FileSize() const;

    bool operator==(const TBitmap& other) const = default;

private:
    void Layout(TPixelFormat format, int width, int height);
    std::uint32_t RawPixel(int x, int y) const;
    void SetRawPixel(int x, int y, std::uint32_t v);
    std::uint32_t NearestIndex(TColor color) const;
    bool UsesBitFields() const;

    int FWidth = 0;
    int FHeight = 0;
    TPixelFormat FFormat = TPixelFormat::pfDevice;
    int FBitCount = 24;
    int FStride = 0;
    std::uint32_t FMasks[3] = {0, 0, 0};
    std::vector<TColor> FPalette;
    std::vector<std::uint8_t> FBits; // rows top first
};

#ifdef _WIN32
// A GDI DIB section holding a copy of the bitmap's pixels (palette and bit fields kept);
// null for an empty bitmap.
UniqueHBitmap CreateDIBSectionFrom(const TBitmap& bitmap);
#endif
