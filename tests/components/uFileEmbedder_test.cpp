// The file embedder's "EmbededData" bytes, compressed and stored, and its life in a
// window definition.
#include "components/uFileEmbedder.h"
#include "components/uRegister.h"
#include "store/uText.h"
#include "store/uZCompress.h"
#include "toolkit/uForms.h"

#include "common/TestFiles.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::uint8_t> Sample() {
    std::vector<std::uint8_t> b;
    for (int i = 0; i < 5000; ++i) b.push_back(static_cast<std::uint8_t>((i * 7) % 251));
    return b;
}

std::vector<std::uint8_t> Written(TFileEmbedder& e) {
    TMemoryStream s;
    e.WriteData(s);
    return s.Bytes();
}

std::int32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at = 0) {
    return static_cast<std::int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                     std::uint32_t(b[at + 3]) << 24);
}

class Embedder : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterToolkitClasses();
        RegisterSystemComponents();
        Application.OnErrorBox = [this](const std::string& t) { Boxes.push_back(t); };
    }
    void TearDown() override { Application.OnErrorBox = nullptr; }
    TempDir Dir;
    std::vector<std::string> Boxes;
};

} // namespace

TEST_F(Embedder, CompressedDataIsTheSizeThenOneZlibStream) {
    auto data = Sample();
    WriteBytes(Dir / "a.bin", data);
    TFileEmbedder e(nullptr);
    e.SetFileName(PathToCp932(Dir / "a.bin"));
    EXPECT_TRUE(e.Compressed());
    auto out = Written(e);
    ASSERT_GT(out.size(), 6u);
    EXPECT_EQ(Le32(out), static_cast<std::int32_t>(out.size() - 4));
    // Exactly what the compression wrapper gives at level index 2.
    auto packed = CompressBuffer(data.data(), data.size(), 2);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 4, out.end()), packed);

    TFileEmbedder back(nullptr);
    TMemoryStream s(out);
    back.ReadData(s);
    EXPECT_EQ(back.Data().Bytes(), data);
}

TEST_F(Embedder, StoredDataIsTheFilesBytesUnchanged) {
    auto data = Sample();
    WriteBytes(Dir / "a.bin", data);
    TFileEmbedder e(nullptr);
    e.SetCompressed(false);
    e.SetFileName(PathToCp932(Dir / "a.bin"));
    auto out = Written(e);
    ASSERT_EQ(out.size(), data.size() + 4);
    EXPECT_EQ(Le32(out), 5000);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 4, out.end()), data);
    TFileEmbedder back(nullptr);
    back.SetCompressed(false);
    TMemoryStream s(out);
    back.ReadData(s);
    EXPECT_EQ(back.Data().Bytes(), data);
}

TEST_F(Embedder, MissingOrEmptyFilesStoreSizeZero) {
    TFileEmbedder e(nullptr);
    e.SetFileName(PathToCp932(Dir / "missing.bin")); // run time: taken as it is
    EXPECT_EQ(Written(e), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    WriteBytes(Dir / "empty.bin", {});
    e.SetFileName(PathToCp932(Dir / "empty.bin"));
    EXPECT_EQ(Written(e), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    for (bool compressed : {true, false}) {
        TFileEmbedder back(nullptr);
        back.SetCompressed(compressed);
        TMemoryStream zero(std::vector<std::uint8_t>{0, 0, 0, 0});
        back.ReadData(zero);
        EXPECT_TRUE(back.Data().Bytes().empty());
        TMemoryStream negative(std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF});
        back.ReadData(negative);
        EXPECT_TRUE(back.Data().Bytes().empty());
    }
}

TEST_F(Embedder, DamagedDataFailsAndLeavesNothing) {
    TFileEmbedder e(nullptr);
    TMemoryStream bad(std::vector<std::uint8_t>{4, 0, 0, 0, 0x78, 0x9C, 1, 2});
    EXPECT_THROW(e.ReadData(bad), EZDecompressionError);
    EXPECT_TRUE(e.Data().Bytes().empty());
    // A size past the end of the property's data is refused before anything is allocated.
    TMemoryStream shortData(std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x7F, 1, 2});
    EXPECT_THROW(e.ReadData(shortData), ECorruptData);
    EXPECT_TRUE(e.Data().Bytes().empty());
}

TEST_F(Embedder, DesignTimeRefusesAMissingFile) {
    TForm form(nullptr);
    form.SetDesigning(true);
    auto* e = new TFileEmbedder(&form);
    WriteBytes(Dir / "a.bin", Sample());
    std::string good = PathToCp932(Dir / "a.bin");
    e->SetFileName(good);
    EXPECT_TRUE(Boxes.empty());
    std::string missing = PathToCp932(Dir / "nothere.exe");
    e->SetFileName(missing);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0], missing + " was not found");
    EXPECT_EQ(e->FileName(), good);
}

TEST_F(Embedder, DefinitionCarriesTheDataOnlyWithAFileName) {
    auto data = Sample();
    WriteBytes(Dir / "a.bin", data);
    TForm form(nullptr);
    auto* with = new TFileEmbedder(&form);
    with->SetName("embWith");
    with->SetFileName(PathToCp932(Dir / "a.bin"));
    auto* without = new TFileEmbedder(&form);
    without->SetName("embWithout");
    auto def = ComponentDefBytes(form);
    // Exactly one "EmbededData" in the whole definition.
    const char* name = "EmbededData";
    auto first = std::search(def.begin(), def.end(), name, name + 11);
    ASSERT_NE(first, def.end());
    EXPECT_EQ(std::search(first + 1, def.end(), name, name + 11), def.end());

    TForm copy(nullptr);
    copy.LoadDefinition(def.data(), def.size());
    EXPECT_EQ(copy.Find<TFileEmbedder>("embWith")->Data().Bytes(), data);
    EXPECT_TRUE(copy.Find<TFileEmbedder>("embWithout")->Data().Bytes().empty());

    // Written out twice: the same bytes twice, and an existing file is replaced.
    auto* loaded = copy.Find<TFileEmbedder>("embWith");
    WriteBytes(Dir / "out.bin", {1, 2, 3});
    loaded->SaveToFile(PathToCp932(Dir / "out.bin"));
    EXPECT_EQ(ReadBytes(Dir / "out.bin"), data);
    loaded->SaveToFile(PathToCp932(Dir / "out2.bin"));
    EXPECT_EQ(ReadBytes(Dir / "out2.bin"), data);
    TMemoryStream s;
    loaded->SaveToStream(s);
    EXPECT_EQ(s.Bytes(), data);
}

TEST_F(Embedder, SaveToFileIntoAMissingFolderFailsWithoutAFile) {
    TFileEmbedder e(nullptr);
    EXPECT_THROW(e.SaveToFile(PathToCp932(Dir / "no" / "such" / "dir" / "x.exe")), Exception);
    EXPECT_FALSE(std::filesystem::exists(Dir / "no"));
}
