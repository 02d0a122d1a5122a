// Real windows under Windows (Wine): a form created from the definition compiled by defc
// and carried as a resource, its controls, clicks, parent changes, scaling, and errors
// that escape event handlers.
#include "toolkit/uForms.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

std::wstring ClassOf(HWND h) {
    wchar_t buf[128];
    int n = GetClassNameW(h, buf, 128);
    return std::wstring(buf, n > 0 ? n : 0);
}

std::wstring TextOf(HWND h) {
    wchar_t buf[512];
    int n = GetWindowTextW(h, buf, 512);
    return std::wstring(buf, n > 0 ? n : 0);
}

HWND ChildByText(HWND parent, const std::wstring& cls, const std::wstring& text) {
    struct Ctx {
        std::wstring cls, text;
        HWND found;
    } ctx{cls, text, nullptr};
    EnumChildWindows(
        parent,
        [](HWND h, LPARAM p) -> BOOL {
            auto* c = reinterpret_cast<Ctx*>(p);
            if (ClassOf(h) == c->cls && (c->text.empty() || TextOf(h) == c->text)) {
                c->found = h;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class FormsWin : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterToolkitClasses();
        Application.Title = "Toolkit test";
        Application.OnException = [this](std::exception_ptr e) { Errors.push_back(ExceptionText(e)); };
        Form = std::make_unique<TForm>(nullptr);
        Form->LoadDefinitionResource("TESTFORM");
        Form->Show();
        Pump();
        Wnd = static_cast<HWND>(Form->Handle());
    }
    void TearDown() override {
        Form.reset();
        Application.OnException = nullptr;
        Pump();
    }
    std::unique_ptr<TForm> Form;
    HWND Wnd = nullptr;
    std::vector<std::string> Errors;
};

} // namespace

TEST_F(FormsWin, ControlsFromTheResourceExistWithTheirTextAndState) {
    ASSERT_TRUE(IsWindow(Wnd));
    EXPECT_EQ(ClassOf(Wnd), L"TForm");
    EXPECT_EQ(TextOf(Wnd), L"\u30c6\u30b9\u30c8 \u30a6\u30a3\u30f3\u30c9\u30a6"); // テスト ウィンドウ
    EXPECT_TRUE(IsWindowVisible(Wnd));

    HWND ok = ChildByText(Wnd, L"TButton", L"\u6b21\u3078(&N) >");
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(IsWindowEnabled(ok));
    EXPECT_EQ(GetWindowLongW(ok, GWL_STYLE) & 0x0F, BS_DEFPUSHBUTTON);
    HWND cancel = ChildByText(Wnd, L"TButton", L"\u30ad\u30e3\u30f3\u30bb\u30eb");
    ASSERT_NE(cancel, nullptr);
    EXPECT_FALSE(IsWindowEnabled(cancel));

    HWND check = ChildByText(Wnd, L"TCheckBox", L"");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_CHECKED);
    HWND agree = ChildByText(Wnd, L"TRadioButton", L"\u540c\u610f\u3059\u308b");
    HWND disagree = ChildByText(Wnd, L"TRadioButton", L"\u540c\u610f\u3057\u306a\u3044");
    ASSERT_TRUE(agree && disagree);
    EXPECT_EQ(SendMessageW(agree, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(disagree, BM_GETCHECK, 0, 0), BST_CHECKED);

    HWND edit = ChildByText(Wnd, L"TEdit", L"");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(TextOf(edit), L"C:\\Windows\\");
    HWND memo = ChildByText(Wnd, L"TMemo", L"");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(TextOf(memo), L"\u4e00\u884c\u76ee\r\nsecond line");
    EXPECT_TRUE(GetWindowLongW(memo, GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(GetWindowLongW(memo, GWL_STYLE) & WS_VSCROLL);

    HWND bar = ChildByText(Wnd, L"TProgressBar", L"");
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(IsWindowVisible(bar));
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 30);
    EXPECT_NE(ChildByText(Wnd, L"TBevel", L""), nullptr);

    // The definition's names find the same windows.
    EXPECT_EQ(Form->Find<TControl>("btnOk")->Handle(), ok);
    EXPECT_EQ(GetDlgCtrlID(ok), Form->Find<TControl>("btnOk")->ControlId());
}

TEST_F(FormsWin, SizesAndFontsAreScaledByTheScreenDpi) {
    int dpi = ScreenDpi();
    RECT rc;
    GetClientRect(Wnd, &rc);
    EXPECT_EQ(rc.right, MulDiv(400, dpi, 96));
    EXPECT_EQ(rc.bottom, MulDiv(300, dpi, 96));
    // The bottom panel is aligned to the bottom 40 pixels, the client panel fills the rest.
    HWND bottom = static_cast<HWND>(Form->Find<TControl>("pnlBottom")->Handle());
    RECT br;
    GetWindowRect(bottom, &br);
    MapWindowPoints(nullptr, Wnd, reinterpret_cast<POINT*>(&br), 2);
    EXPECT_EQ(br.top, MulDiv(260, dpi, 96));
    EXPECT_EQ(br.right - br.left, MulDiv(400, dpi, 96));

    HWND title = static_cast<HWND>(Form->Find<TControl>("lblTitle")->Handle());
    auto font = reinterpret_cast<HFONT>(SendMessageW(title, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTW lf{};
    ASSERT_TRUE(GetObjectW(font, sizeof lf, &lf));
    EXPECT_EQ(lf.lfHeight, -MulDiv(16, dpi, 96));
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET);
    // The designed "MS UI Gothic" is missing under Wine: a Japanese face that also has
    // Latin letters stands in (the font mapper alone would pick one without them).
    {
        HDC dc = GetDC(title);
        HGDIOBJ old = SelectObject(dc, font);
        wchar_t face[LF_FACESIZE]{};
        GetTextFaceW(dc, LF_FACESIZE, face);
        WORD glyphs[2]{};
        GetGlyphIndicesW(dc, L"A\u30B9", 2, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
        SelectObject(dc, old);
        ReleaseDC(title, dc);
        EXPECT_NE(glyphs[0], 0xFFFF) << "no Latin letters";
        EXPECT_NE(glyphs[1], 0xFFFF) << "no kana";
        EXPECT_EQ(std::wstring(lf.lfFaceName), std::wstring(face));
    }
    // A control with the parent's font follows a change of the form's font.
    auto* ok = Form->Find<TControl>("btnOk");
    TFontStyle f = Form->Font();
    f.Height = 20;
    Form->SetFont(f);
    font = reinterpret_cast<HFONT>(SendMessageW(static_cast<HWND>(ok->Handle()), WM_GETFONT, 0, 0));
    ASSERT_TRUE(GetObjectW(font, sizeof lf, &lf));
    EXPECT_EQ(lf.lfHeight, -MulDiv(20, dpi, 96));
}

TEST_F(FormsWin, ClicksReachTheModelAndTheHandlers) {
    auto* check = Form->Find<TCheckBox>("chbxOption");
    auto* agree = Form->Find<TRadioButton>("rdoAgree");
    auto* disagree = Form->Find<TRadioButton>("rdoDisagree");
    int clicks = 0;
    check->OnClick = [&](TComponent* sender) {
        EXPECT_EQ(sender, check);
        ++clicks;
    };
    SendMessageW(static_cast<HWND>(check->Handle()), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(check->Checked());
    EXPECT_EQ(SendMessageW(static_cast<HWND>(check->Handle()), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    SendMessageW(static_cast<HWND>(agree->Handle()), BM_CLICK, 0, 0);
    Pump();
    EXPECT_TRUE(agree->Checked());
    EXPECT_FALSE(disagree->Checked());
    EXPECT_EQ(SendMessageW(static_cast<HWND>(disagree->Handle()), BM_GETCHECK, 0, 0), BST_UNCHECKED);

    // Typing into the edit updates the model's text (code page 932) and fires OnChange.
    auto* edit = Form->Find<TEdit>("edtPath");
    int changes = 0;
    edit->OnChange = [&](TComponent*) { ++changes; };
    SetWindowTextW(static_cast<HWND>(edit->Handle()), L"D:\\\u8868");
    EXPECT_EQ(edit->Text(), "D:\\\x95\x5c");
    EXPECT_GE(changes, 1);
    auto* memo = Form->Find<TMemo>("memoText");
    // A multi-line edit reports typing (not WM_SETTEXT): replace the selection as typing does.
    SendMessageW(static_cast<HWND>(memo->Handle()), EM_SETSEL, 0, -1);
    SendMessageW(static_cast<HWND>(memo->Handle()), EM_REPLACESEL, FALSE,
                 reinterpret_cast<LPARAM>(L"a\r\nb"));
    EXPECT_EQ(memo->Lines(), (std::vector<std::string>{"a", "b"}));

    // Enter presses the default button through the dialog manager's IDOK.
    int okClicks = 0;
    Form->Find<TButton>("btnOk")->OnClick = [&](TComponent*) { ++okClicks; };
    SendMessageW(Wnd, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(okClicks, 1);
}

TEST_F(FormsWin, AnErrorInAClickHandlerReachesTheApplicationHandler) {
    auto* ok = Form->Find<TButton>("btnOk");
    ok->OnClick = [](TComponent*) { throw EComponentError("handler failed"); };
    SendMessageW(static_cast<HWND>(ok->Handle()), BM_CLICK, 0, 0);
    Pump();
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0], "handler failed");
    EXPECT_TRUE(IsWindow(Wnd)); // the program goes on
    ok->OnClick = nullptr;
}

TEST_F(FormsWin, TheDefaultHandlerShowsAMessageBox) {
    Application.OnException = nullptr;
    std::atomic<bool> seen{false};
    std::wstring text;
    std::thread answer([&] {
        for (int i = 0; i < 500 && !seen; ++i) {
            HWND box = FindWindowW(L"#32770", L"Toolkit test");
            if (box) {
                HWND label = ChildByText(box, L"Static", L"broken");
                if (label) text = TextOf(label);
                seen = true;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                break;
            }
            Sleep(20);
        }
    });
    Application.HandleException(std::make_exception_ptr(std::runtime_error("broken")));
    answer.join();
    EXPECT_TRUE(seen);
    EXPECT_EQ(text, L"broken");
}

TEST_F(FormsWin, ParentChangesMoveTheNativeWindow) {
    auto* ok = Form->Find<TButton>("btnOk");
    auto* client = Form->Find<TPanel>("pnlClient");
    ok->SetParent(client);
    EXPECT_EQ(GetParent(static_cast<HWND>(ok->Handle())), static_cast<HWND>(client->Handle()));
    ok->SetParent(nullptr);
    EXPECT_EQ(ok->Handle(), nullptr);
    ok->SetParent(Form->Find<TPanel>("pnlBottom"));
    ASSERT_NE(ok->Handle(), nullptr);
    EXPECT_EQ(TextOf(static_cast<HWND>(ok->Handle())), L"\u6b21\u3078(&N) >");

    // Hiding the bottom panel gives its height to the client-aligned panel.
    Form->Find<TPanel>("pnlBottom")->SetVisible(false);
    EXPECT_EQ(client->Height(), 300);
    RECT r;
    GetClientRect(static_cast<HWND>(client->Handle()), &r);
    EXPECT_EQ(r.bottom, MulDiv(300, ScreenDpi(), 96));
}

TEST_F(FormsWin, DestroyingTheFormFreesEveryWindow) {
    HWND ok = static_cast<HWND>(Form->Find<TControl>("btnOk")->Handle());
    Form.reset();
    EXPECT_FALSE(IsWindow(Wnd));
    EXPECT_FALSE(IsWindow(ok));
}

TEST(LabelWin, AnAutoSizedLabelTakesTheSizeOfItsTextInItsFont) {
    RegisterToolkitClasses();
    TForm form(nullptr);
    auto* label = new TLabel(&form);
    label->SetParent(&form);
    label->SetBounds(9, 8, 200, 50);
    label->SetText("Abc");
    EXPECT_EQ(label->Width(), 200); // no auto-size: the designed size stays
    label->SetAutoSize(true);
    const std::int32_t oneW = label->Width(), oneH = label->Height();
    EXPECT_GT(oneW, 0);
    EXPECT_GT(oneH, 0);
    EXPECT_EQ(label->Left(), 9);
    EXPECT_EQ(label->Top(), 8);

    // The same measure as DrawText in the label's font.
    form.HandleNeeded();
    HDC dc = GetDC(nullptr);
    auto f = reinterpret_cast<HFONT>(SendMessageW(static_cast<HWND>(label->Handle()), WM_GETFONT, 0, 0));
    ASSERT_NE(f, nullptr);
    HGDIOBJ old = SelectObject(dc, f);
    RECT r{};
    DrawTextW(dc, L"Abc", 3, &r, DT_CALCRECT | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(oneW, MulDiv(r.right, 96, ScreenDpi()));

    label->SetText("Abc\r\nAbc");
    EXPECT_EQ(label->Width(), oneW);
    EXPECT_GE(label->Height(), 2 * oneH - 1);
    EXPECT_LE(label->Height(), 2 * oneH + 1);
    label->SetText("Abc Abc Abc");
    EXPECT_GT(label->Width(), 2 * oneW);
    EXPECT_EQ(label->Height(), oneH);

    auto bigger = label->Font();
    bigger.Height = 24;
    label->SetFont(bigger);
    EXPECT_GT(label->Height(), oneH + oneH / 2);
}
