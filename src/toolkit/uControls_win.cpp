// The native side of the controls: one window procedure for every window the toolkit
// creates (its own classes and the system controls it derives from), fonts, colours,
// forms and the message loop.
#include "platform/uSysApi.h"
#include "platform/uWinHandles.h"
#include "store/uText.h"
#include "toolkit/uForms.h"

#include <windows.h>

#include <commctrl.h>

#include <forward_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct TControl::TNative {
    UniqueHBrush Brush;
    COLORREF BrushColor = 0;
};

void TControl::TNativeDeleter::operator()(TNative* n) const {
    delete n;
}

// The trampoline's access to a control's handle.
struct TControlAccess {
    static void SetHandle(TControl* c, HWND h) { c->FHandle = h; }
    static TControl::TNative& Native(TControl* c) {
        if (!c->FNative) c->FNative.reset(new TControl::TNative);
        return *c->FNative;
    }
};

namespace {

LRESULT CALLBACK ToolkitWndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp);

// Class atom -> the window procedure of the class it was derived from.
std::map<ATOM, WNDPROC>& BaseProcs() {
    static std::map<ATOM, WNDPROC> procs;
    return procs;
}

WNDPROC BaseProcOf(HWND h) {
    auto atom = static_cast<ATOM>(GetClassLongPtrW(h, GCW_ATOM));
    auto it = BaseProcs().find(atom);
    return it != BaseProcs().end() ? it->second : DefWindowProcW;
}

// Registers our class, derived from a system class (superclassing) or our own.
void EnsureClass(const std::wstring& name, const wchar_t* base) {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSEXW probe{};
    probe.cbSize = sizeof probe;
    if (GetClassInfoExW(inst, name.c_str(), &probe)) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    WNDPROC baseProc = DefWindowProcW;
    if (base) {
        if (!GetClassInfoExW(nullptr, base, &wc)) throw EComponentError("Window class not available");
        baseProc = wc.lpfnWndProc;
        wc.cbSize = sizeof wc;
    } else {
        wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    }
    wc.lpfnWndProc = ToolkitWndProc;
    wc.hInstance = inst;
    wc.lpszClassName = name.c_str();
    wc.style &= ~static_cast<UINT>(CS_GLOBALCLASS);
    ATOM atom = RegisterClassExW(&wc);
    if (!atom) throw EComponentError("Cannot register window class");
    BaseProcs()[atom] = baseProc;
}

// The control behind a window of one of our classes, or null.
TControl* FromHandle(HWND h) {
    if (!h) return nullptr;
    auto atom = static_cast<ATOM>(GetClassLongPtrW(h, GCW_ATOM));
    if (!BaseProcs().count(atom)) return nullptr;
    return reinterpret_cast<TControl*>(GetWindowLongPtrW(h, GWLP_USERDATA));
}

// The one window procedure. The object pointer arrives with WM_NCCREATE; no exception
// leaves this function: the application's handler reports it.
LRESULT CALLBACK ToolkitWndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto* c = reinterpret_cast<TControl*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (msg == WM_NCCREATE && !c) {
        c = static_cast<TControl*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        if (c) {
            SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(c));
            TControlAccess::SetHandle(c, h);
        }
    }
    if (!c) return CallWindowProcW(BaseProcOf(h), h, msg, wp, lp);
    LRESULT result = 0;
    try {
        result = c->WndProc(msg, wp, lp);
    } catch (...) {
        Application.HandleException(std::current_exception());
        if (msg == WM_NCDESTROY) CallWindowProcW(BaseProcOf(h), h, msg, wp, lp);
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        TControlAccess::SetHandle(c, nullptr);
    }
    return result;
}

COLORREF ColorRef(TColor c) {
    if ((c & kSysColorFlag) == kSysColorFlag) return GetSysColor(c & 0xFF);
    return static_cast<COLORREF>(c & 0xFFFFFF);
}

HWND H(void* p) {
    return static_cast<HWND>(p);
}

void DispatchOne(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    // Tab, Escape, Enter and accelerators work in our forms as in dialogs.
    if (root && FromHandle(root) && IsDialogMessageW(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void FormStyles(const TForm& f, DWORD& style, DWORD& ex) {
    style = WS_CLIPCHILDREN;
    ex = WS_EX_CONTROLPARENT;
    bool caption = true;
    switch (f.BorderStyle()) {
    case TFormBorderStyle::bsNone:
        style |= WS_POPUP;
        caption = false;
        break;
    case TFormBorderStyle::bsSingle:
        style |= WS_BORDER;
        break;
    case TFormBorderStyle::bsSizeable:
        style |= WS_THICKFRAME;
        break;
    case TFormBorderStyle::bsDialog:
        style |= WS_POPUP | DS_MODALFRAME;
        ex |= WS_EX_DLGMODALFRAME;
        break;
    case TFormBorderStyle::bsToolWindow:
        ex |= WS_EX_TOOLWINDOW;
        break;
    case TFormBorderStyle::bsSizeToolWin:
        style |= WS_THICKFRAME;
        ex |= WS_EX_TOOLWINDOW;
        break;
    }
    if (caption) {
        style |= WS_CAPTION;
        if (f.BorderIcons() & biSystemMenu) {
            style |= WS_SYSMENU;
            if (f.BorderStyle() != TFormBorderStyle::bsDialog) {
                if (f.BorderIcons() & biMinimize) style |= WS_MINIMIZEBOX;
                if (f.BorderIcons() & biMaximize) style |= WS_MAXIMIZEBOX;
            }
        }
    }
    if (f.FormStyle() == TFormStyle::fsStayOnTop) ex |= WS_EX_TOPMOST;
    style |= f.ExtraStyle;
}

} // namespace

namespace {
int gDpi = 0; // 0: not asked yet
} // namespace

int ScreenDpi() {
    if (gDpi == 0) {
        WindowDC dc(nullptr);
        const int v = dc.Get() ? GetDeviceCaps(dc.Get(), LOGPIXELSY) : 96;
        gDpi = v > 0 ? v : 96;
    }
    return gDpi;
}

void SetScreenDpi(int dpi) {
    if (dpi > 0) gDpi = dpi;
}

namespace {
// The common controls' classes the toolkit uses (the visual-style controls of the manifest),
// registered once, before the first window: not loaded by a run that shows none.
void CommonControlsNeeded() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    sys::InitCommonControlsEx(&icc);
}

bool FontInstalled(const std::wstring& face, BYTE charset) {
    WindowDC dc(nullptr);
    if (!dc.Get()) return true;
    LOGFONTW lf{};
    lf.lfCharSet = charset;
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExW(
        dc.Get(), &lf,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM p) -> int {
            *reinterpret_cast<bool*>(p) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// The face to create for a designed face name. When a Japanese face is missing (a system
// without the Japanese fonts, or Wine), the font mapper would take any face that has the
// character set, possibly one without Latin letters; a list of Japanese UI faces that
// cover both is tried first.
std::wstring ResolveFace(const std::string& name, BYTE charset) {
    static std::vector<std::pair<std::string, std::wstring>> cache;
    for (const auto& [designed, face] : cache)
        if (designed == name) return face;
    std::wstring face = ToWide(name);
    if (charset == SHIFTJIS_CHARSET && !FontInstalled(face, charset)) {
        for (const wchar_t* candidate :
             {L"Meiryo UI", L"Yu Gothic UI", L"MS PGothic", L"MS Gothic", L"IPAPGothic", L"IPAGothic",
              L"VL PGothic", L"Noto Sans CJK JP", L"TakaoPGothic"}) {
            if (FontInstalled(candidate, charset)) {
                face = candidate;
                break;
            }
        }
    }
    cache.emplace_back(name, face);
    return face;
}

// One font object per face, size, weight and character set, shared by every control that
// shows it (a page's controls mostly share one): created at its first use and kept to the
// end of the program (a few objects: one per style and screen DPI). Only the GUI thread
// creates controls.
HFONT MakeFont(const TFontStyle& f, int pixelHeight) {
    struct TShared {
        std::string Name;
        bool Bold;
        std::int32_t Charset;
        int PixelHeight;
        UniqueHFont Font;
    };
    static std::forward_list<TShared> fonts;
    for (const TShared& e : fonts)
        if (e.PixelHeight == pixelHeight && e.Name == f.Name && e.Bold == f.Bold && e.Charset == f.Charset)
            return e.Font.Get();
    const BYTE charset = static_cast<BYTE>(f.Charset);
    return fonts
        .emplace_front(
            f.Name, f.Bold, f.Charset, pixelHeight,
            UniqueHFont(CreateFontW(-pixelHeight, 0, 0, 0, f.Bold ? FW_BOLD : FW_NORMAL, 0, 0, 0, charset,
                                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                    DEFAULT_PITCH | FF_DONTCARE, ResolveFace(f.Name, charset).c_str())))
        .Font.Get();
}
} // namespace

bool MeasureText(const TFontStyle& font, const std::string& text, std::int32_t& width, std::int32_t& height) {
    WindowDC dc(nullptr);
    if (!dc.Get()) return false;
    const int dpi = ScreenDpi();
    HGDIOBJ old = SelectObject(dc.Get(), MakeFont(font, MulDiv(font.Height, dpi, 96)));
    // An empty text still has the height of one line, as the label draws it.
    std::wstring w = text.empty() ? std::wstring(L" ") : ToWide(text);
    RECT r{0, 0, 0, 0};
    int ok = DrawTextW(dc.Get(), w.c_str(), static_cast<int>(w.size()), &r, DT_CALCRECT | DT_EXPANDTABS);
    SelectObject(dc.Get(), old);
    if (!ok) return false;
    // Back to designed pixels, rounding up so that the text is never cut.
    width = text.empty() ? 0 : (r.right * 96 + dpi - 1) / dpi;
    height = (r.bottom * 96 + dpi - 1) / dpi;
    return true;
}

// ---- TControl ----

void TControl::HandleNeeded() {
    if (FHandle) return;
    if (FParent) {
        FParent->HandleNeeded();
        if (FParent->FHandle && !FHandle) CreateHandle();
    } else if (dynamic_cast<TForm*>(this)) {
        CreateHandle();
    }
}

void TControl::DestroyHandle() {
    if (!FHandle) return;
    HWND h = H(FHandle);
    // This object leaves the window first, so nothing is dispatched to it while it may be
    // half destroyed; the children's windows still report their own end.
    SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    FHandle = nullptr;
    DestroyWindow(h);
    FNative.reset();
}

void TControl::Invalidate() {
    if (FHandle) InvalidateRect(H(FHandle), nullptr, TRUE);
}

std::intptr_t TControl::WndProc(unsigned msg, std::uintptr_t wp, std::intptr_t lp) {
    HWND h = H(FHandle);
    if (msg == WM_SETCURSOR && FCursor != TCursor::crDefault && reinterpret_cast<HWND>(wp) == h &&
        LOWORD(lp) == HTCLIENT) {
        static const LPCWSTR kIds[] = {IDC_ARROW, IDC_ARROW, IDC_HAND, IDC_IBEAM, IDC_WAIT};
        ::SetCursor(LoadCursorW(nullptr, kIds[static_cast<int>(FCursor)]));
        return TRUE;
    }
    return CallWindowProcW(BaseProcOf(h), h, msg, wp, lp);
}

void TControl::DpiChanged() {
    if (!FHandle) return;
    AdjustSize();
    ApplyChange(TChange::Font);
    ApplyChange(TChange::Bounds);
    if (auto* parent = dynamic_cast<TWinControl*>(this))
        for (TControl* c : parent->Controls()) c->DpiChanged();
    InvalidateRect(H(FHandle), nullptr, TRUE);
}

void TControl::CreateParams(TCreateParams& p) {
    p.ClassName = ToWide(ClassName());
    p.BaseClass = nullptr;
    p.Style = WS_CHILD | WS_CLIPSIBLINGS;
}

void TControl::CreateHandle() {
    if (!FParent || !FParent->FHandle) return;
    TCreateParams p;
    CreateParams(p);
    EnsureClass(p.ClassName, p.BaseClass);
    DWORD style = p.Style | WS_CHILD | WS_CLIPSIBLINGS;
    if (FVisible) style |= WS_VISIBLE;
    if (!FEnabled) style |= WS_DISABLED;
    // The text goes in after the font: an edit control lays its text out on either, and
    // Japanese text laid out in the system font first costs a memo a few milliseconds.
    HWND h = CreateWindowExW(p.ExStyle, p.ClassName.c_str(), L"", style, Scale(FLeft), Scale(FTop),
                             Scale(FWidth), Scale(FHeight), H(FParent->FHandle),
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId())),
                             GetModuleHandleW(nullptr), this);
    if (!h) throw EComponentError("Cannot create the window of " + Name());
    FHandle = h;
    ApplyChange(TChange::Font);
    if (!Text().empty()) ApplyChange(TChange::Text);
    ApplyChange(TChange::State);
}

void TControl::ApplyChange(TChange what) {
    HWND h = H(FHandle);
    switch (what) {
    case TChange::Bounds:
        SetWindowPos(h, nullptr, Scale(FLeft), Scale(FTop), Scale(FWidth), Scale(FHeight),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    case TChange::Text:
        SetWindowTextW(h, ToWide(Text()).c_str());
        break;
    case TChange::Visible:
        ShowWindow(h, FVisible ? SW_SHOWNA : SW_HIDE);
        break;
    case TChange::Enabled:
        EnableWindow(h, FEnabled);
        break;
    case TChange::Color:
        InvalidateRect(h, nullptr, TRUE);
        break;
    case TChange::Font: {
        SendMessageW(h, WM_SETFONT,
                     reinterpret_cast<WPARAM>(MakeFont(EffectiveFont(), Scale(EffectiveFont().Height))),
                     TRUE);
        break;
    }
    case TChange::Style: {
        HWND parent = FParent ? H(FParent->FHandle) : nullptr;
        if (parent && GetParent(h) != parent) ::SetParent(h, parent);
        TCreateParams p;
        CreateParams(p);
        DWORD style =
            p.Style | WS_CHILD | WS_CLIPSIBLINGS | (FVisible ? WS_VISIBLE : 0) | (FEnabled ? 0 : WS_DISABLED);
        SetWindowLongPtrW(h, GWL_STYLE, static_cast<LONG_PTR>(style));
        SetWindowLongPtrW(h, GWL_EXSTYLE, static_cast<LONG_PTR>(p.ExStyle));
        SetWindowPos(h, nullptr, Scale(FLeft), Scale(FTop), Scale(FWidth), Scale(FHeight),
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        InvalidateRect(h, nullptr, TRUE);
        break;
    }
    case TChange::State:
        break;
    }
}

std::intptr_t TControl::CtlColor(void* dc) {
    auto hdc = static_cast<HDC>(dc);
    COLORREF color = ColorRef(PaintColor());
    SetTextColor(hdc, ColorRef(PaintTextColor()));
    SetBkColor(hdc, color);
    auto& n = TControlAccess::Native(this);
    if (!n.Brush || n.BrushColor != color) {
        n.Brush.Reset(CreateSolidBrush(color));
        n.BrushColor = color;
    }
    return reinterpret_cast<std::intptr_t>(n.Brush.Get());
}

// ---- TWinControl ----

void TWinControl::CreateHandle() {
    TControl::CreateHandle();
    if (!FHandle) return;
    for (TControl* c : FControls)
        if (!c->FHandle) c->CreateHandle();
}

std::intptr_t TWinControl::WndProc(unsigned msg, std::uintptr_t wp, std::intptr_t lp) {
    switch (msg) {
    case WM_COMMAND:
        if (lp) {
            if (TControl* c = FromHandle(reinterpret_cast<HWND>(lp))) {
                c->CommandNotify(HIWORD(wp));
                return 0;
            }
        }
        break;
    case WM_DRAWITEM: {
        // Owner-drawn children paint themselves.
        const auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (dis->CtlType != ODT_MENU)
            if (TControl* c = FromHandle(dis->hwndItem)) return c->WndProc(kMsgReflect + msg, wp, lp);
        break;
    }
    case WM_MEASUREITEM: {
        const auto* mis = reinterpret_cast<const MEASUREITEMSTRUCT*>(lp);
        if (mis->CtlType != ODT_MENU)
            if (TControl* c = FromHandle(GetDlgItem(H(FHandle), static_cast<int>(mis->CtlID))))
                return c->WndProc(kMsgReflect + msg, wp, lp);
        break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
        if (TControl* c = FromHandle(reinterpret_cast<HWND>(lp)))
            return c->CtlColor(reinterpret_cast<HDC>(wp));
        break;
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(H(FHandle), &r);
        auto brush = reinterpret_cast<HBRUSH>(CtlColor(reinterpret_cast<HDC>(wp)));
        FillRect(reinterpret_cast<HDC>(wp), &r, brush);
        return 1;
    }
    }
    return TControl::WndProc(msg, wp, lp);
}

// ---- the concrete controls ----

void TPanel::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    p.Style |= WS_CLIPCHILDREN;
    p.ExStyle |= WS_EX_CONTROLPARENT;
}

std::intptr_t TPanel::WndProc(unsigned msg, std::uintptr_t wp, std::intptr_t lp) {
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(H(FHandle), &ps);
        if (FBevelOuter) {
            RECT r;
            GetClientRect(H(FHandle), &r);
            DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
        }
        EndPaint(H(FHandle), &ps);
        return 0;
    }
    return TWinControl::WndProc(msg, wp, lp);
}

void TButton::CreateParams(TCreateParams& p) {
    TControl::CreateParams(p);
    p.BaseClass = L"BUTTON";
    p.Style |= WS_TABSTOP | (FDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
}

void TButton::ApplyChange(TChange what) {
    if (what == TChange::State)
        SendMessageW(H(FHandle), BM_SETSTYLE, FDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    else
        TControl::ApplyChange(what);
}

void TCheckBox::CreateParams(TCreateParams& p) {
    TControl::CreateParams(p);
    p.BaseClass = L"BUTTON";
    p.Style |= WS_TABSTOP | BS_CHECKBOX;
}

void TCheckBox::ApplyChange(TChange what) {
    if (what == TChange::State)
        SendMessageW(H(FHandle), BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
    else
        TControl::ApplyChange(what);
}

void TRadioButton::CreateParams(TCreateParams& p) {
    TControl::CreateParams(p);
    p.BaseClass = L"BUTTON";
    p.Style |= WS_TABSTOP | BS_RADIOBUTTON;
}

void TEdit::CreateParams(TCreateParams& p) {
    TControl::CreateParams(p);
    p.BaseClass = L"EDIT";
    p.Style |= WS_TABSTOP | ES_AUTOHSCROLL | (FReadOnly ? ES_READONLY : 0);
    p.ExStyle |= WS_EX_CLIENTEDGE;
}

void TEdit::ApplyChange(TChange what) {
    if (what == TChange::State)
        SendMessageW(H(FHandle), EM_SETREADONLY, FReadOnly, 0);
    else if (what != TChange::Text || !FSyncing)
        TControl::ApplyChange(what);
}

std::intptr_t TEdit::CtlColor(void* dc) {
    return TControl::CtlColor(dc);
}

namespace {
std::string WindowText(HWND h) {
    int n = GetWindowTextLengthW(h);
    std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
    n = GetWindowTextW(h, w.data(), n + 1);
    w.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return FromWide(w);
}
} // namespace

void TEdit::CommandNotify(int code) {
    if (code != EN_CHANGE) return;
    FSyncing = true;
    try {
        TakeWindowText(WindowText(H(FHandle)));
    } catch (...) {
        FSyncing = false;
        throw;
    }
    FSyncing = false;
    if (OnChange) OnChange(this);
}

void TMemo::CreateParams(TCreateParams& p) {
    TEdit::CreateParams(p);
    p.Style &= ~static_cast<std::uint32_t>(ES_AUTOHSCROLL);
    p.Style |= ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL;
    if (FScrollBars == TScrollStyle::ssVertical || FScrollBars == TScrollStyle::ssBoth) p.Style |= WS_VSCROLL;
    if (FScrollBars == TScrollStyle::ssHorizontal || FScrollBars == TScrollStyle::ssBoth)
        p.Style |= WS_HSCROLL | ES_AUTOHSCROLL;
    if (!FBorder) p.ExStyle &= ~static_cast<std::uint32_t>(WS_EX_CLIENTEDGE);
}

void TLabel::CreateParams(TCreateParams& p) {
    TControl::CreateParams(p);
    p.BaseClass = L"STATIC";
    p.Style |= SS_LEFT;
}

void TProgressBar::CreateParams(TCreateParams& p) {
    TControl::CreateParams(p);
    CommonControlsNeeded();
    p.BaseClass = PROGRESS_CLASSW;
    if (FSmooth) p.Style |= PBS_SMOOTH;
}

void TProgressBar::ApplyChange(TChange what) {
    if (what != TChange::State) return TControl::ApplyChange(what);
    HWND h = H(FHandle);
    SendMessageW(h, PBM_SETRANGE32, static_cast<WPARAM>(FMin), FMax);
    SendMessageW(h, PBM_SETSTEP, static_cast<WPARAM>(FStep), 0);
    SendMessageW(h, PBM_SETPOS, static_cast<WPARAM>(FPosition), 0);
}

void TBevel::CreateParams(TCreateParams& p) {
    TControl::CreateParams(p);
    p.BaseClass = L"STATIC";
    switch (FShape) {
    case TBevelShape::bsTopLine:
    case TBevelShape::bsBottomLine:
        p.Style |= SS_ETCHEDHORZ;
        break;
    case TBevelShape::bsLeftLine:
    case TBevelShape::bsRightLine:
        p.Style |= SS_ETCHEDVERT;
        break;
    case TBevelShape::bsSpacer:
        break;
    default:
        p.Style |= SS_ETCHEDFRAME;
        break;
    }
}

void TBevel::DpiChanged() {
    if (!Handle()) return;
    // In its old place among its siblings, so painting and tab order stay as they were.
    HWND before = GetWindow(H(Handle()), GW_HWNDPREV);
    DestroyHandle();
    CreateHandle();
    if (Handle())
        SetWindowPos(H(Handle()), before ? before : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// ---- TForm ----

void TForm::CreateParams(TCreateParams& p) {
    p.ClassName = ToWide(ClassName());
    p.BaseClass = nullptr;
    DWORD style, ex;
    FormStyles(*this, style, ex);
    p.Style = style;
    p.ExStyle = ex;
}

namespace {
// Posted to a form by Show for its AfterFirstPaint work.
constexpr UINT kMsgAfterFirstPaint = WM_APP + 0x100;

// The outer rectangle for a client size, for the form's styles.
RECT OuterRect(const TForm& f, int clientW, int clientH) {
    DWORD style, ex;
    FormStyles(f, style, ex);
    RECT r{0, 0, clientW, clientH};
    AdjustWindowRectEx(&r, style, FALSE, ex);
    return r;
}
// The window of the first control up the owner chain: a form's owner window.
HWND OwnerWindow(const TComponent* c) {
    for (const TComponent* o = c->Owner(); o; o = o->Owner())
        if (auto* ctl = dynamic_cast<const TControl*>(o); ctl && ctl->Handle())
            return GetAncestor(H(ctl->Handle()), GA_ROOT);
    return nullptr;
}
} // namespace

namespace {
void ReadHighContrast() {
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    SetHighContrast(SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) &&
                    (hc.dwFlags & HCF_HIGHCONTRASTON) != 0);
}
} // namespace

void TForm::CreateHandle() {
    CommonControlsNeeded();
    ReadHighContrast();
    TCreateParams p;
    CreateParams(p);
    EnsureClass(p.ClassName, nullptr);
    RECT r = OuterRect(*this, Scale(Width()), Scale(Height()));
    HWND h = CreateWindowExW(p.ExStyle, p.ClassName.c_str(), ToWide(Text()).c_str(), p.Style, Scale(Left()),
                             Scale(Top()), r.right - r.left, r.bottom - r.top, OwnerWindow(this), nullptr,
                             GetModuleHandleW(nullptr), static_cast<TControl*>(this));
    if (!h) throw EComponentError("Cannot create the window of " + Name());
    FHandle = h;
    TControl::ApplyChange(TChange::Font);
    for (TControl* c : Controls())
        if (!c->Handle()) c->HandleNeeded();
    if (Visible()) ShowWindow(h, SW_SHOW);
}

void TForm::ApplyChange(TChange what) {
    HWND h = H(FHandle);
    switch (what) {
    case TChange::Bounds: {
        RECT r = OuterRect(*this, Scale(Width()), Scale(Height()));
        SetWindowPos(h, nullptr, Scale(Left()), Scale(Top()), r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    }
    case TChange::Visible:
        ShowWindow(h, Visible() ? SW_SHOW : SW_HIDE);
        break;
    case TChange::Style: {
        DWORD style, ex;
        FormStyles(*this, style, ex);
        if (Visible()) style |= WS_VISIBLE;
        SetWindowLongPtrW(h, GWL_STYLE, static_cast<LONG_PTR>(style));
        SetWindowLongPtrW(h, GWL_EXSTYLE, static_cast<LONG_PTR>(ex));
        RECT r = OuterRect(*this, Scale(Width()), Scale(Height()));
        SetWindowPos(h, FormStyle() == TFormStyle::fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0,
                     r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        break;
    }
    default:
        TControl::ApplyChange(what);
        break;
    }
}

void TForm::OuterSize(std::int32_t& width, std::int32_t& height) const {
    if (!Handle()) {
        RECT r = OuterRect(*this, Width(), Height());
        width = r.right - r.left;
        height = r.bottom - r.top;
        return;
    }
    RECT r;
    GetWindowRect(H(Handle()), &r);
    width = MulDiv(r.right - r.left, 96, ScreenDpi());
    height = MulDiv(r.bottom - r.top, 96, ScreenDpi());
}

void TForm::Show() {
    HandleNeeded();
    if (FPosition == TPosition::poScreenCenter && !FCentered) {
        FCentered = true;
        std::int32_t w, h;
        OuterSize(w, h);
        std::int32_t sw = MulDiv(GetSystemMetrics(SM_CXSCREEN), 96, ScreenDpi());
        std::int32_t sh = MulDiv(GetSystemMetrics(SM_CYSCREEN), 96, ScreenDpi());
        SetBounds((sw - w) / 2, (sh - h) / 2, Width(), Height());
    }
    SetVisible(true);
    if (HWND hw = H(Handle())) {
        SetForegroundWindow(hw);
        UpdateWindow(hw);
        // Posted now, it comes before the input that arrives meanwhile (GetMessage takes
        // posted messages first).
        if (AfterFirstPaint) PostMessageW(hw, kMsgAfterFirstPaint, 0, 0);
    }
}

void TForm::Close() {
    if (OnClose) OnClose(this);
    SetVisible(false);
    if (Application.MainForm == this) PostQuitMessage(0);
}

void TForm::ClickButton(bool cancel) {
    // The default (Enter) or cancel (Escape) button anywhere on the form.
    std::function<TButton*(TWinControl*)> find = [&](TWinControl* w) -> TButton* {
        for (TControl* c : w->Controls()) {
            if (auto* b = dynamic_cast<TButton*>(c))
                if ((cancel ? b->Cancel() : b->Default()) && b->Enabled() && b->Visible()) return b;
            if (auto* sub = dynamic_cast<TWinControl*>(c))
                if (TButton* b = find(sub)) return b;
        }
        return nullptr;
    };
    if (TButton* b = find(this)) b->Click();
}

std::intptr_t TForm::WndProc(unsigned msg, std::uintptr_t wp, std::intptr_t lp) {
    switch (msg) {
    case WM_CLOSE:
        Close();
        return 0;
    case kMsgAfterFirstPaint:
        if (auto work = std::exchange(AfterFirstPaint, nullptr)) work();
        return 0;
    case WM_COMMAND:
        if (lp == 0 && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
            ClickButton(LOWORD(wp) == IDCANCEL);
            return 0;
        }
        break;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
    case WM_THEMECHANGED: {
        // The colour scheme (high contrast on or off) may have changed: painted anew.
        const bool before = HighContrast();
        ReadHighContrast();
        if (msg != WM_SETTINGCHANGE || before != HighContrast())
            RedrawWindow(H(FHandle), nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
        break;
    }
    case WM_DPICHANGED: {
        // Moved to a monitor of another DPI (or its scale changed): everything is laid out
        // again from the designed 96-DPI values, as a start at that DPI lays it out, and the
        // window takes the rectangle the system suggests.
        SetScreenDpi(HIWORD(wp));
        TControl::ApplyChange(TChange::Font);
        for (TControl* c : Controls()) c->DpiChanged();
        const RECT& r = *reinterpret_cast<const RECT*>(lp);
        SetWindowPos(H(FHandle), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        RedrawWindow(H(FHandle), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        return 0;
    }
    }
    return TWinControl::WndProc(msg, wp, lp);
}

void TForm::LoadDefinitionResource(const std::string& resourceName) {
    std::string name = resourceName.empty() ? UpperAscii932(ClassName()) : resourceName;
    HMODULE module = GetModuleHandleW(nullptr);
    std::wstring wname = ToWide(name);
    HRSRC res = FindResourceW(module, wname.c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL mem = res ? LoadResource(module, res) : nullptr;
    const void* data = mem ? LockResource(mem) : nullptr;
    if (!data) throw EFOpenError("Resource " + name + " not found");
    LoadDefinition(static_cast<const std::uint8_t*>(data), SizeofResource(module, res));
}

// ---- TApplication ----

void TApplication::ShowErrorBox(const std::string& text) {
    if (OnErrorBox) return OnErrorBox(text);
    // Owned by the active window (the foreground one when the program has none), so it
    // comes up in front of the window the user was working in.
    HWND owner = GetActiveWindow();
    if (!owner) owner = GetForegroundWindow();
    MessageBoxW(owner, ToWide(text).c_str(), ToWide(Title).c_str(),
                MB_OK | MB_ICONSTOP | MB_TOPMOST | MB_SETFOREGROUND);
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            FTerminated = true;
            PostQuitMessage(static_cast<int>(msg.wParam)); // the message loop still sees it
            return;
        }
        DispatchOne(msg);
    }
}

void TApplication::Run() {
    if (MainForm) {
        try {
            MainForm->Show();
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
    MSG msg;
    while (!FTerminated && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchOne(msg);
    FTerminated = true;
}
