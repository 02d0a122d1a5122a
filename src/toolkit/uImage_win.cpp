#include "toolkit/uImage.h"

#include <windows.h>

std::intptr_t TImage::WndProc(unsigned msg, std::uintptr_t wp, std::intptr_t lp) {
    HWND h = static_cast<HWND>(FHandle);
    switch (msg) {
    case WM_ERASEBKGND:
        return 1; // PaintTo fills every pixel
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        PaintTo(dc);
        EndPaint(h, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        PaintTo(reinterpret_cast<HDC>(wp));
        return 0;
    }
    return TControl::WndProc(msg, wp, lp);
}

void TImage::PaintTo(void* target) {
    HDC dc = static_cast<HDC>(target);
    RECT r;
    GetClientRect(static_cast<HWND>(FHandle), &r);
    FillRect(dc, &r, reinterpret_cast<HBRUSH>(CtlColor(dc)));
    const TImagePlacement at =
        PlaceImage(r.right, r.bottom, FPicture.Width(), FPicture.Height(), FCenter, FStretch);
    if (at.Width <= 0) return;
    UniqueHBitmap dib = CreateDIBSectionFrom(FPicture);
    if (!dib) return;
    HDC mem = CreateCompatibleDC(dc);
    if (!mem) return;
    HGDIOBJ old = SelectObject(mem, dib.Get());
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, at.Left, at.Top, at.Width, at.Height, mem, 0, 0, FPicture.Width(), FPicture.Height(),
               SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}
