// The allocation-free container walker (store/uItemLayout.h) on bytes laid out by hand,
// and its verdicts next to ReadItems' on the same files.
#include "store/uExeAdder.h"
#include "store/uItemLayout.h"

#include "ContainerBytes.h"
#include "common/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace itemlayout;
using Bytes8 = std::vector<std::uint8_t>;

namespace {

// A file's bytes: host bytes, the block, its length and the trailer.
Bytes8 FileOf(const Bytes8& block, const std::string& host = "MZ host") {
    return Layout().Raw(host).Raw(block).Close(host.size()).b;
}

TContainerPlace Locate(const Bytes8& file) {
    const std::size_t tail = std::min<std::size_t>(file.size(), kContainerTailSize);
    return LocateContainer(static_cast<std::int64_t>(file.size()), file.data() + file.size() - tail, tail);
}

// The verdict on a whole file, as the uninstaller reaches it: locate, then walk.
TFind FindInFile(const Bytes8& file, const std::string& name) {
    const TContainerPlace place = Locate(file);
    if (place.Place == TPlace::None) return TFind::Absent;
    if (place.Place != TPlace::Found) return TFind::Damaged;
    return FindItem(file.data() + place.BlockStart, static_cast<std::size_t>(place.BlockLength), name.data(),
                    name.size());
}

const std::string kGuid = "{4C1F2A9E-3B7D-4E55-9A10-6D2E8F0B7C31}";

TEST(ItemLayout, WalksAGoodContainerAndUnscramblesNames) {
    Layout k;
    k.I32(0x2A)
        .I32(3)
        .Stored("Name", "x", 0x2A)
        .Name("GUID", 0x2A)
        .U8(1)
        .I32(3)
        .Raw("zzz")
        .Stored("", "", 0x2A);
    std::vector<std::string> names;
    std::vector<std::int32_t> stored;
    std::vector<bool> compressed;
    EXPECT_EQ(WalkContainer(k.b.data(), k.b.size(),
                            [&](const TItemRecord& r) {
                                names.emplace_back(reinterpret_cast<const char*>(r.Name), r.NameLength);
                                for (char& c : names.back()) c = static_cast<char>(c ^ r.Key);
                                stored.push_back(r.Stored);
                                compressed.push_back(r.Compressed);
                            }),
              TWalk::Ok);
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "GUID", ""}));
    EXPECT_EQ(stored, (std::vector<std::int32_t>{1, 3, 0}));
    EXPECT_EQ(compressed, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(FindItem(k.b.data(), k.b.size(), "GUID", 4), TFind::Present);
    EXPECT_EQ(FindItem(k.b.data(), k.b.size(), "GUI", 3), TFind::Absent);
    EXPECT_EQ(FindItem(k.b.data(), k.b.size(), "guid", 4), TFind::Absent);
    EXPECT_EQ(FindInFile(FileOf(k.b), "GUID"), TFind::Present);
}

TEST(ItemLayout, OnlyTheKeysLowByteScrambles) {
    Layout k;
    k.I32(0x1234).I32(1).Stored("GUID", kGuid, 0x34);
    EXPECT_EQ(FindItem(k.b.data(), k.b.size(), "GUID", 4), TFind::Present);
}

TEST(ItemLayout, AnEmptyContainerAndNoContainer) {
    Layout k;
    k.I32(0x42).I32(0);
    EXPECT_EQ(FindItem(k.b.data(), k.b.size(), "GUID", 4), TFind::Absent);
    EXPECT_EQ(FindInFile(FileOf(k.b), "GUID"), TFind::Absent);
    EXPECT_EQ(Locate(Bytes("MZ no container")).Place, TPlace::None);
    EXPECT_EQ(Locate(Bytes("PLW")).Place, TPlace::None);
    EXPECT_EQ(Locate({}).Place, TPlace::None);
    const TContainerPlace place = Locate(FileOf(k.b, "MZ"));
    EXPECT_EQ(place.Place, TPlace::Found);
    EXPECT_EQ(place.BlockStart, 2);
    EXPECT_EQ(place.BlockLength, 8);
}

TEST(ItemLayout, ATruncatedContainerIsDamaged) {
    Layout k;
    k.I32(0x2A).I32(1).Stored("GUID", kGuid, 0x2A);
    // Every cut inside the record: the walk never reads past what it was given.
    for (std::size_t cut = 8; cut < k.b.size(); ++cut) {
        Bytes8 part(k.b.begin(), k.b.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_NE(WalkContainer(part.data(), part.size(), [](const TItemRecord&) {}), TWalk::Ok)
            << cut;
        EXPECT_EQ(FindItem(part.data(), part.size(), "GUID", 4), TFind::Damaged) << cut;
    }
    for (std::size_t cut = 0; cut < 8; ++cut)
        EXPECT_EQ(WalkContainer(k.b.data(), cut, [](const TItemRecord&) {}), TWalk::ShortHead);
    // A file cut short behind its trailer.
    EXPECT_EQ(Locate(Bytes("xxxPLWS")).Place, TPlace::TooShort);
    EXPECT_EQ(Locate(Bytes("PLWS")).Place, TPlace::TooShort);
}

TEST(ItemLayout, ABadBlockLengthIsDamaged) {
    Layout k;
    k.I32(0x2A).I32(1).Stored("GUID", kGuid, 0x2A);
    Bytes8 file = FileOf(k.b, "MZ");
    const std::size_t lengthAt = file.size() - 12;
    auto withLength = [&](std::int64_t l) {
        Bytes8 f = file;
        for (int i = 0; i < 8; ++i)
            f[lengthAt + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(static_cast<std::uint64_t>(l) >> (8 * i));
        return f;
    };
    EXPECT_EQ(Locate(withLength(static_cast<std::int64_t>(k.b.size()) + 2)).Place, TPlace::Found);
    for (std::int64_t l : {std::int64_t{-1}, std::int64_t{7}, static_cast<std::int64_t>(k.b.size()) + 3,
                           std::int64_t{0x7FFFFFFFFFFFFFFF}, std::int64_t(-0x7FFFFFFFFFFFFFFF - 1)}) {
        const TContainerPlace place = Locate(withLength(l));
        EXPECT_EQ(place.Place, TPlace::BadLength) << l;
        EXPECT_EQ(place.BlockLength, l);
        EXPECT_EQ(FindInFile(withLength(l), "GUID"), TFind::Damaged) << l;
    }
}

TEST(ItemLayout, ANameLengthPastTheEndIsDamaged) {
    // The "GUID" record comes first: a later damaged record still spoils the whole container.
    Layout k;
    k.I32(0x2A).I32(2).Stored("GUID", kGuid, 0x2A).I32(1000).Raw("abcdefghijklmn");
    EXPECT_EQ(WalkContainer(k.b.data(), k.b.size(), [](const TItemRecord&) {}),
              TWalk::NameTooLong);
    EXPECT_EQ(FindItem(k.b.data(), k.b.size(), "GUID", 4), TFind::Damaged);
    // A name that fits but leaves no room for the flag and the stored size.
    Layout tight;
    tight.I32(0x2A).I32(1).I32(5).Raw("GUIDx").U8(0).I32(0);
    EXPECT_EQ(FindItem(tight.b.data(), tight.b.size(), "GUID", 4), TFind::Absent);
    Bytes8 cut(tight.b.begin(), tight.b.end() - 1);
    EXPECT_EQ(WalkContainer(cut.data(), cut.size(), [](const TItemRecord&) {}),
              TWalk::NameTooLong);
    // A negative name length is an empty name.
    Layout negative;
    negative.I32(0x2A).I32(1).I32(-5).U8(0).I32(0);
    EXPECT_EQ(FindItem(negative.b.data(), negative.b.size(), "", 0), TFind::Present);
}

TEST(ItemLayout, AStoredSizePastTheEndIsDamaged) {
    Layout k;
    k.I32(0x2A).I32(1).Name("GUID", 0x2A).U8(0).I32(static_cast<std::int32_t>(kGuid.size()) + 1).Raw(kGuid);
    EXPECT_EQ(WalkContainer(k.b.data(), k.b.size(), [](const TItemRecord&) {}),
              TWalk::StoredTooLarge);
    EXPECT_EQ(FindInFile(FileOf(k.b), "GUID"), TFind::Damaged);
    // A stored size of 0 or less: no data, and the next record follows at once.
    Layout none;
    none.I32(0x2A).I32(2).Name("A", 0x2A).U8(0).I32(-7).Stored("GUID", "", 0x2A);
    EXPECT_EQ(FindItem(none.b.data(), none.b.size(), "GUID", 4), TFind::Present);
}

TEST(ItemLayout, ANegativeOrOversizedCountIsDamaged) {
    Layout k;
    k.I32(0x2A).I32(-1).Stored("GUID", kGuid, 0x2A);
    EXPECT_EQ(WalkContainer(k.b.data(), k.b.size(), [](const TItemRecord&) {}),
              TWalk::NegativeCount);
    EXPECT_EQ(FindInFile(FileOf(k.b), "GUID"), TFind::Damaged);
    Layout many;
    many.I32(0x2A).I32(0x7FFFFFFF).Stored("GUID", kGuid, 0x2A);
    EXPECT_EQ(WalkContainer(many.b.data(), many.b.size(), [](const TItemRecord&) {}),
              TWalk::CountTooLarge);
    // One record of 9 bytes fits a count of 1, not of 2.
    Layout one;
    one.I32(0x2A).I32(2).Stored("", "", 0x2A);
    EXPECT_EQ(WalkContainer(one.b.data(), one.b.size(), [](const TItemRecord&) {}),
              TWalk::CountTooLarge);
}

// The walker and ReadItems call the same files whole or damaged, and see the same names.
TEST(ItemLayout, AgreesWithReadItems) {
    TempDir dir;
    auto path = dir / "host.exe";
    Layout good;
    good.I32(0x2A).I32(2).Stored("GUID", kGuid, 0x2A).Stored("Z", "zz", 0x2A);
    Layout badName;
    badName.I32(0x2A).I32(2).Stored("GUID", kGuid, 0x2A).I32(1000).Raw("abcdefghijklmn");
    Layout badCount;
    badCount.I32(0x2A).I32(-3).Stored("GUID", kGuid, 0x2A);
    Layout cut;
    cut.I32(0x2A).I32(2).Stored("GUID", kGuid, 0x2A).I32(0).U8(0).I32(0);
    cut.b.pop_back();
    for (const Bytes8& file : {FileOf(good.b), FileOf(badName.b), FileOf(badCount.b), FileOf(cut.b),
                               Bytes("xxxPLWS"), Bytes("no container")}) {
        WriteBytes(path, file);
        TItemTypes items;
        bool damaged = false;
        try {
            ReadItems(path, items);
        } catch (const std::exception&) {
            damaged = true;
        }
        const TFind find = FindInFile(file, "GUID");
        EXPECT_EQ(find == TFind::Damaged, damaged);
        if (!damaged) {
            bool hasGuid = false;
            for (const TItemType& item : items) hasGuid = hasGuid || item.Name == "GUID";
            EXPECT_EQ(find == TFind::Present, hasGuid);
        }
    }
    // A container WriteItems wrote, compressed items and all.
    WriteBytes(path, Bytes("MZ host"));
    TWriteHelper writer;
    writer.AddString("Name", "TestSaver");
    writer.AddString("GUID", kGuid);
    writer.AddData("Raw", "abc", 3, false);
    writer.AppendToFile(path);
    const Bytes8 written = ReadBytes(path);
    EXPECT_EQ(FindInFile(written, "GUID"), TFind::Present);
    EXPECT_EQ(FindInFile(written, "Raw"), TFind::Present);
    EXPECT_EQ(FindInFile(written, "Other"), TFind::Absent);
}

} // namespace
