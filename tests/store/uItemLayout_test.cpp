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

// The file locator on bytes in memory; a read outside the file fails the test.
TContainerPlace LocateIn(const Bytes8& file) {
    return LocateContainerIn(static_cast<std::int64_t>(file.size()),
                             [&](std::int64_t offset, std::uint8_t* buffer, std::size_t count) {
                                 EXPECT_TRUE(offset >= 0 && count <= file.size() &&
                                             static_cast<std::size_t>(offset) <= file.size() - count);
                                 std::copy_n(file.data() + offset, count, buffer);
                                 return true;
                             });
}

// The verdict on a whole file, as the uninstaller reaches it: locate, then walk.
TFind FindInFile(const Bytes8& file, const std::string& name) {
    const TContainerPlace place = LocateIn(file);
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
        EXPECT_NE(WalkContainer(part.data(), part.size(), [](const TItemRecord&) {}), TWalk::Ok) << cut;
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
    EXPECT_EQ(WalkContainer(k.b.data(), k.b.size(), [](const TItemRecord&) {}), TWalk::NameTooLong);
    EXPECT_EQ(FindItem(k.b.data(), k.b.size(), "GUID", 4), TFind::Damaged);
    // A name that fits but leaves no room for the flag and the stored size.
    Layout tight;
    tight.I32(0x2A).I32(1).I32(5).Raw("GUIDx").U8(0).I32(0);
    EXPECT_EQ(FindItem(tight.b.data(), tight.b.size(), "GUID", 4), TFind::Absent);
    Bytes8 cut(tight.b.begin(), tight.b.end() - 1);
    EXPECT_EQ(WalkContainer(cut.data(), cut.size(), [](const TItemRecord&) {}), TWalk::NameTooLong);
    // A negative name length is an empty name.
    Layout negative;
    negative.I32(0x2A).I32(1).I32(-5).U8(0).I32(0);
    EXPECT_EQ(FindItem(negative.b.data(), negative.b.size(), "", 0), TFind::Present);
}

TEST(ItemLayout, AStoredSizePastTheEndIsDamaged) {
    Layout k;
    k.I32(0x2A).I32(1).Name("GUID", 0x2A).U8(0).I32(static_cast<std::int32_t>(kGuid.size()) + 1).Raw(kGuid);
    EXPECT_EQ(WalkContainer(k.b.data(), k.b.size(), [](const TItemRecord&) {}), TWalk::StoredTooLarge);
    EXPECT_EQ(FindInFile(FileOf(k.b), "GUID"), TFind::Damaged);
    // A stored size of 0 or less: no data, and the next record follows at once.
    Layout none;
    none.I32(0x2A).I32(2).Name("A", 0x2A).U8(0).I32(-7).Stored("GUID", "", 0x2A);
    EXPECT_EQ(FindItem(none.b.data(), none.b.size(), "GUID", 4), TFind::Present);
}

TEST(ItemLayout, ANegativeOrOversizedCountIsDamaged) {
    Layout k;
    k.I32(0x2A).I32(-1).Stored("GUID", kGuid, 0x2A);
    EXPECT_EQ(WalkContainer(k.b.data(), k.b.size(), [](const TItemRecord&) {}), TWalk::NegativeCount);
    EXPECT_EQ(FindInFile(FileOf(k.b), "GUID"), TFind::Damaged);
    Layout many;
    many.I32(0x2A).I32(0x7FFFFFFF).Stored("GUID", kGuid, 0x2A);
    EXPECT_EQ(WalkContainer(many.b.data(), many.b.size(), [](const TItemRecord&) {}), TWalk::CountTooLarge);
    // One record of 9 bytes fits a count of 1, not of 2.
    Layout one;
    one.I32(0x2A).I32(2).Stored("", "", 0x2A);
    EXPECT_EQ(WalkContainer(one.b.data(), one.b.size(), [](const TItemRecord&) {}), TWalk::CountTooLarge);
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

// The names ReadItems finds in a file, or "damaged".
std::string ReadNames(const Bytes8& file) {
    TempDir dir;
    WriteBytes(dir / "signed.exe", file);
    TItemTypes items;
    try {
        ReadItems(dir / "signed.exe", items);
    } catch (const std::exception&) {
        return "damaged";
    }
    std::string names;
    for (const TItemType& item : items) names += item.Name;
    return names;
}

// A signed program: the container lies before the certificate table, past 0 to 7 zero
// bytes of padding, for PE32 and PE32+ alike; more zeros than that are no padding.
TEST(ItemLayout, LooksPastTheCertificateTable) {
    for (bool plus : {false, true}) {
        for (std::size_t padding = 0; padding <= 8; ++padding) {
            const SignedFile f(plus, padding);
            const TContainerPlace place = LocateIn(f.b);
            EXPECT_EQ(place.Signature.Offset, static_cast<std::int64_t>(f.Table));
            EXPECT_EQ(place.Signature.Size, static_cast<std::int64_t>(f.Length));
            EXPECT_EQ(ReadNames(f.b), padding <= 7 ? "A" : "") << plus << " " << padding;
            EXPECT_EQ(FindInFile(f.b, "A"), padding <= 7 ? TFind::Present : TFind::Absent) << plus << padding;
        }
    }
}

// A security entry that no signing tool writes leaves the file unsigned: its container is
// the one at the very end. One field spoiled at a time.
TEST(ItemLayout, OddSecurityEntriesReadAsUnsigned) {
    using Spoil = void (*)(SignedFile&);
    const std::vector<std::pair<const char*, Spoil>> odd = {
        {"size 0", [](SignedFile& f) { f.Security(static_cast<std::uint32_t>(f.Table), 0); }},
        {"size 7 at the end",
         [](SignedFile& f) { f.Security(static_cast<std::uint32_t>(f.b.size() - 7), 7); }},
        {"outside the file",
         [](SignedFile& f) {
             f.Security(static_cast<std::uint32_t>(f.b.size()), static_cast<std::uint32_t>(f.Length));
         }},
        {"wrapping around", [](SignedFile& f) { f.Security(0xFFFFFFF8u, 0x10); }},
        {"into the middle",
         [](SignedFile& f) {
             f.Security(static_cast<std::uint32_t>(f.Table - 8), static_cast<std::uint32_t>(f.Length));
         }},
        {"over the headers",
         [](SignedFile& f) { f.Security(0x40, static_cast<std::uint32_t>(f.b.size() - 0x40)); }},
        {"PE offset past the end", [](SignedFile& f) { f.Put32(0x3C, 0xFFFFFFF0u); }},
        {"no PE signature", [](SignedFile& f) { f.b[SignedFile::kPe + 2] = 'x'; }},
        {"unknown optional header", [](SignedFile& f) { f.Put16(SignedFile::kOptional, 0x107); }},
        {"four directory entries", [](SignedFile& f) { f.Put32(f.Directory - 4, 4); }},
        {"optional header without the entry",
         [](SignedFile& f) {
             f.Put16(SignedFile::kPe + 20,
                     static_cast<std::uint32_t>(f.Directory - SignedFile::kOptional + 32));
         }},
        {"certificate longer than the table",
         [](SignedFile& f) { f.Put32(f.Table, static_cast<std::uint32_t>(f.Length + 1)); }},
        {"unknown certificate revision", [](SignedFile& f) { f.Put16(f.Table + 4, 0x300); }},
    };
    for (bool plus : {false, true}) {
        for (const auto& [what, spoil] : odd) {
            SignedFile f(plus);
            spoil(f);
            EXPECT_EQ(LocateIn(f.b).Signature.Size, 0) << what;
            EXPECT_EQ(ReadNames(f.b), "B") << what << " " << plus;
            EXPECT_EQ(FindInFile(f.b, "B"), TFind::Present) << what;
        }
    }
}

} // namespace
