// The text definitions defc compiles: each value syntax, code page 932 conversion, file
// references through the components' own writers, and errors that name their line.
#include "DefParse.h"

#include "components/uBitmapList.h"
#include "components/uFileEmbedder.h"
#include "components/uRegister.h"
#include "toolkit/uForms.h"

#include "common/TestFiles.h"

#include <gtest/gtest.h>

namespace {

class Defc : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterToolkitClasses();
        RegisterSystemComponents();
        Options.BaseDir = Dir.Path();
    }
    std::unique_ptr<TComponent> Parse(const std::string& text) { return ParseDefinition(text, Options); }
    TempDir Dir;
    TDefOptions Options;
};

} // namespace

TEST_F(Defc, EveryValueSyntax) {
    auto root = Parse(R"(object frmMain: TForm
  # comment
  Caption = 'テスト' + '''x'''
  Width = 580
  Left = -3
  BorderStyle = bsDialog
  BorderIcons = [biSystemMenu, biHelp]
  Color = $00FF8040
  Font.Name = 'MS UI Gothic'
  object pnl: TPanel
    Color = clWhite
    Visible = False
    object memo: TMemo
      Lines = (
        '一行目'
        ''
        'three')
    end
  end
end
)");
    auto* form = dynamic_cast<TForm*>(root.get());
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->IsDesigning());
    EXPECT_EQ(form->Name(), "frmMain");
    EXPECT_EQ(form->Caption(), "\x83\x65\x83\x58\x83\x67'x'");
    EXPECT_EQ(form->Width(), 580);
    EXPECT_EQ(form->Left(), -3);
    EXPECT_EQ(form->BorderStyle(), TFormBorderStyle::bsDialog);
    EXPECT_EQ(form->BorderIcons(), std::uint32_t(biSystemMenu | biHelp));
    EXPECT_EQ(form->Color(), 0x00FF8040);
    auto* pnl = form->Find<TPanel>("pnl");
    ASSERT_NE(pnl, nullptr);
    EXPECT_EQ(pnl->Parent(), form);
    EXPECT_EQ(pnl->Color(), clWhite);
    EXPECT_FALSE(pnl->Visible());
    auto* memo = form->Find<TMemo>("memo");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->Parent(), pnl);
    EXPECT_EQ(memo->Lines(), (std::vector<std::string>{"\x88\xea\x8d\x73\x96\xda", "", "three"}));
}

TEST_F(Defc, AFileEmbedderStoresTheNamedFileThroughItsOwnWriter) {
    std::vector<std::uint8_t> data(3000, 0x41);
    WriteBytes(Dir / "payload.bin", data);
    Options.Vars["NAME"] = "payload.bin";
    std::filesystem::current_path(Dir.Path());
    auto root = Parse("object f: TForm\n  object emb: TFileEmbedder\n    FileName = '${NAME}'\n  end\nend\n");
    auto def = ComponentDefBytes(*root);
    TForm copy(nullptr);
    copy.LoadDefinition(def.data(), def.size());
    EXPECT_EQ(copy.Find<TFileEmbedder>("emb")->Data().Bytes(), data);
    EXPECT_EQ(copy.Find<TFileEmbedder>("emb")->FileName(), "payload.bin");
}

TEST_F(Defc, ADesignTimeErrorOfAComponentIsReported) {
    std::vector<std::string> boxes;
    Application.OnErrorBox = [&](const std::string& t) { boxes.push_back(t); };
    std::filesystem::current_path(Dir.Path());
    Parse("object f: TForm\n  object emb: TFileEmbedder\n    FileName = 'missing.exe'\n  end\nend\n");
    Application.OnErrorBox = nullptr;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "missing.exe was not found");
}

TEST_F(Defc, ErrorsNameTheirLine) {
    auto fails = [&](const std::string& text, const std::string& expect) {
        try {
            Parse(text);
            ADD_FAILURE() << "no error for: " << text;
        } catch (const EDefSyntax& e) {
            EXPECT_NE(std::string(e.what()).find(expect), std::string::npos) << e.what();
        }
    };
    fails("object f: TForm\n  Nope = 1\nend\n", "line 2");
    fails("object f: TForm\n  Width = abc\nend\n", "bad number");
    fails("object f: TForm\n  Visible = maybe\nend\n", "True or False");
    fails("object f: TForm\n  BorderStyle = bsWeird\nend\n", "bsWeird");
    fails("object f: TForm\n  Caption = 'open\nend\n", "unterminated");
    fails("object f: TForm\n  object x: TUnknown\n  end\nend\n", "TUnknown");
    fails("object f: TForm\n", "missing 'end'");
    fails("object f: TForm\n  Caption = '${UNDEFINED}'\nend\n", "UNDEFINED");
    fails("object f: TForm\n  Caption = '\xe2\x82\xac\xf0\x9f\x98\x80'\nend\n", "code page 932");
    fails("object f: TForm\nend\nextra\n", "after the root");
}

namespace {

TBitmap BitmapFile(const std::filesystem::path& p) {
    TMemoryStream s(ReadBytes(p));
    TBitmap b;
    b.LoadFromStream(s);
    return b;
}

bool Contains(const std::vector<std::uint8_t>& bytes, const std::string& text) {
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

} // namespace

TEST_F(Defc, BitmapListImagesFromFilesSurviveTheDefinition) {
    const std::filesystem::path images = std::filesystem::path(SCR_SOURCE_DIR) / "src/resources/images";
    Options.Vars["IMAGES"] = images.string();
    auto root = Parse(R"(object f: TForm
  object bl: TBitmapList
    Compressed = True
    Images = (
      'Left=${IMAGES}/Left.bmp'
      'icon=${IMAGES}/icon.bmp'
      'GetFlashPlayer=${IMAGES}/GetFlashPlayer.bmp|$FF00FF'
    )
  end
  object empty: TBitmapList
  end
end
)");
    auto def = ComponentDefBytes(*root);
    EXPECT_FALSE(Contains(def, "Images")); // design time only
    EXPECT_TRUE(Contains(def, "Compressed"));

    TForm form(nullptr);
    form.LoadDefinition(def.data(), def.size());
    auto* bl = form.Find<TBitmapList>("bl");
    ASSERT_NE(bl, nullptr);
    EXPECT_TRUE(bl->Compressed());
    TBitmap got;
    bl->GetBitmap("Icon", &got); // names are found without regard to case
    EXPECT_EQ(got, BitmapFile(images / "icon.bmp"));
    bl->GetBitmap("LEFT", &got);
    EXPECT_EQ(got, BitmapFile(images / "Left.bmp"));
    const TBitmap badge = BitmapFile(images / "GetFlashPlayer.bmp");
    bl->GetBitmap("GetFlashPlayer", &got);
    EXPECT_EQ(got, badge);

    // Only the badge has a mask, made with the given colour: white at its magenta corner.
    EXPECT_EQ(bl->Masks().GetCount(), 1);
    TBitmap mask;
    bl->GetMask("getflashplayer", &mask);
    EXPECT_EQ(mask.GetPixel(0, 0) & 0xFFFFFF, 0xFFFFFF);
    EXPECT_EQ(mask.GetPixel(44, 15) & 0xFFFFFF, 0);
    // An empty list reads back empty.
    ASSERT_NE(form.Find<TBitmapList>("empty"), nullptr);
    EXPECT_EQ(form.Find<TBitmapList>("empty")->StoreSize(), 0);
}

TEST_F(Defc, BitmapListImageErrors) {
    std::vector<std::string> boxes;
    Application.OnErrorBox = [&](const std::string& t) { boxes.push_back(t); };
    std::filesystem::current_path(Dir.Path());
    auto root =
        Parse("object f: TForm\n  object bl: TBitmapList\n    Images = ('a=missing.bmp')\n  end\nend\n");
    Application.OnErrorBox = nullptr;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("missing.bmp was not found", 0), 0u) << boxes[0];
    auto* bl = dynamic_cast<TBitmapList*>(root->FindComponent("bl"));
    ASSERT_NE(bl, nullptr);
    EXPECT_FALSE(bl->Exists("a"));

    auto fails = [&](const std::string& entry, const std::string& expect) {
        try {
            Parse("object f: TForm\n  object bl: TBitmapList\n    Images = ('" + entry + "')\n  end\nend\n");
            ADD_FAILURE() << "no error for: " << entry;
        } catch (const EDefSyntax& e) {
            EXPECT_NE(std::string(e.what()).find(expect), std::string::npos) << e.what();
        }
    };
    fails("nofile", "name=file");
    fails("=x.bmp", "name=file");
    fails("a=x.bmp|$GG", "transparent colour");
    fails("a=x.bmp|", "transparent colour");
}
