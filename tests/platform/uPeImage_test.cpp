// Version records read from hand-made program files, without a loader (resources by name
// are read by scrpack's signing tests, arbitrary bytes by the fuzz target).
#include "platform/uPeImage.h"
#include "platform/uVersionRecord.h"

#include "common/PeBytes.h"

#include <gtest/gtest.h>

using pebytes::Bytes;
using pebytes::Utf16z;
using pebytes::VersionNode;

namespace {

Bytes Fixed(std::uint32_t productMs, std::uint32_t productLs) {
    Bytes fixed(52);
    pebytes::Put32(fixed, 0, 0xFEEF04BD);
    pebytes::Put32(fixed, 16, productMs);
    pebytes::Put32(fixed, 20, productLs);
    return fixed;
}

Bytes Table(const std::u16string& key, const std::vector<std::pair<std::u16string, std::u16string>>& texts) {
    std::vector<Bytes> strings;
    for (const auto& [name, text] : texts) strings.push_back(VersionNode(name, Utf16z(text), true));
    return VersionNode(key, {}, true, strings);
}

Bytes Record(const Bytes& fixed, const std::vector<Bytes>& tables, const Bytes& translation) {
    std::vector<Bytes> blocks = {VersionNode(u"StringFileInfo", {}, true, tables)};
    if (!translation.empty())
        blocks.push_back(
            VersionNode(u"VarFileInfo", {}, true, {VersionNode(u"Translation", translation, false)}));
    return VersionNode(u"VS_VERSION_INFO", fixed, false, blocks);
}

Bytes Program(const Bytes& record) {
    return pebytes::PeWithResources(0x8664, {{16, u"", 1, record}});
}

} // namespace

// The texts the list of installed programs shows, by the system's rules: the languages the
// record lists first, then Japanese and English; table keys in any case; trailing blanks
// cut; the fixed product version when no text gives one; nothing from a damaged record.
TEST(PeImage, VersionRecordTexts) {
    const Bytes listedGerman = {0x07, 0x04, 0xB0, 0x04};
    struct Case {
        const char* What;
        Bytes File;
        std::string Company, Version;
    } cases[] = {
        {"listed language first",
         Program(Record(Fixed(0x00010000, 0),
                        {Table(u"040904B0", {{u"CompanyName", u"English Co"}, {u"ProductVersion", u"1.0"}}),
                         Table(u"040704b0", {{u"CompanyName", u"Orvane \u682A\u5F0F\u4F1A\u793E  \t"},
                                             {u"ProductVersion", u"2.0 \u30D9\u30FC\u30BF "}})},
                        listedGerman)),
         "Orvane \x8A\x94\x8E\xAE\x89\xEF\x8E\xD0", "2.0 \x83\x78\x81\x5B\x83\x5E"},
        {"Japanese before English when none is listed",
         Program(Record(Fixed(0, 0),
                        {Table(u"040904B0", {{u"CompanyName", u"English Co"}}),
                         Table(u"041104b0", {{u"CompanyName", u"Japan Co"}})},
                        {})),
         "Japan Co", "0.0.0.0"},
        {"fixed product version, unknown language ignored",
         Program(
             Record(Fixed(0x00030001, 0x00040001), {Table(u"040C04B0", {{u"ProductVersion", u"9"}})}, {})),
         "", "3.1.4.1"},
        {"a character code page 932 lacks, a lone surrogate",
         Program(Record(
             Fixed(0, 0),
             {Table(u"041104B0", {{u"CompanyName", std::u16string(u"A\uD55CB") + char16_t(0xD800) + u"C"}})},
             {})),
         "A?B?C", "0.0.0.0"},
        {"no record", pebytes::PeWithResources(0x8664, {}), "", ""},
        {"damaged record", Program(Bytes{0xFF, 0xFF, 0, 0, 0, 0}), "", ""},
        {"no program", Bytes(300, 'M'), "", ""},
    };
    for (const Case& c : cases) {
        const TVersionRecord r = VersionRecordOf(c.File.data(), c.File.size());
        EXPECT_EQ(r.CompanyName, c.Company) << c.What;
        EXPECT_EQ(r.ProductVersion, c.Version) << c.What;
    }
}
