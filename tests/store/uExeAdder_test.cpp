#include "store/uErrors.h"
#include "store/uExeAdder.h"
#include "store/uZCompress.h"

#include "ContainerBytes.h"
#include "common/TestFiles.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <set>

using Bytes8 = std::vector<std::uint8_t>;

namespace {

const Bytes8 kHost = {'M', 'Z', 0x90, 0x00, 'h', 'o', 's', 't'};

Bytes8 ZlibCompress2(const Bytes8& in) {
    uLongf len = compressBound(static_cast<uLong>(in.size()));
    Bytes8 out(len);
    EXPECT_EQ(compress2(out.data(), &len, in.data(), static_cast<uLong>(in.size()), 6), Z_OK);
    out.resize(len);
    return out;
}

Bytes8 CodeLike(std::size_t size) {
    Bytes8 out(size);
    std::uint32_t x = 12345;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = (i % 7 == 0) ? static_cast<std::uint8_t>(x >> 24)
                              : static_cast<std::uint8_t>("\x8B\x45\xFC\x50\xE8"[i % 5]);
    }
    return out;
}

TItemType Item(const std::string& name, const Bytes8& data, bool compressed, std::int32_t size = -999) {
    TItemType item;
    item.Name = name;
    item.Data = data;
    item.Size = size == -999 ? static_cast<std::int32_t>(data.size()) : size;
    item.Compressed = compressed;
    return item;
}

// Items as "name=data/size;" with a "z" after the size for a compressed one: whole lists
// compare at once.
std::string Show(const TItemTypes& items) {
    std::string s;
    for (const auto& i : items)
        s += i.Name + "=" + std::string(i.Data.begin(), i.Data.end()) + "/" + std::to_string(i.Size) +
             (i.Compressed ? "z;" : ";");
    return s;
}

Bytes8 Concat(Bytes8 a, const Bytes8& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Writes bytes to a file and reads its container.
TItemTypes ReadBytesAsContainer(const TempDir& dir, const Bytes8& bytes) {
    auto path = dir / "c.bin";
    WriteBytes(path, bytes);
    TItemTypes items;
    ReadItems(path, items);
    return items;
}

// The error of reading the container of bytes from a file; the same bytes held in memory
// must give the same error.
template <class E>
std::string ReadError(const TempDir& dir, const Bytes8& bytes, TItemTypes* kept = nullptr) {
    auto path = dir / "bad.bin";
    WriteBytes(path, bytes);
    std::string inMemory = "(no error)";
    try {
        TItemTypes items;
        ParseItems(ContainerBytesAt(bytes, itemlayout::LocateContainerInMemory(bytes.data(), bytes.size())),
                   items);
    } catch (const E& e) {
        inMemory = e.what();
    }
    std::string fromFile = "(no error)";
    TItemTypes items;
    try {
        ReadItems(path, items);
    } catch (const E& e) {
        if (kept) *kept = items;
        fromFile = e.what();
    }
    EXPECT_EQ(inMemory, fromFile);
    return fromFile;
}

} // namespace

// A folder with host.exe, a program file without a container.
class ItemContainer : public ::testing::Test {
protected:
    void SetUp() override { WriteBytes(path, kHost); }
    TempDir dir;
    std::filesystem::path path = dir / "host.exe";
};

// ---- Layout, written and read ----

TEST_F(ItemContainer, EmptyListAppendsExactlyTwentyBytes) {
    WriteItemsWithKey(path, {}, 0x42);
    const Bytes8 expected =
        Concat(kHost, {0x42, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 'P', 'L', 'W', 'S'});
    EXPECT_EQ(ReadBytes(path), expected);
    TItemTypes items = {Item("stale", {1}, false)};
    ReadItems(path, items);
    EXPECT_TRUE(items.empty());
}

TEST_F(ItemContainer, StoredItemsLayoutBothWays) {
    // Key 0x41 equals the name byte 'A': it is stored as 0, harmless behind the length.
    // A name of length 0, and a name with a double-byte character ("表" = 95 5C).
    const TItemTypes items = {Item("AB", Bytes("xyz"), false), Item("", Bytes("q"), false),
                              Item("\x95\x5C", {}, false)};
    WriteItemsWithKey(path, items, 0x41);
    Layout e;
    e.Raw(kHost).I32(0x41).I32(3);
    e.I32(2).U8(0x00).U8(0x03).U8(0).I32(3).Raw(std::string("xyz"));
    e.I32(0).U8(0).I32(1).Raw(std::string("q"));
    e.I32(2).U8(0x95 ^ 0x41).U8(0x5C ^ 0x41).U8(0).I32(0);
    e.Close(kHost.size());
    ASSERT_EQ(ReadBytes(path), e.b);

    EXPECT_EQ(Show(ReadBytesAsContainer(dir, e.b)), "AB=xyz/3;=q/1;\x95\x5C=/0;");
}

TEST_F(ItemContainer, CompressedItemIsZlibDefaultStream) {
    const Bytes8 scr = CodeLike(70000);
    WriteItemsWithKey(path, {Item("SCR", scr, true)}, 200);

    const Bytes8 stream = ZlibCompress2(scr);
    ASSERT_EQ(stream[0], 0x78);
    ASSERT_EQ(stream[1], 0x9C);
    Layout e;
    e.Raw(kHost).I32(200).I32(1);
    e.Name("SCR", 200).U8(1).I32(static_cast<std::int32_t>(stream.size())).Raw(stream);
    e.Close(kHost.size());
    ASSERT_EQ(ReadBytes(path), e.b);

    // The stored size is the stream's length; the item reads back with the added bytes.
    TItemTypes back = ReadBytesAsContainer(dir, e.b);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].Name, "SCR");
    EXPECT_TRUE(back[0].Compressed);
    EXPECT_EQ(back[0].Size, 70000);
    EXPECT_EQ(back[0].Data, scr);
}

TEST_F(ItemContainer, NonPositiveSizesCarryNoDataOrName) {
    // Written: a stored item with Size -5 and a compressed item with Size 0.
    WriteItemsWithKey(path, {Item("n", {}, false, -5), Item("z", {}, true, 0)}, 17);
    Layout w;
    w.Raw(kHost).I32(17).I32(2).I32(1).U8('n' ^ 17).U8(0).I32(-5).I32(1).U8('z' ^ 17).U8(1).I32(0).Close(
        kHost.size());
    EXPECT_EQ(ReadBytes(path), w.b);

    // Read: no data bytes follow; the next record starts right after the size. A stored
    // item keeps the stored value, a compressed one has Size 0; flags other than 1 count.
    // A negative name length reads as an empty name.
    Layout r;
    r.I32(99).I32(5);
    r.I32(1).U8('a' ^ 99).U8(0).I32(-5);
    r.I32(1).U8('b' ^ 99).U8(7).I32(-1);
    r.I32(1).U8('c' ^ 99).U8(0).I32(0);
    r.I32(1).U8('d' ^ 99).U8(0).I32(2).Raw(std::string("ok"));
    r.I32(-3).U8(0).I32(1).Raw(std::string("v"));
    r.Close(0);
    EXPECT_EQ(Show(ReadBytesAsContainer(dir, r.b)), "a=/-5;b=/0z;c=/0;d=ok/2;=v/1;");
}

TEST_F(ItemContainer, SecondContainerHidesTheFirst) {
    WriteItemsWithKey(path, {Item("old", Bytes("1"), false)}, 50);
    const Bytes8 afterFirst = ReadBytes(path);
    WriteItemsWithKey(path, {Item("new", Bytes("2"), true), Item("new", Bytes("3"), false)}, 51);
    const Bytes8 all = ReadBytes(path);
    // The older bytes stay in the file untouched.
    ASSERT_GT(all.size(), afterFirst.size());
    EXPECT_TRUE(std::equal(afterFirst.begin(), afterFirst.end(), all.begin()));
    TItemTypes items;
    ReadItems(path, items);
    EXPECT_EQ(Show(items), "new=2/1z;new=3/1;");
}

TEST_F(ItemContainer, NoContainerGivesEmptyList) {
    // A well-formed empty block followed by the wrong trailer.
    const Bytes8 lower = Layout().Raw(kHost).I32(20).I32(0).I64(8).Raw(std::string("plws")).b;
    const Bytes8 other = Layout().Raw(kHost).I32(20).I32(0).I64(8).Raw(std::string("PLWT")).b;
    for (const Bytes8& bytes : {lower, other, Bytes8{}, Bytes8{'L', 'W', 'S'}, kHost}) {
        TItemTypes items = {Item("x", {1}, false)};
        WriteBytes(path, bytes);
        EXPECT_NO_THROW(ReadItems(path, items));
        EXPECT_TRUE(items.empty());
    }
    TItemTypes items = {Item("x", {1}, false)};
    ReadItems(dir / "missing.exe", items);
    EXPECT_TRUE(items.empty());
    ReadItems(dir.Path(), items); // a folder
    EXPECT_TRUE(items.empty());
}

// ---- Writing ----

TEST_F(ItemContainer, WriteHelperCopiesAndStoresEmptyStringsUncompressed) {
    TWriteHelper helper;
    {
        std::string buffer = "payload";
        helper.AddData("P", buffer.data(), 7, false);
        buffer.assign("XXXXXXX"); // the helper holds its own copy
    }
    helper.AddString("T", "");
    helper.AddString("U", "text");
    helper.AddData("N", nullptr, 10, true); // no buffer: no data, flag 0
    EXPECT_EQ(Show(helper.Items()), "P=payload/7;T=/0;U=text/4z;N=/0;");
    helper.AppendToFile(path);

    TItemTypes items;
    ReadItems(path, items);
    EXPECT_EQ(Show(items), "P=payload/7;T=/0;U=text/4z;N=/0;");

    // "T" with an empty string: flag 0, size 0 right after the name.
    const Bytes8 file = ReadBytes(path);
    const std::uint8_t key = file[kHost.size()];
    const Bytes8 tRecord = Layout().I32(1).U8('T' ^ key).U8(0).I32(0).b;
    EXPECT_NE(std::search(file.begin(), file.end(), tRecord.begin(), tRecord.end()), file.end());
    FreeItems(items);
    EXPECT_TRUE(items.empty());
}

TEST_F(ItemContainer, RandomKeyStaysInRangeAndVaries) {
    std::set<int> keys;
    for (int i = 0; i < 40; ++i) {
        WriteBytes(path, kHost);
        WriteItems(path, {Item("name", Bytes("d"), false)});
        const Bytes8 file = ReadBytes(path);
        const int key = file[kHost.size()] | file[kHost.size() + 1] << 8 | file[kHost.size() + 2] << 16 |
                        file[kHost.size() + 3] << 24;
        EXPECT_GE(key, kContainerKeyMin);
        EXPECT_LE(key, kContainerKeyMax);
        keys.insert(key);
        TItemTypes items;
        ReadItems(path, items);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].Name, "name");
    }
    EXPECT_GT(keys.size(), 5u);
    EXPECT_THROW(WriteItemsWithKey(path, {}, 16), std::out_of_range);
    EXPECT_THROW(WriteItemsWithKey(path, {}, 256), std::out_of_range);
}

TEST_F(ItemContainer, WritingToAMissingFileCreatesNothing) {
    WriteItems(dir / "absent.exe", {Item("a", Bytes("b"), true)});
    TWriteHelper helper;
    helper.AddString("GUID", "{x}");
    helper.AppendToFile(dir / "absent2.exe");
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.exe"));
    EXPECT_FALSE(std::filesystem::exists(dir / "absent2.exe"));
}

TEST_F(ItemContainer, ItemWhoseSizeExceedsItsDataIsRefusedAndFileUnchanged) {
    EXPECT_THROW(WriteItemsWithKey(path, {Item("a", Bytes("b"), false), Item("x", Bytes("ab"), true, 3)}, 20),
                 std::invalid_argument);
    EXPECT_EQ(ReadBytes(path), kHost);
}

TEST_F(ItemContainer, ScrambleNameIsItsOwnInverse) {
    const std::string name = "InstallerTitle\x95\x5C";
    const std::string once = ScrambleName(name, 0x1FF); // only the low byte counts
    EXPECT_EQ(once, ScrambleName(name, 0xFF));
    EXPECT_EQ(static_cast<std::uint8_t>(once[0]), 'I' ^ 0xFF);
    EXPECT_EQ(ScrambleName(once, 0xFF), name);
}

// ---- Damaged containers: never a crash, an over-read or a huge allocation ----

// Each damage is one ECorruptData naming the field; the records before it are kept.
TEST(ItemContainerCorrupt, CountsAndLengthsOutsideTheFile) {
    TempDir dir;
    const auto block = [](std::int32_t count) { return Layout().I32(20).I32(count); };
    const std::string abc = "abc";
    const struct {
        Bytes8 bytes;
        std::string says;
        std::size_t kept;
    } cases[] = {
        {Layout().Raw(kHost).I32(20).I32(-1).Close(kHost.size()).b, "negative item count -1", 0},
        {block(0x7FFFFFFF).Close(0).b, "item count", 0},
        // Two records announced; the first is whole, the second cut inside its name length.
        {block(2).I32(0).U8(0).I32(6).Raw(abc + "def").U8(1).U8(2).U8(3).Close(0).b, "item 2 of 2", 1},
        // A name length past the block (the block length field and trailer are not the block).
        {block(1).I32(12).U8(0).I32(0).Close(0).b, "name length 12", 0},
        {block(1).I32(0x7FFFFFFF).U8(0).I32(0).Close(0).b, "name length", 0},
        // Stored sizes past the block, stored and compressed.
        {block(1).I32(0).U8(0).I32(5).Raw(abc + "d").Close(0).b, "stored size 5", 0},
        {block(1).I32(0).U8(1).I32(0x7FFFFFFF).Close(0).b, "stored size", 0},
        // A name that leaves no room for the flag and the stored size after it.
        {block(1).I32(3).Raw(abc).U8(0).U8(0).Close(0).b, "item 1 of 1: name length 3", 0},
        // The block length before the file's start, or too small for the fixed fields.
        {Layout().Raw(kHost).I32(20).I32(0).I64(8 + 9).Raw(std::string("PLWS")).b, "block length 17", 0},
        {Bytes("PLWS"), "too short", 0},
        {Layout().I32(0).I64(4).Raw(std::string("PLWS")).b, "too short", 0},
        // The block length is honest but the block is only the key: the count is missing.
        {Layout().Raw(kHost).I32(20).I64(4).Raw(std::string("PLWS")).b, "block length 4", 0},
    };
    for (const auto& c : cases) {
        TItemTypes kept;
        EXPECT_NE(ReadError<ECorruptData>(dir, c.bytes, &kept).find(c.says), std::string::npos) << c.says;
        EXPECT_EQ(kept.size(), c.kept) << c.says;
    }
    for (std::int64_t length : {std::int64_t(-1), std::int64_t(0), std::int64_t(7), INT64_MAX, INT64_MIN}) {
        const Bytes8 bytes = Layout().Raw(kHost).I32(20).I32(0).I64(length).Raw(std::string("PLWS")).b;
        EXPECT_NE(ReadError<ECorruptData>(dir, bytes).find("block length"), std::string::npos) << length;
    }
}

TEST(ItemContainerCorrupt, DamagedCompressedItemKeepsTheItemsBefore) {
    TempDir dir;
    const Bytes8 data = CodeLike(5000);
    const Bytes8 stream = ZlibCompress2(data);
    const Bytes8 cut(stream.begin(), stream.end() - 7);
    Bytes8 damaged = stream;
    damaged[1] ^= 0x55; // header check fails

    auto container = [&](const Bytes8& bad) {
        Layout l;
        l.Raw(kHost).I32(40).I32(3);
        l.I32(1).U8('a' ^ 40).U8(1).I32(static_cast<std::int32_t>(stream.size())).Raw(stream);
        l.I32(1).U8('b' ^ 40).U8(1).I32(static_cast<std::int32_t>(bad.size())).Raw(bad);
        l.I32(1).U8('c' ^ 40).U8(0).I32(1).U8('z');
        return l.Close(kHost.size()).b;
    };
    TItemTypes kept;
    EXPECT_EQ(ReadError<EZDecompressionError>(dir, container(cut), &kept), "buffer error");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].Name, "a");
    EXPECT_EQ(kept[0].Data, data);
    EXPECT_EQ(ReadError<EZDecompressionError>(dir, container(damaged), &kept), "data error");
    EXPECT_EQ(kept.size(), 1u);
    // The intact container reads whole.
    EXPECT_EQ(ReadBytesAsContainer(dir, container(stream)).size(), 3u);
}

TEST(ItemContainerCorrupt, ManyBombsCannotAddUpPastTheCap) {
    TempDir dir;
    // 20 items of 1 MB of zeros each (about 1 KB stored each) against a cap of 8.5 MB.
    const Bytes8 zeros(1u << 20, 0);
    const Bytes8 bomb = ZlibCompress2(zeros);
    Layout l;
    l.I32(40).I32(20);
    for (int i = 0; i < 20; ++i) l.I32(0).U8(1).I32(static_cast<std::int32_t>(bomb.size())).Raw(bomb);
    l.Close(0);
    auto path = dir / "bombs.bin";
    WriteBytes(path, l.b);
    TItemTypes items;
    try {
        ReadItems(path, items, (17u << 20) / 2);
        ADD_FAILURE() << "no error";
    } catch (const EZDecompressionError& e) {
        EXPECT_NE(std::string(e.what()).find("exceeds"), std::string::npos);
    }
    EXPECT_EQ(items.size(), 8u);
    ReadItems(path, items, 20u << 20);
    EXPECT_EQ(items.size(), 20u);
}
