// The deactivated memo's model: its line list, the "RealLines" bytes and which value wins
// when a definition is read.
#include "components/uDeactiveMemo.h"
#include "components/uRegister.h"
#include "toolkit/uForms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace {

// | SCDF | 1 | TForm frm | 0 props | 0 binaries | 1 child: TDeactiveMemo dm with "Lines" =
// linesProp and "RealLines" = realLines (when given) |
// Everything up to the memo's property count.
void BeginMemoDefinition(TDefWriter& w) {
    w.Raw("SCDF", 4);
    w.U8(1);
    w.Str("TForm");
    w.Str("frm");
    w.I32(0);
    w.I32(0);
    w.I32(1);
    w.Str("TDeactiveMemo");
    w.Str("dm");
}

std::vector<std::uint8_t> HandMadeDefinition(const std::vector<std::string>& linesProp,
                                             const std::string* realLines) {
    TDefWriter w;
    BeginMemoDefinition(w);
    w.I32(1);
    w.Str("Lines");
    w.U8(7);
    w.I32(static_cast<std::int32_t>(linesProp.size()));
    for (const auto& l : linesProp) w.Str(l);
    w.I32(realLines ? 1 : 0);
    if (realLines) {
        w.Str("RealLines");
        w.I32(static_cast<std::int32_t>(4 + realLines->size()));
        w.Str(*realLines);
    }
    w.I32(0);
    return w.Result();
}

class DeactiveMemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterToolkitClasses();
        RegisterSystemComponents();
    }
};

} // namespace

TEST_F(DeactiveMemoTest, IsADisabledFlatPanelAroundAReadOnlyBorderlessMemo) {
    TDeactiveMemo dm(nullptr);
    EXPECT_FALSE(dm.Enabled());
    EXPECT_FALSE(dm.BevelOuter());
    EXPECT_TRUE(dm.ParentColor());
    EXPECT_EQ(dm.Caption(), "");
    TMemo* m = dm.Memo();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Parent(), &dm);
    EXPECT_EQ(m->Owner(), &dm);
    EXPECT_EQ(m->Align(), TAlign::alClient);
    EXPECT_TRUE(m->ReadOnly());
    EXPECT_FALSE(m->BorderVisible());
    EXPECT_TRUE(m->Enabled()); // only the panel is disabled: the text is not greyed
    EXPECT_TRUE(m->ParentColor());
    EXPECT_TRUE(m->ParentFont());

    dm.SetBounds(0, 0, 200, 80);
    EXPECT_EQ(m->Width(), 200);
    EXPECT_EQ(m->Height(), 80);
}

TEST_F(DeactiveMemoTest, EveryChangeOfTheLinesReachesTheMemoAtOnce) {
    TDeactiveMemo dm(nullptr);
    dm.SetLines({"one", "two"});
    EXPECT_EQ(dm.Memo()->Lines(), (std::vector<std::string>{"one", "two"}));
    dm.Lines().Add("three");
    EXPECT_EQ(dm.Memo()->Text(), "one\r\ntwo\r\nthree");
    dm.Lines().SetText("a\r\nb\nc\r");
    EXPECT_EQ(dm.Memo()->Lines(), (std::vector<std::string>{"a", "b", "c"}));

    // "%s" filled in through Lines shows the formatted text at once.
    dm.Lines().SetText("\x83X\x83N\x83\x8A\x81[\x83\x93\x83Z\x81[\x83o\x81[\x81u%s\x81v\r\n");
    const std::string pattern = dm.Lines().Text();
    char buf[256];
    std::snprintf(buf, sizeof buf, pattern.c_str(), "Stars");
    dm.Lines().SetText(buf);
    EXPECT_EQ(dm.Memo()->Text(), "\x83X\x83N\x83\x8A\x81[\x83\x93\x83Z\x81[\x83o\x81[\x81uStars\x81v");

    dm.Lines().SetItem(0, "x");
    EXPECT_EQ(dm.Memo()->Lines(), std::vector<std::string>{"x"});
    dm.Lines().Clear();
    EXPECT_TRUE(dm.Memo()->Lines().empty());
}

TEST_F(DeactiveMemoTest, RealLinesBytesAreTheTextWithALengthAndOnlyWrittenWithLines) {
    TDeactiveMemo dm(nullptr);
    dm.SetLines({"ab", "\x82\xA0"}); // the second line is one double-byte character
    TMemoryStream s;
    dm.WriteRealLines(s);
    const std::vector<std::uint8_t> expected = {8, 0, 0, 0, 'a', 'b', '\r', '\n', 0x82, 0xA0, '\r', '\n'};
    EXPECT_EQ(s.Bytes(), expected);

    TForm form(nullptr);
    auto* withLines = new TDeactiveMemo(&form);
    withLines->SetName("dmFull");
    withLines->SetParent(&form);
    withLines->SetLines({"ab", "\x82\xA0"});
    auto* empty = new TDeactiveMemo(&form);
    empty->SetName("dmEmpty");
    empty->SetParent(&form);
    auto def = ComponentDefBytes(form);
    // "RealLines" appears once, right before its bytes; the empty memo writes none.
    std::string name = "RealLines";
    auto at = std::search(def.begin(), def.end(), name.begin(), name.end());
    ASSERT_NE(at, def.end());
    EXPECT_EQ(std::search(at + 1, def.end(), name.begin(), name.end()), def.end());
    std::vector<std::uint8_t> afterName(at + static_cast<std::ptrdiff_t>(name.size()),
                                        at + static_cast<std::ptrdiff_t>(name.size() + 4 + expected.size()));
    std::vector<std::uint8_t> envelope = {12, 0, 0, 0};
    envelope.insert(envelope.end(), expected.begin(), expected.end());
    EXPECT_EQ(afterName, envelope);

    TForm again(nullptr);
    again.LoadDefinition(def.data(), def.size());
    auto* full = again.Find<TDeactiveMemo>("dmFull");
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->Lines().Items(), (std::vector<std::string>{"ab", "\x82\xA0"}));
    EXPECT_EQ(full->Memo()->Lines(), full->Lines().Items());
    EXPECT_FALSE(full->Enabled());
    auto* none = again.Find<TDeactiveMemo>("dmEmpty");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->Lines().Count(), 0u);
}

TEST_F(DeactiveMemoTest, RealLinesWinsOverLinesWhenReading) {
    const std::string real = "new one\r\n\x93\xfa\x96\x7b\r\n";
    auto def = HandMadeDefinition({"old"}, &real);
    TForm form(nullptr);
    form.LoadDefinition(def.data(), def.size());
    auto* dm = form.Find<TDeactiveMemo>("dm");
    ASSERT_NE(dm, nullptr);
    EXPECT_EQ(dm->Lines().Items(), (std::vector<std::string>{"new one", "\x93\xfa\x96\x7b"}));
    EXPECT_EQ(dm->Memo()->Text(), "new one\r\n\x93\xfa\x96\x7b");

    // Without "RealLines" the published list is what there is.
    auto plain = HandMadeDefinition({"only", "list"}, nullptr);
    TForm form2(nullptr);
    form2.LoadDefinition(plain.data(), plain.size());
    EXPECT_EQ(form2.Find<TDeactiveMemo>("dm")->Memo()->Lines(), (std::vector<std::string>{"only", "list"}));
}

TEST_F(DeactiveMemoTest, ADamagedRealLinesLengthIsRefused) {
    TDefWriter w;
    BeginMemoDefinition(w);
    w.I32(0);
    w.I32(1);
    w.Str("RealLines");
    w.I32(6);
    w.I32(1000); // claims 1000 bytes of text, 2 are there
    w.Raw("ab", 2);
    w.I32(0);
    auto def = w.Result();
    TForm form(nullptr);
    EXPECT_THROW(form.LoadDefinition(def.data(), def.size()), ECorruptData);
}
