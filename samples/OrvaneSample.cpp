// Orvane sample screensaver: soft glowing lanterns drift over a night-blue sky while
// small fireflies rise between them. Plain Win32 and GDI: each frame is drawn into a
// 32-bit DIB section (the back buffer) on a timer and copied to the window in WM_PAINT,
// so nothing flickers and no toolkit is needed.
#include "ScrArgs.h"
#include "platform/uWinHandles.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace {

constexpr wchar_t kClassName[] = L"OrvaneSampleSaver";
constexpr wchar_t kTitle[] = L"Orvane サンプル";
constexpr UINT_PTR kFrameTimer = 1;
constexpr UINT kFrameMs = 30;
// The mouse may drift this far (pixels) before the saver ends: a desk bump or a sensor's
// jitter should not wake the screen.
constexpr int kMoveSlop = 4;
constexpr float kFadeInSeconds = 1.5f;
constexpr float kPi = 3.14159265f;

struct TRgb {
    float R, G, B;
};

// Soft, slightly desaturated hues: where glows overlap they add up to pastel light
// instead of clipping to white.
constexpr TRgb kLanternColors[] = {{80, 170, 255}, {150, 110, 255}, {255, 120, 200},
                                   {255, 180, 90}, {90, 230, 200},  {120, 140, 255}};
constexpr TRgb kFireflyColors[] = {{255, 225, 150}, {210, 240, 255}, {255, 200, 120}};

struct TLight {
    float X = 0, Y = 0;   // centre, pixels
    float VX = 0, VY = 0; // drift, pixels per second
    float Radius = 1;     // pixels
    float Phase = 0, Rate = 1;
    float Base = 0.5f, Depth = 0.1f; // brightness = Base + Depth * sin(Phase)
    float Turn = 0;                  // change of heading, radians per second
    TRgb Color{};
};

// Brightness over the squared distance from the centre (t = d²/r², 0..1, 256 steps): a
// wide soft halo plus a small bright core, zero at the rim so no edge shows.
struct TFalloff {
    float Value[257];
    TFalloff() {
        for (int i = 0; i <= 256; ++i) {
            float t = static_cast<float>(i) / 256.0f;
            float halo = (1 - t) * (1 - t) * (1 - t);
            float core = std::max(0.0f, 1 - 10 * t);
            Value[i] = 0.8f * halo + 0.4f * core * core;
        }
    }
};
const TFalloff kFalloff;

class TScene {
public:
    explicit TScene(std::uint32_t seed) : FRandom(seed) {}

    void Resize(int width, int height) {
        FWidth = std::max(1, width);
        FHeight = std::max(1, height);
        FTime = 0;
        BuildBackground();
        float area = static_cast<float>(FWidth) * static_cast<float>(FHeight);
        int lanterns = std::clamp(static_cast<int>(area / (320.0f * 320.0f) + 0.5f), 6, 22);
        FLanterns.assign(lanterns, TLight{});
        // Colours in turn from a random start: every screen shows the whole palette.
        auto first = std::uniform_int_distribution<std::size_t>(0, std::size(kLanternColors) - 1)(FRandom);
        for (std::size_t i = 0; i < FLanterns.size(); ++i) {
            SpawnLantern(FLanterns[i]);
            FLanterns[i].Color = kLanternColors[(first + i) % std::size(kLanternColors)];
        }
        FFireflies.assign(lanterns * 3, TLight{});
        for (auto& f : FFireflies) SpawnFirefly(f, true);
    }

    void Step(float dt) {
        FTime += dt;
        for (auto& l : FLanterns) {
            // Turn the heading a little: the paths curve gently instead of running straight.
            float a = l.Turn * dt, c = std::cos(a), s = std::sin(a);
            float vx = l.VX * c - l.VY * s;
            l.VY = l.VX * s + l.VY * c;
            l.VX = vx;
            if (Uniform(0, 1) < dt * 0.1f) l.Turn = -l.Turn;
            l.X += l.VX * dt;
            l.Y += l.VY * dt;
            l.Phase += l.Rate * dt;
            Wrap(l);
        }
        for (auto& f : FFireflies) {
            f.Phase += f.Rate * dt;
            f.X += (f.VX + std::sin(f.Phase * 0.7f) * f.Radius * 4) * dt;
            f.Y += f.VY * dt;
            if (f.Y < -f.Radius) SpawnFirefly(f, false);
        }
    }

    // Draws one frame into width*height BGRX pixels, top row first.
    void Render(std::uint32_t* pixels) const {
        std::memcpy(pixels, FBackground.data(), FBackground.size() * sizeof(std::uint32_t));
        float fade = std::min(1.0f, FTime / kFadeInSeconds);
        for (const auto& l : FLanterns) AddGlow(pixels, l, fade);
        for (const auto& f : FFireflies) AddGlow(pixels, f, fade);
    }

private:
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(FRandom); }
    float MinSide() const { return static_cast<float>(std::min(FWidth, FHeight)); }

    void BuildBackground() {
        FBackground.resize(static_cast<std::size_t>(FWidth) * static_cast<std::size_t>(FHeight));
        // Night sky: deep navy at the top, a little lighter and warmer towards the bottom.
        for (int y = 0; y < FHeight; ++y) {
            float t = static_cast<float>(y) / static_cast<float>(FHeight);
            auto r = static_cast<std::uint32_t>(6 + 16 * t * t);
            auto g = static_cast<std::uint32_t>(9 + 14 * t);
            auto b = static_cast<std::uint32_t>(26 + 24 * t);
            std::uint32_t px = b | (g << 8) | (r << 16);
            std::fill_n(FBackground.begin() + static_cast<std::ptrdiff_t>(y) * FWidth, FWidth, px);
        }
    }

    void SpawnLantern(TLight& l) {
        float side = MinSide();
        l.X = Uniform(0, static_cast<float>(FWidth));
        l.Y = Uniform(0, static_cast<float>(FHeight));
        l.Radius = std::max(4.0f, side * Uniform(0.08f, 0.22f));
        float speed = side * Uniform(0.015f, 0.04f), heading = Uniform(0, 2 * kPi);
        l.VX = speed * std::cos(heading);
        l.VY = speed * std::sin(heading);
        l.Turn = Uniform(0.05f, 0.2f) * (Uniform(0, 1) < 0.5f ? -1.0f : 1.0f);
        l.Phase = Uniform(0, 2 * kPi);
        l.Rate = Uniform(0.5f, 1.2f);
        l.Base = Uniform(0.5f, 0.7f);
        l.Depth = 0.15f;
    }

    // A firefly rises from below the bottom edge (or, at start, from anywhere).
    void SpawnFirefly(TLight& f, bool anywhere) {
        float side = MinSide();
        f.Radius = std::max(2.0f, side * Uniform(0.006f, 0.013f));
        f.X = Uniform(0, static_cast<float>(FWidth));
        f.Y = anywhere ? Uniform(0, static_cast<float>(FHeight)) : static_cast<float>(FHeight) + f.Radius;
        f.VX = side * Uniform(-0.01f, 0.01f);
        f.VY = -side * Uniform(0.02f, 0.06f);
        f.Phase = Uniform(0, 2 * kPi);
        f.Rate = Uniform(1.5f, 3.5f);
        f.Base = 0.55f;
        f.Depth = 0.35f;
        f.Color =
            kFireflyColors[std::uniform_int_distribution<int>(0, std::size(kFireflyColors) - 1)(FRandom)];
    }

    // Leaves on one side, comes back on the other, fully outside the screen in between.
    void Wrap(TLight& l) const {
        float w = static_cast<float>(FWidth), h = static_cast<float>(FHeight), r = l.Radius;
        if (l.X < -r) l.X += w + 2 * r;
        if (l.X > w + r) l.X -= w + 2 * r;
        if (l.Y < -r) l.Y += h + 2 * r;
        if (l.Y > h + r) l.Y -= h + 2 * r;
    }

    // Adds one light to the frame, channel by channel with saturation.
    void AddGlow(std::uint32_t* pixels, const TLight& l, float fade) const {
        float bright = std::max(0.0f, (l.Base + l.Depth * std::sin(l.Phase)) * fade);
        std::uint16_t lr[257], lg[257], lb[257];
        for (int i = 0; i <= 256; ++i) {
            float v = kFalloff.Value[i] * bright;
            lr[i] = static_cast<std::uint16_t>(std::min(255.0f, l.Color.R * v));
            lg[i] = static_cast<std::uint16_t>(std::min(255.0f, l.Color.G * v));
            lb[i] = static_cast<std::uint16_t>(std::min(255.0f, l.Color.B * v));
        }
        int cx = static_cast<int>(std::lround(l.X)), cy = static_cast<int>(std::lround(l.Y));
        int r = std::max(1, static_cast<int>(l.Radius));
        std::int64_t r2 = static_cast<std::int64_t>(r) * r;
        std::int64_t scale = (std::int64_t{256} << 16) / r2; // d² * scale >> 16 = table index
        int y0 = std::max(0, cy - r), y1 = std::min(FHeight - 1, cy + r);
        for (int y = y0; y <= y1; ++y) {
            std::int64_t dy2 = static_cast<std::int64_t>(y - cy) * (y - cy);
            int half = static_cast<int>(std::sqrt(static_cast<double>(r2 - dy2)));
            int x0 = std::max(0, cx - half), x1 = std::min(FWidth - 1, cx + half);
            std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * FWidth;
            for (int x = x0; x <= x1; ++x) {
                std::int64_t d2 = static_cast<std::int64_t>(x - cx) * (x - cx) + dy2;
                auto i = static_cast<std::size_t>(std::min<std::int64_t>(256, (d2 * scale) >> 16));
                std::uint32_t p = row[x];
                std::uint32_t b = std::min<std::uint32_t>(255, (p & 0xFF) + lb[i]);
                std::uint32_t g = std::min<std::uint32_t>(255, ((p >> 8) & 0xFF) + lg[i]);
                std::uint32_t rr = std::min<std::uint32_t>(255, ((p >> 16) & 0xFF) + lr[i]);
                row[x] = b | (g << 8) | (rr << 16);
            }
        }
    }

    int FWidth = 1, FHeight = 1;
    std::vector<std::uint32_t> FBackground;
    std::vector<TLight> FLanterns, FFireflies;
    std::mt19937 FRandom;
    float FTime = 0;
};

std::uint32_t Seed() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<std::uint32_t>(t.QuadPart) ^ GetCurrentProcessId() ^ GetTickCount();
}

// State of the one saver window (full screen or preview).
class TSaverWindow {
public:
    TSaverWindow(bool fullScreen, HWND previewParent)
        : FFullScreen(fullScreen), FPreviewParent(previewParent), FScene(Seed()) {}

    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* self = reinterpret_cast<TSaverWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
        // No C++ exception may unwind into the system's dispatcher: a failed allocation
        // ends the saver instead.
        try {
            return self->Handle(hwnd, msg, wp, lp);
        } catch (...) {
            PostQuitMessage(1);
            return DefWindowProcW(hwnd, msg, wp, lp);
        }
    }

private:
    LRESULT Handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        switch (msg) {
        case WM_CREATE: {
            RECT rc;
            GetClientRect(hwnd, &rc);
            Resize(rc.right - rc.left, rc.bottom - rc.top);
            QueryPerformanceFrequency(&FFrequency);
            QueryPerformanceCounter(&FLast);
            SetTimer(hwnd, kFrameTimer, kFrameMs, nullptr);
            return 0;
        }
        case WM_SIZE:
            if (LOWORD(lp) != FWidth || HIWORD(lp) != FHeight) Resize(LOWORD(lp), HIWORD(lp));
            return 0;
        case WM_TIMER:
            if (wp == kFrameTimer) NextFrame(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1; // every pixel is painted from the back buffer
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (FMemDC) BitBlt(dc, 0, 0, FWidth, FHeight, FMemDC.Get(), 0, 0, SRCCOPY);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_DESTROY:
            KillTimer(hwnd, kFrameTimer);
            PostQuitMessage(0);
            return 0;
        default:
            break;
        }
        if (FFullScreen) {
            if (auto r = HandleFullScreenInput(hwnd, msg, wp, lp)) return *r;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    // Any key, any button, a real mouse movement or losing the foreground ends the saver.
    std::optional<LRESULT> HandleFullScreenInput(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        switch (msg) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_XBUTTONDOWN:
        case WM_MOUSEWHEEL:
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            return 0;
        case WM_MOUSEMOVE: {
            // The first WM_MOUSEMOVE arrives when the window appears under the cursor:
            // it only sets the reference point.
            POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            if (!FHaveMouse) {
                FFirstMouse = p;
                FHaveMouse = true;
            } else if (std::abs(p.x - FFirstMouse.x) > kMoveSlop ||
                       std::abs(p.y - FFirstMouse.y) > kMoveSlop) {
                PostMessageW(hwnd, WM_CLOSE, 0, 0);
            }
            return 0;
        }
        case WM_ACTIVATEAPP:
            if (!wp) PostMessageW(hwnd, WM_CLOSE, 0, 0);
            return 0;
        case WM_SETCURSOR:
            SetCursor(nullptr);
            return TRUE;
        case WM_SYSCOMMAND:
            // The system asks to start a screensaver while this one runs: nothing to do.
            if ((wp & 0xFFF0) == SC_SCREENSAVE) return 0;
            return std::nullopt;
        default:
            return std::nullopt;
        }
    }

    void Resize(int width, int height) {
        FWidth = std::max(1, width);
        FHeight = std::max(1, height);
        FSelect.reset();
        FBitmap.Reset();
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = FWidth;
        bi.bmiHeader.biHeight = -FHeight; // top-down rows
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        FBitmap.Reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        FBits = FBitmap ? static_cast<std::uint32_t*>(bits) : nullptr;
        if (!FMemDC) FMemDC.Reset(CreateCompatibleDC(nullptr));
        if (FMemDC && FBitmap) FSelect = std::make_unique<SelectGuard>(FMemDC.Get(), FBitmap.Get());
        FScene.Resize(FWidth, FHeight);
        if (FBits) FScene.Render(FBits);
    }

    void NextFrame(HWND hwnd) {
        // The preview's host window may go away without destroying this child first
        // (another process owns it): stop when it is gone.
        if (FPreviewParent && !IsWindow(FPreviewParent)) {
            DestroyWindow(hwnd);
            return;
        }
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        float dt =
            static_cast<float>(now.QuadPart - FLast.QuadPart) / static_cast<float>(FFrequency.QuadPart);
        FLast = now;
        FScene.Step(std::clamp(dt, 0.0f, 0.1f)); // after a stall, resume smoothly
        if (!FBits) return;
        GdiFlush(); // the DIB's memory is shared with GDI: finish pending drawing first
        FScene.Render(FBits);
        InvalidateRect(hwnd, nullptr, FALSE);
    }

    bool FFullScreen;
    HWND FPreviewParent;
    TScene FScene;
    int FWidth = 0, FHeight = 0;
    UniqueMemDC FMemDC;
    UniqueHBitmap FBitmap;
    std::unique_ptr<SelectGuard> FSelect; // declared after the DC and bitmap: released first
    std::uint32_t* FBits = nullptr;
    LARGE_INTEGER FFrequency{}, FLast{};
    POINT FFirstMouse{};
    bool FHaveMouse = false;
};

bool RegisterSaverClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = TSaverWindow::Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = nullptr; // painted entirely from the back buffer
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0;
}

int RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int RunFullScreen(HINSTANCE instance) {
    TSaverWindow saver(true, nullptr);
    // One window over all monitors: the virtual screen may start left of or above (0, 0).
    int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int cx = GetSystemMetrics(SM_CXVIRTUALSCREEN), cy = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    HWND hwnd = CreateWindowExW(WS_EX_TOPMOST, kClassName, kTitle, WS_POPUP | WS_VISIBLE, x, y, cx, cy,
                                nullptr, nullptr, instance, &saver);
    if (!hwnd) return 1;
    SetForegroundWindow(hwnd);
    return RunMessageLoop();
}

int RunPreview(HINSTANCE instance, HWND parent) {
    if (!parent || !IsWindow(parent)) return 1;
    TSaverWindow saver(false, parent);
    RECT rc{};
    GetClientRect(parent, &rc);
    HWND hwnd = CreateWindowExW(0, kClassName, kTitle, WS_CHILD | WS_VISIBLE, 0, 0, rc.right - rc.left,
                                rc.bottom - rc.top, parent, nullptr, instance, &saver);
    if (!hwnd) return 1;
    return RunMessageLoop();
}

int RunSettings(HWND owner) {
    if (owner && !IsWindow(owner)) owner = nullptr;
    MessageBoxW(owner,
                L"Orvane サンプル スクリーンセーバー\n\n"
                L"夜空を柔らかな光がゆっくりと漂い、小さな蛍が舞い上がります。\n"
                L"このスクリーンセーバーには変更できる設定はありません。\n\n"
                L"キーを押すか、マウスを動かすと終了します。",
                kTitle, MB_OK | MB_ICONINFORMATION);
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Full screen must cover physical pixels, not a scaled-up virtual resolution.
    SetProcessDPIAware();
    TScrArgs args = ParseScrArgs(SkipProgramName(GetCommandLineW()));
    HWND window = reinterpret_cast<HWND>(args.Window);
    switch (args.Mode) {
    case TScrMode::Settings:
        return RunSettings(window);
    case TScrMode::Password:
        return 0; // only Windows 9x asked screensavers for passwords
    case TScrMode::Saver:
    case TScrMode::Preview:
        break;
    }
    if (!RegisterSaverClass(instance)) return 1;
    return args.Mode == TScrMode::Saver ? RunFullScreen(instance) : RunPreview(instance, window);
}
