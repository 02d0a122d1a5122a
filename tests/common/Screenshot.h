#pragma once
// Screenshots of a window for people to look at (the window's area of the screen as a
// 24-bit BMP file), and the screen's pixels of an area for tests that look at them.
#ifdef _WIN32
#include "TestFiles.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

// The screen's pixels in r: a bottom-up 24-bit DIB (rows padded to 4 bytes), bi its header.
inline std::vector<std::uint8_t> ScreenPixels(const RECT& r, BITMAPINFOHEADER& bi) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    bi = BITMAPINFOHEADER{sizeof bi, w > 0 ? w : 0, h > 0 ? h : 0, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    if (w <= 0 || h <= 0) return {};
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    const DWORD stride = ((w * 3 + 3) / 4) * 4;
    std::vector<std::uint8_t> pixels(stride * h);
    GetDIBits(mem, bmp, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return pixels;
}

inline bool SaveScreenshot(HWND window, const std::filesystem::path& file) {
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300);
    RECT r;
    GetWindowRect(window, &r);
    BITMAPINFOHEADER bi;
    const std::vector<std::uint8_t> pixels = ScreenPixels(r, bi);
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof fh + sizeof bi + pixels.size()), 0, 0,
                        static_cast<DWORD>(sizeof fh + sizeof bi)};
    std::vector<std::uint8_t> out(fh.bfSize);
    std::memcpy(out.data(), &fh, sizeof fh);
    std::memcpy(out.data() + sizeof fh, &bi, sizeof bi);
    std::memcpy(out.data() + fh.bfOffBits, pixels.data(), pixels.size());
    std::filesystem::create_directories(file.parent_path());
    WriteBytes(file, out);
    return std::filesystem::file_size(file) == out.size();
}

#endif
