// Stored window definitions: every value type, binary properties, nested definitions and
// damaged input, checked against hand-made bytes where the layout matters.
#include "toolkit/uClasses.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A component with one property of every type and two binary properties.
class TSample : public TComponent {
public:
    using TComponent::TComponent;
    std::string ClassName() const override { return "TSample"; }

    std::int32_t Number = 0;
    bool Flag = false;
    std::string Text;
    std::int32_t Colour = 0;
    int Kind = 0;
    std::uint32_t Options = 0;
    std::vector<std::string> Lines;
    std::vector<std::uint8_t> Blob;
    std::vector<std::uint8_t> Extra; // binary property "Extra", stored when not empty
    bool WithNested = false;         // binary property "Nested": a whole definition of Inner
    TComponent* Inner = nullptr;
    int LoadedCalls = 0;

    void GetProperties(TPropList& p) override {
        TComponent::GetProperties(p);
        p.Int(
            "Number", [this] { return Number; }, [this](std::int32_t v) { Number = v; }, 0);
        p.Bool(
            "Flag", [this] { return Flag; }, [this](bool v) { Flag = v; }, false);
        p.String(
            "Text", [this] { return Text; }, [this](const std::string& v) { Text = v; });
        p.Color(
            "Colour", [this] { return Colour; }, [this](std::int32_t v) { Colour = v; }, 0);
        p.Enum(
            "Kind", {"kdOne", "kdTwo", "kdThree"}, [this] { return Kind; }, [this](int v) { Kind = v; }, 0);
        p.Set(
            "Options", {"opA", "opB", "opC"}, [this] { return Options; },
            [this](std::uint32_t v) { Options = v; }, 0u);
        p.Strings(
            "Lines", [this] { return Lines; }, [this](std::vector<std::string> v) { Lines = std::move(v); });
        p.Binary(
            "Blob", [this] { return Blob; }, [this](std::vector<std::uint8_t> v) { Blob = std::move(v); });
    }
    void DefineProperties(TFiler& f) override {
        f.DefineBinaryProperty(
            "Extra", [this](TStream& s) { Extra = ReadAll(s); },
            [this](TStream& s) { s.WriteBuffer(Extra.data(), Extra.size()); }, !Extra.empty());
        f.DefineBinaryProperty(
            "Nested",
            [this](TStream& s) {
                if (!Inner) Inner = new TSample(this);
                ReadComponentDef(s, *Inner);
            },
            [this](TStream& s) { WriteComponentDef(s, *Inner); }, WithNested && Inner);
    }
    void Loaded() override { ++LoadedCalls; }

    static std::vector<std::uint8_t> ReadAll(TStream& s) {
        std::vector<std::uint8_t> b(static_cast<std::size_t>(s.Remaining()));
        s.ReadBuffer(b.data(), b.size());
        return b;
    }
};

class DefStream : public ::testing::Test {
protected:
    void SetUp() override { RegisterComponentClass<TSample>(); }
};

std::vector<std::uint8_t> Str(const std::string& s) {
    std::vector<std::uint8_t> b(4 + s.size());
    for (int i = 0; i < 4; ++i) b[i] = std::uint8_t(s.size() >> (8 * i));
    std::memcpy(b.data() + 4, s.data(), s.size());
    return b;
}
void Append(std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
}
void Cat(std::vector<std::uint8_t>& a, std::initializer_list<std::vector<std::uint8_t>> parts) {
    for (const auto& p : parts) Append(a, p);
}

// A definition of TSample objects, each the only child of the one before, levels deep
// below the root; the innermost carries "Nested" (when given) and "Extra" bytes.
std::vector<std::uint8_t> Chain(int levels, const std::vector<std::uint8_t>& nested,
                                const std::vector<std::uint8_t>& extra = {}) {
    std::vector<std::uint8_t> def = {'S', 'C', 'D', 'F', 1};
    for (int level = 0; level <= levels; ++level) {
        Cat(def, {Str("TSample"), Str(""), {0, 0, 0, 0}});
        if (level < levels) {
            Append(def, {0, 0, 0, 0, 1, 0, 0, 0});
            continue;
        }
        std::vector<std::pair<std::string, std::vector<std::uint8_t>>> binaries;
        if (!nested.empty()) binaries.emplace_back("Nested", nested);
        if (!extra.empty()) binaries.emplace_back("Extra", extra);
        def.push_back(std::uint8_t(binaries.size()));
        Append(def, {0, 0, 0});
        for (const auto& [name, data] : binaries) {
            Cat(def, {Str(name), Str(std::string(data.begin(), data.end()))});
        }
        Append(def, {0, 0, 0, 0});
    }
    return def;
}

} // namespace

TEST_F(DefStream, DefaultsStoreNothingAndMatchTheHandMadeLayout) {
    TSample root(nullptr);
    root.SetName("frmX");
    std::vector<std::uint8_t> expected = {'S', 'C', 'D', 'F', 1};
    Cat(expected, {Str("TSample"), Str("frmX")});
    Append(expected, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}); // no properties, binaries, children
    EXPECT_EQ(ComponentDefBytes(root), expected);
}

TEST_F(DefStream, EveryValueTypeIsWrittenAsSpecifiedAndReadBack) {
    TSample root(nullptr);
    root.Number = -2;
    root.Flag = true;
    root.Text = "\x83\x65\x83\x58\x83\x67"; // "テスト" in code page 932
    root.Colour = 0x00FF8040;
    root.Kind = 2;
    root.Options = 5;
    root.Lines = {"a", ""};
    root.Blob = {0, 0xFF};
    root.SetTag(7);
    auto bytes = ComponentDefBytes(root);

    std::vector<std::uint8_t> expected = {'S', 'C', 'D', 'F', 1};
    Cat(expected, {Str("TSample"), Str(""), {9, 0, 0, 0}});
    Cat(expected,
        {Str("Tag"), {1, 7, 0, 0, 0}, Str("Number"), {1, 0xFE, 0xFF, 0xFF, 0xFF}, Str("Flag"), {2, 1}});
    Cat(expected, {Str("Text"), {3, 6, 0, 0, 0, 0x83, 0x65, 0x83, 0x58, 0x83, 0x67}});
    Cat(expected, {Str("Colour"), {4, 0x40, 0x80, 0xFF, 0x00}, Str("Kind"), {5}, Str("kdThree")});
    Cat(expected, {Str("Options"), {6, 2, 0, 0, 0}, Str("opA"), Str("opC")});
    Cat(expected, {Str("Lines"), {7, 2, 0, 0, 0}, Str("a"), Str(""), Str("Blob"), {8, 2, 0, 0, 0, 0, 0xFF}});
    Append(expected, {0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(bytes, expected);

    // Read back, every value is there again: written once more, the same bytes.
    TSample copy(nullptr);
    ReadComponentDef(bytes.data(), bytes.size(), copy);
    EXPECT_EQ(ComponentDefBytes(copy), expected);
    EXPECT_EQ(copy.LoadedCalls, 1);
    EXPECT_FALSE(copy.IsLoading());
}

TEST_F(DefStream, BinaryPropertiesPresentAbsentAndNested) {
    TSample root(nullptr);
    root.Extra = {1, 2, 3};
    root.WithNested = true;
    root.Inner = new TSample(&root);
    root.Inner->SetName("inner");
    static_cast<TSample*>(root.Inner)->Text = "deep";
    auto bytes = ComponentDefBytes(root);
    // The inner component is stored only inside "Nested", not as a second child.
    TSample copy(nullptr);
    ReadComponentDef(bytes.data(), bytes.size(), copy);
    EXPECT_EQ(copy.Extra, (std::vector<std::uint8_t>{1, 2, 3}));
    ASSERT_NE(copy.Inner, nullptr);
    EXPECT_EQ(static_cast<TSample*>(copy.Inner)->Text, "deep");
    EXPECT_EQ(copy.Inner->Name(), "inner");

    // The nested stream is a complete definition with its own signature.
    const char* sig = "SCDF";
    auto it = std::search(bytes.begin() + 4, bytes.end(), sig, sig + 4);
    EXPECT_NE(it, bytes.end());

    TSample plain(nullptr);
    auto none = ComponentDefBytes(plain);
    TSample copy2(nullptr);
    ReadComponentDef(none.data(), none.size(), copy2);
    EXPECT_TRUE(copy2.Extra.empty());
    EXPECT_EQ(copy2.Inner, nullptr);
}

TEST_F(DefStream, ChildrenAreCreatedByClassNameAndOwnedByTheRoot) {
    TSample root(nullptr);
    auto* a = new TSample(&root);
    a->SetName("a");
    a->Number = 1;
    auto* b = new TSample(&root);
    b->SetName("b");
    b->Text = "x";
    auto bytes = ComponentDefBytes(root);
    TSample copy(nullptr);
    ReadComponentDef(bytes.data(), bytes.size(), copy);
    ASSERT_EQ(copy.Components().size(), 2u);
    EXPECT_EQ(copy.Find<TSample>("a")->Number, 1);
    EXPECT_EQ(copy.Find<TSample>("B")->Text, "x");
    EXPECT_EQ(copy.Find<TSample>("a")->LoadedCalls, 1);
}

TEST_F(DefStream, OwnerFreesOwnedComponentsAndNamesAreUnique) {
    auto* root = new TSample(nullptr);
    auto* a = new TSample(root);
    a->SetName("a");
    auto* b = new TSample(root);
    EXPECT_THROW(b->SetName("A"), EComponentError);
    delete a; // leaves the owner's list
    EXPECT_EQ(root->Components().size(), 1u);
    b->SetName("a");
    delete root; // frees b (checked by sanitizers and leak tools)
    EXPECT_THROW(CreateComponentByClassName("TNoSuchClass", nullptr), EClassNotFound);
}

TEST_F(DefStream, DamagedInputIsRejectedWithoutCrashing) {
    TSample root(nullptr);
    root.Text = "hello";
    root.Lines = {"x", "y"};
    root.Extra = {9, 9};
    auto* child = new TSample(&root);
    child->SetName("c");
    auto good = ComponentDefBytes(root);

    // Every truncation fails cleanly.
    for (std::size_t n = 0; n < good.size(); ++n) {
        TSample t(nullptr);
        EXPECT_THROW(ReadComponentDef(good.data(), n, t), ECorruptData) << "length " << n;
    }
    // Trailing garbage, a huge count, a wrong signature; a wrong root class.
    auto longer = good, badSig = good;
    longer.push_back(0);
    badSig[0] = 'X';
    std::vector<std::uint8_t> huge = {'S', 'C', 'D', 'F', 1};
    Cat(huge, {Str("TSample"), Str(""), {0xFF, 0xFF, 0xFF, 0x7F}});
    for (const auto& bad : {longer, huge, badSig}) {
        TSample t(nullptr);
        EXPECT_THROW(ReadComponentDef(bad.data(), bad.size(), t), ECorruptData);
    }
    TComponent other(nullptr);
    EXPECT_THROW(ReadComponentDef(good.data(), good.size(), other), ECorruptData);
}

TEST_F(DefStream, UnknownPropertiesAndWrongTypesAreRejected) {
    // A TSample root with the one property name = value (type byte and data).
    auto oneProperty = [](const std::string& name, const std::vector<std::uint8_t>& value) {
        std::vector<std::uint8_t> def = {'S', 'C', 'D', 'F', 1};
        Cat(def, {Str("TSample"), Str(""), {1, 0, 0, 0}, Str(name), value, {0, 0, 0, 0, 0, 0, 0, 0}});
        return def;
    };
    TSample t(nullptr);
    auto flagAsInt = oneProperty("Flag", {1, 1, 0, 0, 0}); // an int for a Boolean property
    EXPECT_THROW(ReadComponentDef(flagAsInt.data(), flagAsInt.size(), t), ECorruptData);
    std::vector<std::uint8_t> unknownIdent = {5};
    Append(unknownIdent, Str("kdNine"));
    auto badKind = oneProperty("Kind", unknownIdent);
    EXPECT_THROW(ReadComponentDef(badKind.data(), badKind.size(), t), ECorruptData);
    // A plain int is accepted for a colour.
    auto colour = oneProperty("Colour", {1, 0x10, 0, 0, 0});
    ReadComponentDef(colour.data(), colour.size(), t);
    EXPECT_EQ(t.Colour, 0x10);
}

TEST_F(DefStream, NestedDefinitionsShareOneDepthAndSizeBudget) {
    auto read = [](const std::vector<std::uint8_t>& def) {
        TSample t(nullptr);
        ReadComponentDef(def.data(), def.size(), t);
    };
    // 40 levels, then a nested definition 20 more: within the limit together.
    EXPECT_NO_THROW(read(Chain(40, Chain(20, {}))));
    // 30 more: each part is within the limit, together they are not.
    EXPECT_THROW(read(Chain(40, Chain(30, {}))), ECorruptData);
    // Five definitions, each inside the one before, around 10 KB: they would be copied once
    // per level.
    const std::vector<std::uint8_t> blob(10000, 7);
    EXPECT_NO_THROW(read(Chain(0, Chain(0, {}, blob))));
    std::vector<std::uint8_t> def = Chain(0, {}, blob);
    for (int i = 0; i < 4; ++i) def = Chain(0, def);
    EXPECT_THROW(read(def), ECorruptData);
}
