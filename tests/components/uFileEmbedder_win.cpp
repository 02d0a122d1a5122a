// A window created from the definition that defc compiled into this test program's
// resources writes the carried file back byte for byte.
#include "components/uFileEmbedder.h"
#include "components/uRegister.h"
#include "store/uText.h"
#include "toolkit/uForms.h"

#include "common/TestFiles.h"

#include <gtest/gtest.h>

TEST(EmbedderWin, AWindowFromTheResourceWritesTheOriginalBytesTwice) {
    RegisterToolkitClasses();
    RegisterSystemComponents();
    TForm form(nullptr);
    form.LoadDefinitionResource("EMBEDFORM");
    auto original = ReadBytes(EMBED_PAYLOAD);
    ASSERT_GT(original.size(), 1000u);

    TempDir dir;
    for (const char* name : {"embCompressed", "embStored"}) {
        auto* e = form.Find<TFileEmbedder>(name);
        ASSERT_NE(e, nullptr) << name;
        std::string a = PathToCp932(dir / (std::string(name) + "1.exe"));
        std::string b = PathToCp932(dir / (std::string(name) + "2.exe"));
        e->SaveToFile(a);
        e->SaveToFile(b);
        EXPECT_EQ(ReadBytes(PathFromCp932(a)), original) << name;
        EXPECT_EQ(ReadBytes(PathFromCp932(b)), original) << name;
    }
    EXPECT_FALSE(form.Find<TFileEmbedder>("embCompressed")->Compressed() == false);
    EXPECT_FALSE(form.Find<TFileEmbedder>("embStored")->Compressed());
    EXPECT_TRUE(form.Find<TFileEmbedder>("embNone")->Data().Bytes().empty());
}
