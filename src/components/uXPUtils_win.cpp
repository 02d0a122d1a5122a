#include "components/uXPUtils.h"

#include "platform/uSysApi.h"
#include "store/uText.h"
#include "toolkit/uControls.h"

#include <windows.h>

namespace {

// An opened theme of the "BUTTON" class, closed when it goes.
class ButtonTheme {
public:
    explicit ButtonTheme(HWND control) : FTheme(sys::OpenThemeData(control, L"BUTTON")) {}
    ~ButtonTheme() {
        if (FTheme) sys::CloseThemeData(FTheme);
    }
    ButtonTheme(const ButtonTheme&) = delete;
    ButtonTheme& operator=(const ButtonTheme&) = delete;
    HTHEME Get() const { return FTheme; }

private:
    HTHEME FTheme;
};

// The width of one image of the system check-box bitmap (four images side by side).
int CheckBoxWidth() {
    static const int width = [] {
        HBITMAP bmp = LoadBitmapW(nullptr, MAKEINTRESOURCEW(32759 /* OBM_CHECKBOXES */));
        BITMAP info{};
        int w = 13;
        if (bmp && GetObjectW(bmp, sizeof info, &info)) w = info.bmWidth / 4;
        if (bmp) DeleteObject(bmp);
        return w;
    }();
    return width;
}

HWND Hwnd(const TControl& c) {
    return static_cast<HWND>(c.Handle());
}

} // namespace

bool VisualStylesActive() {
    return sys::IsAppThemed() && sys::IsThemeActive() && sys::ComCtl32MajorVersion() >= 6;
}

int ThemePartState(const TControl& c, int part) {
    HWND control = Hwnd(c);
    TThemePartInput in;
    POINT pt;
    RECT client;
    GetCursorPos(&pt);
    ScreenToClient(control, &pt);
    GetClientRect(control, &client);
    in.Hot = PtInRect(&client, pt) != FALSE;
    const LRESULT state = SendMessageW(control, BM_GETSTATE, 0, 0);
    in.Pressed = (state & BST_PUSHED) != 0;
    in.Disabled = !IsWindowEnabled(control);
    if (auto* b = dynamic_cast<const TButton*>(&c)) in.Default = b->Default();
    const LRESULT check = SendMessageW(control, BM_GETCHECK, 0, 0);
    in.Checked = check != BST_UNCHECKED;
    in.Grayed = check == BST_INDETERMINATE;
    return ThemePartState(part, in);
}

void DrawThemedParentBackground(const TControl& c, HDC dc, const RECT& rect) {
    HWND control = Hwnd(c);
    // A panel does not paint a themed background of its own: the outermost panel of the
    // chain stands for what is behind the control.
    HWND outer = nullptr;
    for (const TControl* p = c.Parent(); p && dynamic_cast<const TPanel*>(p) && p->Handle(); p = p->Parent())
        outer = Hwnd(*p);
    if (!outer) {
        RECT r = rect;
        sys::DrawThemeParentBackground(control, dc, &r);
        return;
    }
    // DrawThemeParentBackground places the DC at the panel's own position in its parent;
    // the control's offset inside the panel is added here.
    POINT at{0, 0};
    MapWindowPoints(control, outer, &at, 1);
    POINT old;
    OffsetViewportOrgEx(dc, -at.x, -at.y, &old);
    RECT r = rect;
    OffsetRect(&r, at.x, at.y);
    sys::DrawThemeParentBackground(outer, dc, &r);
    SetViewportOrgEx(dc, old.x, old.y, nullptr);
}

void DrawThemedFace(const TControl& c, HDC dc, int part) {
    ButtonTheme theme(Hwnd(c));
    if (!theme.Get()) return;
    RECT r;
    GetClientRect(Hwnd(c), &r);
    if (part == tbpRadioButton || part == tbpCheckBox) r.right = r.left + CheckBoxWidth();
    DrawThemedParentBackground(c, dc, r);
    sys::DrawThemeBackground(theme.Get(), dc, part, ThemePartState(c, part), &r, nullptr);
}

void DrawThemedText(const TControl& c, HDC dc, int part, const std::string& text, const RECT& rect) {
    ButtonTheme theme(Hwnd(c));
    if (!theme.Get()) return;
    const int state = ThemePartState(c, part);
    RECT content;
    if (FAILED(sys::GetThemeBackgroundContentRect(theme.Get(), dc, part, state, &rect, &content))) return;
    const std::wstring wide = ToWide(text);
    sys::DrawThemeText(theme.Get(), dc, part, state, wide.c_str(), static_cast<int>(wide.size()),
                       DT_SINGLELINE, 0, &rect);
}
