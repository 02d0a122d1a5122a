#pragma once
// One small owning wrapper per kind of Win32 handle, move-only, and the "select into a
// DC and restore" helper, which owns nothing.
#ifdef _WIN32
#include <windows.h>

#include <utility>

#include "platform/uSysApi.h"

template <typename H, typename Traits> class UniqueWinHandle {
public:
    UniqueWinHandle() = default;
    explicit UniqueWinHandle(H h) : FHandle(h) {}
    ~UniqueWinHandle() { Reset(); }
    UniqueWinHandle(UniqueWinHandle&& other) noexcept : FHandle(other.Release()) {}
    UniqueWinHandle& operator=(UniqueWinHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueWinHandle(const UniqueWinHandle&) = delete;
    UniqueWinHandle& operator=(const UniqueWinHandle&) = delete;

    H Get() const { return FHandle; }
    explicit operator bool() const { return Traits::Valid(FHandle); }
    H Release() { return std::exchange(FHandle, Traits::Invalid()); }
    void Reset(H h = Traits::Invalid()) {
        if (Traits::Valid(FHandle)) Traits::Close(FHandle);
        FHandle = h;
    }
    // For out-parameters of creating calls: releases the old handle first.
    H* Put() {
        Reset();
        return &FHandle;
    }

private:
    H FHandle = Traits::Invalid();
};

struct KernelHandleTraits { // CreateFile & co.: INVALID_HANDLE_VALUE is "none"
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Valid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct RegKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static bool Valid(HKEY h) { return h != nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
template <typename G> struct GdiObjectTraits {
    static G Invalid() { return nullptr; }
    static bool Valid(G h) { return h != nullptr; }
    static void Close(G h) { DeleteObject(h); }
};
struct MemDcTraits { // CreateCompatibleDC
    static HDC Invalid() { return nullptr; }
    static bool Valid(HDC h) { return h != nullptr; }
    static void Close(HDC h) { DeleteDC(h); }
};
struct WindowTraits {
    static HWND Invalid() { return nullptr; }
    static bool Valid(HWND h) { return h != nullptr; }
    static void Close(HWND h) {
        if (IsWindow(h)) DestroyWindow(h);
    }
};
struct ModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static bool Valid(HMODULE h) { return h != nullptr; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};

struct PidlTraits { // item ID lists handed out by the shell
    static PIDLIST_ABSOLUTE Invalid() { return nullptr; }
    static bool Valid(PIDLIST_ABSOLUTE p) { return p != nullptr; }
    static void Close(PIDLIST_ABSOLUTE p) { sys::CoTaskMemFree(p); }
};

using UniqueHandle = UniqueWinHandle<HANDLE, KernelHandleTraits>;
using UniqueHKey = UniqueWinHandle<HKEY, RegKeyTraits>;
using UniqueHFont = UniqueWinHandle<HFONT, GdiObjectTraits<HFONT>>;
using UniqueHBrush = UniqueWinHandle<HBRUSH, GdiObjectTraits<HBRUSH>>;
using UniqueHPen = UniqueWinHandle<HPEN, GdiObjectTraits<HPEN>>;
using UniqueHBitmap = UniqueWinHandle<HBITMAP, GdiObjectTraits<HBITMAP>>;
using UniqueHRgn = UniqueWinHandle<HRGN, GdiObjectTraits<HRGN>>;
using UniqueMemDC = UniqueWinHandle<HDC, MemDcTraits>;
using UniqueHwnd = UniqueWinHandle<HWND, WindowTraits>;
using UniqueHModule = UniqueWinHandle<HMODULE, ModuleTraits>;
using UniquePidl = UniqueWinHandle<PIDLIST_ABSOLUTE, PidlTraits>;

// A DC obtained with GetDC, released with ReleaseDC for the same window.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) : FWnd(hwnd), FDC(GetDC(hwnd)) {}
    ~WindowDC() {
        if (FDC) ReleaseDC(FWnd, FDC);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC Get() const { return FDC; }

private:
    HWND FWnd;
    HDC FDC;
};

// Selects a GDI object into a DC and restores the previous one; owns neither.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ obj) : FDC(dc), FOld(dc && obj ? SelectObject(dc, obj) : nullptr) {}
    ~SelectGuard() {
        if (FDC && FOld) SelectObject(FDC, FOld);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOld;
};

#endif
