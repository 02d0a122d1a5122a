#include "toolkit/uBitmap.h"

#include <cstring>
#include <vector>

UniqueHBitmap CreateDIBSectionFrom(const TBitmap& bitmap) {
    if (bitmap.Empty()) return UniqueHBitmap();
    // BITMAPINFOHEADER, then three masks or up to 256 palette entries.
    std::vector<std::uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = bitmap.Width();
    header->biHeight = -bitmap.Height(); // rows top first, as kept in memory
    header->biPlanes = 1;
    header->biBitCount = static_cast<WORD>(bitmap.BitCount());
    header->biCompression = BI_RGB;
    auto* extra = reinterpret_cast<DWORD*>(info.data() + sizeof(BITMAPINFOHEADER));
    const TPixelFormat f = bitmap.PixelFormat();
    if (f == TPixelFormat::pf16bit || f == TPixelFormat::pfCustom) {
        header->biCompression = BI_BITFIELDS;
        for (int i = 0; i < 3; ++i) extra[i] = bitmap.Mask(i);
    } else if (bitmap.BitCount() <= 8) {
        header->biClrUsed = static_cast<DWORD>(bitmap.Palette().size());
        auto* quads = reinterpret_cast<RGBQUAD*>(extra);
        for (std::size_t i = 0; i < bitmap.Palette().size(); ++i) {
            const TColor c = bitmap.Palette()[i];
            quads[i].rgbRed = static_cast<BYTE>(c & 0xFF);
            quads[i].rgbGreen = static_cast<BYTE>((c >> 8) & 0xFF);
            quads[i].rgbBlue = static_cast<BYTE>((c >> 16) & 0xFF);
        }
    }
    void* bits = nullptr;
    UniqueHBitmap result(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS,
                                          &bits, nullptr, 0));
    if (result && bits) {
        GdiFlush();
        std::memcpy(bits, bitmap.ScanLine(0), static_cast<std::size_t>(bitmap.Stride()) * bitmap.Height());
    }
    return result;
}
