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

TWalk Walk(const Bytes8& block) {
    return WalkContainer(block.data(), block.size(), [](const TItemRecord&) {});
}

TFind Find(const Bytes8& block, const std::string& name) {
    return FindItem(block.data(), block.size(), name.data(), name.size());
}

const std::string kGuid = "{4C1F2A9E-3B7D-4E55-9A10-6D2E8F0B7C31}";

// A block with key 0x2A and this count, its records to follow.
Layout Block(std::int32_t count) {
    return Layout().I32(0x2A).I32(count);
}

TEST(ItemLayout, WalksAGoodContainerAndUnscramblesNames) {
    const Bytes8 k =
        Block(3).Stored("Name", "x", 0x2A).Name("GUID", 0x2A).U8(1).I32(3).Raw("zzz").Stored("", "", 0x2A).b;
    std::string seen; // name/stored size, "z" for compressed
    const auto visit = [&](const TItemRecord& r) {
        for (std::size_t i = 0; i < r.NameLength; ++i) seen += static_cast<char>(r.Name[i] ^ r.Key);
        seen += "/" + std::to_string(r.Stored) + (r.Compressed ? "z;" : ";");
    };
    EXPECT_EQ(WalkContainer(k.data(), k.size(), visit), TWalk::Ok);
    EXPECT_EQ(seen, "Name/1;GUID/3z;/0;");
    EXPECT_EQ(FindInFile(FileOf(k), "GUID"), TFind::Present);
}

// Whole blocks: which names FindItem finds in them.
TEST(ItemLayout, FindsExactNamesInWholeBlocks) {
    const Bytes8 good = Block(2).Stored("Name", "x", 0x2A).Stored("GUID", "zzz", 0x2A).b;
    const struct {
        const char* what;
        Bytes8 block;
        std::string name;
        TFind find;
    } cases[] = {
        {"the name", good, "GUID", TFind::Present},
        {"a prefix", good, "GUI", TFind::Absent},
        {"other case", good, "guid", TFind::Absent},
        {"only the key's low byte scrambles", Layout().I32(0x1234).I32(1).Stored("GUID", kGuid, 0x34).b,
         "GUID", TFind::Present},
        {"empty block", Block(0).b, "GUID", TFind::Absent},
        // A name that fits but leaves no room for the flag and the stored size: just fits.
        {"tight name", Block(1).I32(5).Raw("GUIDx").U8(0).I32(0).b, "GUID", TFind::Absent},
        {"negative name length: an empty name", Block(1).I32(-5).U8(0).I32(0).b, "", TFind::Present},
        // A stored size of 0 or less: no data, and the next record follows at once.
        {"record after a negative size", Block(2).Name("A", 0x2A).U8(0).I32(-7).Stored("GUID", "", 0x2A).b,
         "GUID", TFind::Present},
    };
    for (const auto& c : cases) EXPECT_EQ(Find(c.block, c.name), c.find) << c.what;
}

// Damaged blocks: the walk says why, and FindItem calls them damaged even where a whole
// "GUID" record comes before the damage.
TEST(ItemLayout, DamagedBlocks) {
    Bytes8 tight = Block(1).I32(5).Raw("GUIDx").U8(0).I32(0).b;
    tight.pop_back();
    const std::int32_t tooLarge = static_cast<std::int32_t>(kGuid.size()) + 1;
    const struct {
        const char* what;
        Bytes8 block;
        TWalk walk;
    } cases[] = {
        {"name length past the end", Block(2).Stored("GUID", kGuid, 0x2A).I32(1000).Raw("abcdefghijklmn").b,
         TWalk::NameTooLong},
        {"no room for the flag and size", tight, TWalk::NameTooLong},
        {"stored size past the end", Block(1).Name("GUID", 0x2A).U8(0).I32(tooLarge).Raw(kGuid).b,
         TWalk::StoredTooLarge},
        {"negative count", Block(-1).Stored("GUID", kGuid, 0x2A).b, TWalk::NegativeCount},
        {"huge count", Block(0x7FFFFFFF).Stored("GUID", kGuid, 0x2A).b, TWalk::CountTooLarge},
        // One record of 9 bytes fits a count of 1, not of 2.
        {"count 2 for 9 bytes", Block(2).Stored("", "", 0x2A).b, TWalk::CountTooLarge},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Walk(c.block), c.walk) << c.what;
        EXPECT_EQ(Find(c.block, "GUID"), TFind::Damaged) << c.what;
        EXPECT_EQ(FindInFile(FileOf(c.block), "GUID"), TFind::Damaged) << c.what;
    }
    // Every cut inside a record: the walk never reads past what it was given.
    const Bytes8 k = Block(1).Stored("GUID", kGuid, 0x2A).b;
    for (std::size_t cut = 8; cut < k.size(); ++cut) {
        const Bytes8 part(k.begin(), k.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_NE(Walk(part), TWalk::Ok) << cut;
        EXPECT_EQ(Find(part, "GUID"), TFind::Damaged) << cut;
    }
    for (std::size_t cut = 0; cut < 8; ++cut)
        EXPECT_EQ(WalkContainer(k.data(), cut, [](const TItemRecord&) {}), TWalk::ShortHead);
}

TEST(ItemLayout, LocatesTheBlockByItsTrailer) {
    const Bytes8 k = Block(1).Stored("GUID", kGuid, 0x2A).b;
    EXPECT_EQ(Locate(Bytes("MZ no container")).Place, TPlace::None);
    EXPECT_EQ(Locate(Bytes("PLW")).Place, TPlace::None);
    EXPECT_EQ(Locate({}).Place, TPlace::None);
    EXPECT_EQ(FindInFile(Bytes("MZ no container"), "GUID"), TFind::Absent);
    // A file cut short behind its trailer.
    EXPECT_EQ(Locate(Bytes("xxxPLWS")).Place, TPlace::TooShort);
    EXPECT_EQ(Locate(Bytes("PLWS")).Place, TPlace::TooShort);
    const Bytes8 file = FileOf(k, "MZ");
    const TContainerPlace place = Locate(file);
    EXPECT_EQ(place.Place, TPlace::Found);
    EXPECT_EQ(place.BlockStart, 2);
    EXPECT_EQ(place.BlockLength, static_cast<std::int64_t>(k.size()));
    // An empty list: its 8-byte block is found, with no item in it.
    const Bytes8 empty = FileOf(Block(0).b, "MZ");
    EXPECT_EQ(Locate(empty).Place, TPlace::Found);
    EXPECT_EQ(Locate(empty).BlockLength, 8);
    EXPECT_EQ(FindInFile(empty, "GUID"), TFind::Absent);

    // Block lengths that reach before the file or into the length field itself.
    const std::size_t lengthAt = file.size() - 12;
    auto withLength = [&](std::int64_t l) {
        Bytes8 f = file;
        for (int i = 0; i < 8; ++i)
            f[lengthAt + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(static_cast<std::uint64_t>(l) >> (8 * i));
        return f;
    };
    EXPECT_EQ(Locate(withLength(static_cast<std::int64_t>(k.size()) + 2)).Place, TPlace::Found);
    for (std::int64_t l : {std::int64_t{-1}, std::int64_t{7}, static_cast<std::int64_t>(k.size()) + 3,
                           std::int64_t{0x7FFFFFFFFFFFFFFF}, std::int64_t(-0x7FFFFFFFFFFFFFFF - 1)}) {
        const TContainerPlace bad = Locate(withLength(l));
        EXPECT_EQ(bad.Place, TPlace::BadLength) << l;
        EXPECT_EQ(bad.BlockLength, l);
        EXPECT_EQ(FindInFile(withLength(l), "GUID"), TFind::Damaged) << l;
    }
}

// The walker and ReadItems call the same files whole or damaged, and see the same names.
TEST(ItemLayout, AgreesWithReadItems) {
    TempDir dir;
    auto path = dir / "host.exe";
    Bytes8 cut = Block(2).Stored("GUID", kGuid, 0x2A).I32(0).U8(0).I32(0).b;
    cut.pop_back();
    for (const Bytes8& file : {FileOf(Block(2).Stored("GUID", kGuid, 0x2A).Stored("Z", "zz", 0x2A).b),
                               FileOf(Block(2).Stored("GUID", kGuid, 0x2A).I32(1000).Raw("abcdefghijklmn").b),
                               FileOf(Block(-3).Stored("GUID", kGuid, 0x2A).b), FileOf(cut), Bytes("xxxPLWS"),
                               Bytes("no container")}) {
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
