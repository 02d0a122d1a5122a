// A deactivated memo in a real window created from a compiled definition: it never takes
// the keyboard focus, shows its lines, and draws them in the normal (not grey) text colour.
#include "components/uDeactiveMemo.h"
#include "store/uText.h"

#include "MemoFormTest.h"

namespace {

std::wstring EditText(HWND h) {
    wchar_t buf[512];
    auto n = SendMessageW(h, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf));
    return std::wstring(buf, static_cast<std::size_t>(n));
}

class DeactiveMemoWin : public MemoFormTest {
protected:
    void SetUp() override {
        MemoFormTest::SetUp();
        ShowForm();
        Memo = Form->Find<TDeactiveMemo>("dmemoExplain");
        ASSERT_NE(Memo, nullptr);
        ASSERT_NE(Memo->Memo()->Handle(), nullptr);
    }
    TDeactiveMemo* Memo = nullptr;
};

} // namespace

TEST_F(DeactiveMemoWin, ShowsItsLinesAndChangesAtOnce) {
    HWND edit = Hwnd(Memo->Memo());
    EXPECT_EQ(EditText(edit), L"\u30b9\u30af\u30ea\u30fc\u30f3\u30bb\u30fc\u30d0\u30fc\u300c%"
                              L"s\u300d\u3092\r\n\u30a4\u30f3\u30b9\u30c8\u30fc\u30eb\u3057\u307e\u3059"
                              L"\u3002"); // スクリーンセーバー「%s」を / インストールします。
    EXPECT_FALSE(IsWindowEnabled(Hwnd(Memo)));
    EXPECT_TRUE(IsWindowEnabled(edit));
    EXPECT_TRUE(GetWindowLongW(edit, GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(GetWindowLongW(edit, GWL_STYLE) & ES_MULTILINE);
    EXPECT_FALSE(GetWindowLongW(edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);

    Memo->Lines().SetItem(1, "done");
    EXPECT_EQ(EditText(edit).substr(EditText(edit).size() - 6), L"\r\ndone");
}

TEST_F(DeactiveMemoWin, NeverTakesTheKeyboardFocus) {
    HWND wnd = Hwnd(Form.get());
    HWND edit = Hwnd(Memo->Memo());
    HWND first = Hwnd(Form->Find<TEdit>("edtFirst"));
    HWND last = Hwnd(Form->Find<TButton>("btnLast"));
    SetForegroundWindow(wnd);
    SetFocus(first);
    ASSERT_EQ(GetFocus(), first);

    SetFocus(edit);
    EXPECT_NE(GetFocus(), edit);
    SetFocus(Hwnd(Memo));
    EXPECT_NE(GetFocus(), Hwnd(Memo));

    // Tab through the whole window: focus goes from the edit to the button, never to the memo.
    SetFocus(first);
    std::vector<HWND> visited;
    for (int i = 0; i < 4; ++i) {
        HWND from = GetFocus();
        PostMessageW(from, WM_KEYDOWN, VK_TAB, 0);
        PostMessageW(from, WM_KEYUP, VK_TAB, 0xC0000001);
        Application.ProcessMessages();
        visited.push_back(GetFocus());
    }
    EXPECT_EQ(visited.front(), last);
    for (HWND h : visited) {
        EXPECT_NE(h, edit);
        EXPECT_NE(h, Hwnd(Memo));
    }
    for (HWND h = GetNextDlgTabItem(wnd, first, FALSE); h && h != first; h = GetNextDlgTabItem(wnd, h, FALSE))
        EXPECT_NE(h, edit);
}

TEST_F(DeactiveMemoWin, TextIsDrawnInTheWindowTextColourNotGrey) {
    HWND panel = Hwnd(Memo);
    HWND edit = Hwnd(Memo->Memo());
    // The colour the panel answers for its read-only memo.
    HDC dc = GetDC(edit);
    SetTextColor(dc, RGB(1, 2, 3));
    SendMessageW(panel, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(edit));
    EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_WINDOWTEXT));
    ReleaseDC(edit, dc);

    // And the pixels really drawn: some in the window text colour, none in the grey one.
    RedrawWindow(edit, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT r;
    GetClientRect(edit, &r);
    HDC screen = GetDC(edit);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, r.right, r.bottom);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, r.right, r.bottom, screen, 0, 0, SRCCOPY);
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT), grey = GetSysColor(COLOR_GRAYTEXT);
    int textPixels = 0, greyPixels = 0;
    for (int y = 0; y < r.bottom; ++y)
        for (int x = 0; x < r.right; ++x) {
            COLORREF c = GetPixel(mem, x, y);
            textPixels += c == text;
            greyPixels += c == grey;
        }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(edit, screen);
    EXPECT_GT(textPixels, 50);
    EXPECT_EQ(greyPixels, 0);
}
