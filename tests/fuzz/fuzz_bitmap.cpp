// The bitmap reader (the payload's pictures) on arbitrary bytes: it may raise the store's
// own errors, nothing else, and a bitmap it accepts must be saved and read back unchanged.
#include "store/uErrors.h"
#include "store/uStreams.h"
#include "toolkit/uBitmap.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TMemoryStream stream(std::vector<std::uint8_t>(data, data + size));
    TBitmap bitmap;
    try {
        bitmap.LoadFromStream(stream);
    } catch (const Exception&) {
        return 0;
    }
    // Every pixel of the corners reads within the bitmap.
    const int w = bitmap.Width(), h = bitmap.Height();
    volatile TColor sink = bitmap.GetPixel(0, 0) ^ bitmap.GetPixel(w - 1, h - 1) ^ bitmap.GetPixel(w - 1, 0);
    (void)sink;
    TMemoryStream saved;
    bitmap.SaveToStream(saved);
    if (saved.Bytes().size() != bitmap.FileSize()) __builtin_trap();
    saved.SetPosition(0);
    TBitmap back;
    back.LoadFromStream(saved);
    if (!(back == bitmap)) __builtin_trap();
    return 0;
}
