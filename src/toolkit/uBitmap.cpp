#include "toolkit/uBitmap.h"

#include "store/uLittleEndian.h"

#include "store/uErrors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitFields = 3;
// Largest bitmap read: 64 Mpixel (a 8192 x 8192 picture), far above any picture shown.
constexpr std::uint64_t kMaxPixels = std::uint64_t(64) << 20;

// "ビットマップ ファイルが壊れています。" (the bitmap file is corrupt), code page 932.
const char kCorruptBitmap[] = "\x83\x72\x83\x62\x83\x67\x83\x7d\x83\x62\x83\x76 "
                              "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x89\xf3\x82\xea"
                              "\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42";

[[noreturn]] void Corrupt(const char* what) {
    throw ECorruptData(std::string(kCorruptBitmap) + " (" + what + ")");
}

using le::Get16;
using le::Get32;
void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

int BitsOf(TPixelFormat f) {
    switch (f) {
    case TPixelFormat::pf1bit:
        return 1;
    case TPixelFormat::pf4bit:
        return 4;
    case TPixelFormat::pf8bit:
        return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
        return 16;
    case TPixelFormat::pf32bit:
    case TPixelFormat::pfCustom:
        return 32;
    default:
        return 24;
    }
}

std::size_t StrideOf(int width, int bits) {
    return ((static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bits) + 31) / 32) * 4;
}

const std::array<TColor, 16> kStandard16 = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                            0x808000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                                            0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};

std::vector<TColor> DefaultPalette(int bits) {
    if (bits == 1) return {0x000000, 0xFFFFFF};
    std::vector<TColor> p(kStandard16.begin(), kStandard16.end());
    if (bits == 8) {
        for (int b = 0; b < 6; ++b)
            for (int g = 0; g < 6; ++g)
                for (int r = 0; r < 6; ++r) p.push_back((b * 51) << 16 | (g * 51) << 8 | (r * 51));
        for (int i = 1; i <= 24; ++i) {
            const int v = i * 255 / 25;
            p.push_back(v << 16 | v << 8 | v);
        }
    }
    return p;
}

int ShiftOf(std::uint32_t mask) {
    if (mask == 0) return 0;
    int s = 0;
    while (!(mask & 1u)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

// A channel of a bit-field pixel scaled to 0..255, and back.
int FieldToByte(std::uint32_t pixel, std::uint32_t mask) {
    if (mask == 0) return 0;
    const int s = ShiftOf(mask);
    const std::uint64_t max = mask >> s;
    const std::uint64_t v = (pixel & mask) >> s;
    return static_cast<int>((v * 255 + max / 2) / max);
}
std::uint32_t ByteToField(int c, std::uint32_t mask) {
    if (mask == 0) return 0;
    const int s = ShiftOf(mask);
    const std::uint64_t max = mask >> s;
    return static_cast<std::uint32_t>(((static_cast<std::uint64_t>(c) * max + 127) / 255) << s) & mask;
}

} // namespace

TBitmap::TBitmap(int width, int height, TPixelFormat format) {
    Layout(format, width, height);
}

void TBitmap::Layout(TPixelFormat format, int width, int height) {
    if (width < 0 || height < 0) width = height = 0;
    FFormat = format;
    FBitCount = BitsOf(format);
    switch (format) {
    case TPixelFormat::pf15bit:
        FMasks[0] = 0x7C00, FMasks[1] = 0x03E0, FMasks[2] = 0x001F;
        break;
    case TPixelFormat::pf16bit:
        FMasks[0] = 0xF800, FMasks[1] = 0x07E0, FMasks[2] = 0x001F;
        break;
    case TPixelFormat::pf32bit:
        FMasks[0] = 0xFF0000, FMasks[1] = 0xFF00, FMasks[2] = 0xFF;
        break;
    case TPixelFormat::pfCustom:
        FMasks[0] = 0x3FF00000, FMasks[1] = 0x000FFC00, FMasks[2] = 0x3FF;
        break;
    default:
        FMasks[0] = FMasks[1] = FMasks[2] = 0;
    }
    FPalette = FBitCount <= 8 ? DefaultPalette(FBitCount) : std::vector<TColor>{};
    FWidth = width;
    FHeight = height;
    FStride = static_cast<int>(StrideOf(width, FBitCount));
    FBits.assign(static_cast<std::size_t>(FStride) * static_cast<std::size_t>(height), 0);
}

void TBitmap::SetSize(int width, int height) {
    auto palette = FPalette;
    const TPixelFormat format = FFormat;
    std::uint32_t masks[3] = {FMasks[0], FMasks[1], FMasks[2]};
    Layout(format, width, height);
    FPalette = std::move(palette);
    std::copy(masks, masks + 3, FMasks);
}

void TBitmap::Clear() {
    SetSize(0, 0);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format == FFormat) return;
    TBitmap converted(FWidth, FHeight, format);
    for (int y = 0; y < FHeight; ++y)
        for (int x = 0; x < FWidth; ++x) converted.SetPixel(x, y, GetPixel(x, y));
    *this = std::move(converted);
}

void TBitmap::SetMonochrome(bool monochrome) {
    if (monochrome == Monochrome()) return;
    if (!monochrome) {
        SetPixelFormat(TPixelFormat::pf32bit);
        return;
    }
    TBitmap mono(FWidth, FHeight, TPixelFormat::pf1bit);
    for (int y = 0; y < FHeight; ++y)
        for (int x = 0; x < FWidth; ++x)
            mono.SetRawPixel(x, y, (GetPixel(x, y) & 0xFFFFFF) == 0xFFFFFF ? 1 : 0);
    *this = std::move(mono);
}

bool TBitmap::Monochrome() const {
    return FFormat == TPixelFormat::pf1bit && FPalette == std::vector<TColor>{0x000000, 0xFFFFFF};
}

void TBitmap::Assign(const TBitmap* source) {
    if (!source) {
        Clear();
        return;
    }
    if (source != this) *this = *source;
}

std::uint32_t TBitmap::RawPixel(int x, int y) const {
    const std::uint8_t* row = ScanLine(y);
    switch (FBitCount) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
    case 8:
        return row[x];
    case 16:
        return Get16(row + 2 * x);
    case 24:
        return row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16;
    default:
        return Get32(row + 4 * x);
    }
}

void TBitmap::SetRawPixel(int x, int y, std::uint32_t v) {
    std::uint8_t* row = FBits.data() + static_cast<std::size_t>(y) * FStride;
    switch (FBitCount) {
    case 1: {
        const int bit = 7 - (x & 7);
        row[x >> 3] = static_cast<std::uint8_t>((row[x >> 3] & ~(1 << bit)) | ((v & 1) << bit));
        break;
    }
    case 4: {
        const int shift = (x & 1) ? 0 : 4;
        row[x >> 1] = static_cast<std::uint8_t>((row[x >> 1] & ~(0xF << shift)) | ((v & 0xF) << shift));
        break;
    }
    case 8:
        row[x] = static_cast<std::uint8_t>(v);
        break;
    case 16:
        row[2 * x] = static_cast<std::uint8_t>(v);
        row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
        break;
    case 24:
        for (int i = 0; i < 3; ++i) row[3 * x + i] = static_cast<std::uint8_t>(v >> (8 * i));
        break;
    default:
        for (int i = 0; i < 4; ++i) row[4 * x + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

TColor TBitmap::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return 0;
    if (FBitCount == 24) { // bytes blue, green, red
        const std::uint8_t* p = ScanLine(y) + 3 * x;
        return p[0] << 16 | p[1] << 8 | p[2];
    }
    const std::uint32_t raw = RawPixel(x, y);
    if (FBitCount <= 8) return raw < FPalette.size() ? FPalette[raw] : 0;
    return FieldToByte(raw, FMasks[2]) << 16 | FieldToByte(raw, FMasks[1]) << 8 | FieldToByte(raw, FMasks[0]);
}

std::uint32_t TBitmap::NearestIndex(TColor color) const {
    std::uint32_t best = 0;
    long bestDistance = std::numeric_limits<long>::max();
    for (std::size_t i = 0; i < FPalette.size(); ++i) {
        const TColor p = FPalette[i];
        const long dr = (p & 0xFF) - (color & 0xFF), dg = ((p >> 8) & 0xFF) - ((color >> 8) & 0xFF),
                   db = ((p >> 16) & 0xFF) - ((color >> 16) & 0xFF);
        const long d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<std::uint32_t>(i);
            if (d == 0) break;
        }
    }
    return best;
}

void TBitmap::SetPixel(int x, int y, TColor color) {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return;
    const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
    if (FBitCount <= 8)
        SetRawPixel(x, y, NearestIndex(color));
    else if (FBitCount == 24)
        SetRawPixel(x, y, static_cast<std::uint32_t>(b | g << 8 | r << 16));
    else
        SetRawPixel(x, y, ByteToField(r, FMasks[0]) | ByteToField(g, FMasks[1]) | ByteToField(b, FMasks[2]));
}

void TBitmap::Fill(TColor color) {
    FillRect(0, 0, FWidth, FHeight, color);
}

void TBitmap::FillRect(int left, int top, int right, int bottom, TColor color) {
    left = std::max(left, 0), top = std::max(top, 0);
    right = std::min(right, FWidth), bottom = std::min(bottom, FHeight);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) SetPixel(x, y, color);
}

bool TBitmap::UsesBitFields() const {
    if (FFormat == TPixelFormat::pf16bit || FFormat == TPixelFormat::pfCustom) return true;
    return false;
}

std::uint32_t TBitmap::FileSize() const {
    std::uint32_t size = kFileHeaderSize + kInfoHeaderSize;
    if (UsesBitFields()) size += 12;
    if (FBitCount <= 8) size += static_cast<std::uint32_t>(FPalette.size()) * 4;
    return size + static_cast<std::uint32_t>(FBits.size());
}

void TBitmap::SaveToStream(TStream& stream) const {
    const std::uint32_t total = FileSize();
    const auto image = static_cast<std::uint32_t>(FBits.size());
    std::vector<std::uint8_t> out;
    out.reserve(total);
    out.push_back('B');
    out.push_back('M');
    Put32(out, total);
    Put32(out, 0); // two reserved words
    Put32(out, total - image);
    Put32(out, kInfoHeaderSize);
    Put32(out, static_cast<std::uint32_t>(FWidth));
    Put32(out, static_cast<std::uint32_t>(FHeight));
    Put16(out, 1);
    Put16(out, static_cast<std::uint32_t>(FBitCount));
    Put32(out, UsesBitFields() ? kBiBitFields : kBiRgb);
    Put32(out, image);
    Put32(out, 0); // resolution, unspecified
    Put32(out, 0);
    const std::size_t full = FBitCount <= 8 ? std::size_t(1) << FBitCount : 0;
    Put32(out, FBitCount <= 8 && FPalette.size() != full ? static_cast<std::uint32_t>(FPalette.size()) : 0);
    Put32(out, 0);
    if (UsesBitFields())
        for (std::uint32_t m : FMasks) Put32(out, m);
    if (FBitCount <= 8)
        for (TColor c : FPalette)
            Put32(out, static_cast<std::uint32_t>(c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF));
    for (int y = FHeight - 1; y >= 0; --y) out.insert(out.end(), ScanLine(y), ScanLine(y) + FStride);
    stream.WriteBuffer(out.data(), out.size());
}

void TBitmap::LoadFromStream(TStream& stream) {
    const std::int64_t start = stream.Position();
    std::uint8_t fh[kFileHeaderSize];
    stream.ReadBuffer(fh, sizeof fh);
    if (fh[0] != 'B' || fh[1] != 'M') Corrupt("signature");
    const std::uint32_t total = Get32(fh + 2);
    const std::uint32_t offBits = Get32(fh + 10);
    if (total < kFileHeaderSize + kInfoHeaderSize) Corrupt("file size");
    // The whole file must be there before anything is allocated.
    if (static_cast<std::int64_t>(total) - static_cast<std::int64_t>(kFileHeaderSize) > stream.Remaining())
        Corrupt("file size past the end of the data");
    std::vector<std::uint8_t> rest(total - kFileHeaderSize);
    stream.ReadBuffer(rest.data(), rest.size());
    stream.SetPosition(start + total);

    const std::uint8_t* ih = rest.data();
    const std::uint32_t headerSize = Get32(ih);
    if (headerSize < kInfoHeaderSize || headerSize > rest.size()) Corrupt("header size");
    const auto width = static_cast<std::int32_t>(Get32(ih + 4));
    const auto rawHeight = static_cast<std::int32_t>(Get32(ih + 8));
    const std::uint32_t planes = Get16(ih + 12), bits = Get16(ih + 14);
    const std::uint32_t compression = Get32(ih + 16);
    const std::uint32_t clrUsed = Get32(ih + 32);
    if (width < 0 || rawHeight == std::numeric_limits<std::int32_t>::min()) Corrupt("dimensions");
    // 0 x 0 is an empty bitmap (what saving an empty bitmap writes); a single zero
    // dimension is refused, so a height of 2^31 - 1 rows of nothing is no work.
    if ((width == 0) != (rawHeight == 0)) Corrupt("dimensions");
    if (planes != 1) Corrupt("planes");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) Corrupt("bit count");
    if (!(compression == kBiRgb || (compression == kBiBitFields && (bits == 16 || bits == 32))))
        Corrupt("compression");
    const bool topDown = rawHeight < 0;
    const int height = topDown ? -rawHeight : rawHeight;
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPixels)
        Corrupt("dimensions");

    std::uint64_t cursor = headerSize; // offset into rest
    std::uint32_t masks[3] = {0, 0, 0};
    if (compression == kBiBitFields) {
        // Version 2 and later headers hold the masks themselves; a 40-byte header is
        // followed by them.
        const std::uint64_t at = headerSize >= 52 ? 40 : headerSize;
        if (at + 12 > rest.size()) Corrupt("bit fields");
        for (int i = 0; i < 3; ++i) masks[i] = Get32(ih + at + 4 * i);
        if (headerSize < 52) cursor += 12;
    }
    std::vector<TColor> palette;
    if (bits <= 8) {
        const std::uint32_t maxColours = 1u << bits;
        const std::uint32_t count = clrUsed ? clrUsed : maxColours;
        if (count > maxColours) Corrupt("palette size");
        if (cursor + 4ull * count > rest.size()) Corrupt("palette past the end");
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* q = ih + cursor + 4 * i;
            palette.push_back(q[2] | q[1] << 8 | q[0] << 16);
        }
        cursor += 4ull * count;
    }
    const std::uint64_t stride = StrideOf(width, static_cast<int>(bits));
    if (stride > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) Corrupt("width");
    const std::uint64_t image = stride * static_cast<std::uint64_t>(height);
    if (offBits < kFileHeaderSize + cursor) Corrupt("pixel offset");
    const std::uint64_t pixelsAt = offBits - kFileHeaderSize;
    if (pixelsAt > rest.size() || image > rest.size() - pixelsAt) Corrupt("pixels past the end");

    TPixelFormat format = TPixelFormat::pf24bit;
    switch (bits) {
    case 1:
        format = TPixelFormat::pf1bit;
        break;
    case 4:
        format = TPixelFormat::pf4bit;
        break;
    case 8:
        format = TPixelFormat::pf8bit;
        break;
    case 16:
        if (compression == kBiRgb || (masks[0] == 0x7C00 && masks[1] == 0x3E0 && masks[2] == 0x1F))
            format = TPixelFormat::pf15bit;
        else if (masks[0] == 0xF800 && masks[1] == 0x7E0 && masks[2] == 0x1F)
            format = TPixelFormat::pf16bit;
        else
            format = TPixelFormat::pfCustom;
        break;
    case 32:
        if (compression == kBiRgb || (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF))
            format = TPixelFormat::pf32bit;
        else
            format = TPixelFormat::pfCustom;
        break;
    default:
        break;
    }
    TBitmap loaded;
    loaded.FFormat = format;
    loaded.FBitCount = static_cast<int>(bits);
    loaded.FWidth = width;
    loaded.FHeight = height;
    loaded.FStride = static_cast<int>(stride);
    loaded.FPalette = std::move(palette);
    if (format == TPixelFormat::pf15bit) {
        loaded.FMasks[0] = 0x7C00, loaded.FMasks[1] = 0x3E0, loaded.FMasks[2] = 0x1F;
    } else if (format == TPixelFormat::pf32bit) {
        loaded.FMasks[0] = 0xFF0000, loaded.FMasks[1] = 0xFF00, loaded.FMasks[2] = 0xFF;
    } else {
        std::copy(masks, masks + 3, loaded.FMasks);
    }
    loaded.FBits.resize(static_cast<std::size_t>(image));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = ih + pixelsAt + stride * static_cast<std::uint64_t>(y);
        const int row = topDown ? y : height - 1 - y;
        std::copy(src, src + stride, loaded.FBits.data() + stride * static_cast<std::uint64_t>(row));
    }
    *this = std::move(loaded);
}
