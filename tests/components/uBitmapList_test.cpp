#include "components/uBitmapList.h"
#include "components/uRegister.h"
#include "toolkit/uForms.h"

#include "store/uErrors.h"
#include "store/uZCompress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& b, std::int32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
}
void PutStr(Bytes& b, const std::string& s) {
    Put32(b, static_cast<std::int32_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}
void PutStoreHeader(Bytes& b, std::uint8_t flag, std::int32_t length) {
    b.insert(b.end(), {'B', 'm', 'p', 'L', 's', 't'});
    PutStr(b, "1.0.0.0");
    b.push_back(flag);
    Put32(b, length);
}

Bytes FileOf(const TBitmap& bmp) {
    TMemoryStream s;
    bmp.SaveToStream(s);
    return s.Bytes();
}

Bytes Written(TBitmapList& list) {
    TMemoryStream s;
    list.WriteBitmaps(s);
    return s.Bytes();
}

void ReadInto(TBitmapList& list, const Bytes& bytes) {
    TMemoryStream s(bytes);
    list.ReadBitmaps(s);
}

TBitmap Solid(int w, int h, TPixelFormat f, TColor c) {
    TBitmap b(w, h, f);
    b.Fill(c);
    return b;
}

// A client that shows the images it is told to, counts repaints and attaches itself the
// way the buttons do.
class TFakeClient : public IBitmapListClient {
public:
    std::vector<std::string> names;
    int invalidates = 0;
    int detachCalls = 0;

    ~TFakeClient() {
        if (FList) FList->UnregisterClient(this);
    }
    void GetImageNames(std::vector<std::string>& list) override {
        list.insert(list.end(), names.begin(), names.end());
    }
    void Invalidate() override { ++invalidates; }
    void SetBitmapList(TBitmapList* list) override {
        if (!list) ++detachCalls;
        if (FList) FList->UnregisterClient(this);
        FList = list;
        if (FList) FList->RegisterClient(this);
        Invalidate();
    }
    TBitmapList* GetBitmapList() override { return FList; }

private:
    TBitmapList* FList = nullptr;
};

} // namespace

TEST(BitmapListFormat, EmptyListBytes) {
    TBitmapList list;
    Bytes want;
    Put32(want, 0);
    Put32(want, 0);
    PutStoreHeader(want, 0, 0);
    EXPECT_EQ(want.size(), 4u + 4 + 6 + 11 + 1 + 4);
    EXPECT_EQ(Written(list), want);
    // Compressed, but nothing to compress: flag 1, length 0, no data.
    list.SetCompressed(true);
    want[4 + 4 + 6 + 11] = 1;
    EXPECT_EQ(Written(list), want);

    TBitmapList back;
    ReadInto(back, want);
    EXPECT_TRUE(back.Compressed());
    EXPECT_EQ(back.StoreSize(), 0);
    EXPECT_EQ(back.Images().GetCount(), 0);
}

namespace {
struct TSample {
    TBitmap icon = Solid(2, 2, TPixelFormat::pf8bit, 0x0000FF);
    TBitmap left = Solid(3, 1, TPixelFormat::pf24bit, 0x123456);
    TBitmap badge = Solid(4, 2, TPixelFormat::pf24bit, 0xFF00FF);
    TBitmap mask;
    TSample() {
        badge.SetPixel(1, 1, 0x00FF00);
        MakeMask(&mask, &badge, 0xFF00FF, false);
    }
    void FillList(TBitmapList& list) const {
        list.Add("icon", icon);
        list.Add("Left", left);
        list.Add("GetFlashPlayer", badge, 0xFF00FF);
    }
    Bytes Store() const {
        Bytes s = FileOf(icon);
        for (const TBitmap* b : {&left, &badge, &mask}) {
            const Bytes f = FileOf(*b);
            s.insert(s.end(), f.begin(), f.end());
        }
        return s;
    }
    // Maps in ascending name order, offsets in order of adding.
    Bytes Maps() const {
        const auto i = static_cast<std::int32_t>(FileOf(icon).size());
        const auto l = static_cast<std::int32_t>(FileOf(left).size());
        const auto b = static_cast<std::int32_t>(FileOf(badge).size());
        Bytes m;
        Put32(m, 3);
        PutStr(m, "GetFlashPlayer");
        Put32(m, i + l);
        PutStr(m, "icon");
        Put32(m, 0);
        PutStr(m, "Left");
        Put32(m, i);
        Put32(m, 1);
        PutStr(m, "GetFlashPlayer");
        Put32(m, i + l + b);
        return m;
    }
};
} // namespace

TEST(BitmapListFormat, ImagesAndMaskStoredRaw) {
    TSample sample;
    TBitmapList list;
    sample.FillList(list);
    Bytes want = sample.Maps();
    const Bytes store = sample.Store();
    PutStoreHeader(want, 0, static_cast<std::int32_t>(store.size()));
    want.insert(want.end(), store.begin(), store.end());
    EXPECT_EQ(Written(list), want);

    TBitmapList back;
    ReadInto(back, want);
    EXPECT_FALSE(back.Compressed());
    TBitmap got;
    back.GetBitmap("Icon", &got); // names are case-insensitive
    EXPECT_EQ(got, sample.icon);
    back.GetBitmap("LEFT", &got);
    EXPECT_EQ(got, sample.left);
    back.GetMask("getflashplayer", &got);
    EXPECT_EQ(got, sample.mask);
    EXPECT_EQ(got.GetPixel(0, 0), 0xFFFFFF); // transparent
    EXPECT_EQ(got.GetPixel(1, 1), 0);        // opaque
    EXPECT_EQ(Written(back), want);
}

TEST(BitmapListFormat, ImagesAndMaskStoredCompressed) {
    TSample sample;
    TBitmapList list;
    list.SetCompressed(true);
    sample.FillList(list);
    const Bytes bytes = Written(list);
    const Bytes maps = sample.Maps();
    ASSERT_GT(bytes.size(), maps.size() + 26);
    EXPECT_TRUE(std::equal(maps.begin(), maps.end(), bytes.begin()));
    std::size_t at = maps.size();
    EXPECT_EQ(0, std::memcmp(bytes.data() + at,
                             "BmpLst\x07\0\0\0"
                             "1.0.0.0\x01",
                             18));
    at += 18;
    std::int32_t length = 0;
    for (int i = 3; i >= 0; --i) length = length * 256 + bytes[at + static_cast<std::size_t>(i)];
    at += 4;
    ASSERT_EQ(bytes.size(), at + static_cast<std::size_t>(length));
    EXPECT_EQ(bytes[at], 0x78); // zlib's default level
    EXPECT_EQ(bytes[at + 1], 0x9C);
    const auto inflated = DecompressBuffer(bytes.data() + at, static_cast<std::size_t>(length));
    EXPECT_EQ(inflated, sample.Store());

    TBitmapList back;
    ReadInto(back, bytes);
    EXPECT_TRUE(back.Compressed());
    EXPECT_EQ(back.Store().Bytes(), sample.Store());
    TBitmap got;
    back.GetBitmap("GetFlashPlayer", &got);
    EXPECT_EQ(got, sample.badge);
}

TEST(BitmapListFormat, OldFormWithoutSignature) {
    TSample sample;
    Bytes old = sample.Maps();
    const Bytes store = sample.Store();
    Put32(old, static_cast<std::int32_t>(store.size()));
    old.insert(old.end(), store.begin(), store.end());
    TBitmapList back;
    back.SetCompressed(true); // left as it is
    ReadInto(back, old);
    EXPECT_TRUE(back.Compressed());
    TBitmap got;
    back.GetBitmap("icon", &got);
    EXPECT_EQ(got, sample.icon);

    // The shortest old form: empty maps and a zero length, fewer bytes than a signature.
    Bytes tiny;
    Put32(tiny, 0);
    Put32(tiny, 0);
    Put32(tiny, 0);
    TBitmapList empty;
    ReadInto(empty, tiny);
    EXPECT_EQ(empty.StoreSize(), 0);
}

TEST(BitmapListFormat, CorruptPropertyData) {
    auto withStore = [](std::uint8_t flag, std::int32_t length, const Bytes& data) {
        Bytes b;
        Put32(b, 0);
        Put32(b, 0);
        PutStoreHeader(b, flag, length);
        b.insert(b.end(), data.begin(), data.end());
        return b;
    };
    Bytes negativeCount, truncated;
    Put32(negativeCount, -1);
    Put32(truncated, 2);
    PutStr(truncated, "a");
    TBitmapList list;
    for (const Bytes& bad :
         {withStore(0, -1, {}), withStore(0, 10, {1, 2, 3}), withStore(1, 10, {1, 2, 3}), negativeCount})
        EXPECT_THROW(ReadInto(list, bad), ECorruptData);
    EXPECT_THROW(ReadInto(list, withStore(1, 3, {1, 2, 3})), EZDecompressionError);
    EXPECT_THROW(ReadInto(list, truncated), EReadError);

    // An offset that points outside the store fails when the image is asked for.
    Bytes badOffset;
    Put32(badOffset, 1);
    PutStr(badOffset, "x");
    Put32(badOffset, 1000);
    Put32(badOffset, 0);
    PutStoreHeader(badOffset, 0, 0);
    TBitmapList bad;
    ReadInto(bad, badOffset);
    TBitmap got;
    EXPECT_THROW(bad.GetBitmap("x", &got), ECorruptData);
}

// A map's keys with their offsets, in key order.
THashEntries Entries(const THash& map) {
    THashEntries e;
    map.GetKeys(&e);
    return e;
}

TEST(BitmapList, OffsetsFollowAddReplaceAndDelete) {
    const TBitmap a = Solid(1, 1, TPixelFormat::pf24bit, 0x111111);
    const TBitmap b = Solid(5, 3, TPixelFormat::pf24bit, 0x222222);
    const TBitmap c = Solid(2, 2, TPixelFormat::pf8bit, 0x0000FF);
    const auto sa = static_cast<std::intptr_t>(a.FileSize()), sb = static_cast<std::intptr_t>(b.FileSize()),
               sc = static_cast<std::intptr_t>(c.FileSize());
    TBitmapList list;
    list.Add("a", a);
    list.Add("b", b, 0x222222);
    list.Add("c", c);
    const auto sm = static_cast<std::intptr_t>(list.StoreSize()) - sa - sb - sc; // b's mask
    EXPECT_EQ(Entries(list.Images()), (THashEntries{{"a", 0}, {"b", sa}, {"c", sa + sb + sm}}));
    EXPECT_EQ(Entries(list.Masks()), (THashEntries{{"b", sa + sb}}));

    // Adding an existing name moves it, spelt anew, to the end; later offsets of both maps move down.
    list.Add("A", a);
    EXPECT_EQ(Entries(list.Images()), (THashEntries{{"A", sb + sm + sc}, {"b", 0}, {"c", sb + sm}}));
    EXPECT_EQ(Entries(list.Masks()), (THashEntries{{"b", sb}}));
    EXPECT_EQ(list.StoreSize(), sa + sb + sc + sm);

    // Replace keeps the mask; the image moves to the end.
    list.Replace("b", a);
    EXPECT_EQ(Entries(list.Images()), (THashEntries{{"A", sm + sc}, {"b", sm + sc + sa}, {"c", sm}}));
    EXPECT_EQ(Entries(list.Masks()), (THashEntries{{"b", 0}}));

    // Deleting removes image and mask; the store stays contiguous.
    list.Delete("b");
    EXPECT_EQ(Entries(list.Images()), (THashEntries{{"A", sc}, {"c", 0}}));
    EXPECT_TRUE(Entries(list.Masks()).empty());
    EXPECT_EQ(list.StoreSize(), sa + sc);
    TBitmap got;
    list.GetBitmap("a", &got);
    EXPECT_EQ(got, a);
    list.GetBitmap("c", &got);
    EXPECT_EQ(got, c);

    list.DeleteMask("c"); // no mask: nothing happens
    list.Delete("nothing");
    EXPECT_EQ(list.StoreSize(), sa + sc);
    list.GetBitmap("nothing", &got);
    EXPECT_TRUE(got.Empty());
    list.GetBitmap("a", nullptr);

    list.Rename("A", "z");
    EXPECT_FALSE(list.Exists("a"));
    list.GetBitmap("Z", &got);
    EXPECT_EQ(got, a);

    list.Clear();
    EXPECT_EQ(list.StoreSize(), 0);
    EXPECT_EQ(list.Images().GetCount(), 0);
}

TEST(BitmapList, MasksAndTheirErrors) {
    TBitmapList list;
    TBitmap img = Solid(3, 1, TPixelFormat::pf24bit, 0x00FF00);
    img.SetPixel(2, 0, 0xFF00FF);
    list.Add("img", img);
    list.SetMask("absent", 0xFF00FF);
    EXPECT_EQ(list.Masks().GetCount(), 0);
    list.SetMask("IMG", 0xFF00FF);
    TBitmap mask;
    list.GetMask("img", &mask);
    EXPECT_EQ(mask.GetPixel(2, 0), 0xFFFFFF);
    EXPECT_EQ(mask.GetPixel(0, 0), 0);
    // The no-colour value is not special for SetMask: an all-black mask.
    list.SetMask("img", kClNone);
    list.GetMask("img", &mask);
    EXPECT_EQ(mask.GetPixel(2, 0), 0);
    EXPECT_EQ(list.Masks().GetCount(), 1);

    // A 16-bit image is stored, then the mask maker refuses it.
    const TBitmap hi = Solid(2, 2, TPixelFormat::pf16bit, 0xFFFFFF);
    EXPECT_THROW(list.Add("hi", hi, 0xFFFFFF), EInvalidBitmap);
    EXPECT_TRUE(list.Exists("hi"));
    EXPECT_EQ(list.UpdateCount(), 0);
    EXPECT_THROW(list.SetMask("hi", 0), EInvalidBitmap);
}

TEST(BitmapListClients, NotificationCounts) {
    TBitmapList list;
    TFakeClient shows, other, twice;
    shows.names = {"Icon"};
    other.names = {"Left"};
    twice.names = {"icon", "ICON"};
    shows.SetBitmapList(&list);
    other.SetBitmapList(&list);
    twice.SetBitmapList(&list);
    list.RegisterClient(&shows); // already there
    list.RegisterClient(static_cast<IBitmapListClient*>(nullptr));
    EXPECT_EQ(list.Clients().size(), 3u);
    shows.invalidates = other.invalidates = twice.invalidates = 0;

    const TBitmap bmp = Solid(2, 2, TPixelFormat::pf24bit, 0x00FF00);
    list.Add("icon", bmp);
    EXPECT_EQ(shows.invalidates, 1);
    EXPECT_EQ(other.invalidates, 0);
    EXPECT_EQ(twice.invalidates, 2);

    list.Add("icon", bmp, 0x00FF00); // image, then mask
    EXPECT_EQ(shows.invalidates, 3);
    list.SetMask("icon", 0); // the mask's own notice and the explicit one
    EXPECT_EQ(shows.invalidates, 5);
    list.Delete("icon"); // image and mask removed
    EXPECT_EQ(shows.invalidates, 7);
    EXPECT_EQ(other.invalidates, 0);

    list.SetUpdating(true);
    list.Add("icon", bmp);
    list.Add("Left", bmp);
    EXPECT_EQ(shows.invalidates, 7);
    EXPECT_EQ(other.invalidates, 0);
    list.SetUpdating(false);
    list.Add("left", bmp);
    EXPECT_EQ(other.invalidates, 1);

    list.Rename("icon", "x"); // no notification
    list.Clear();
    EXPECT_EQ(shows.invalidates, 7);

    list.UnregisterClient(&shows);
    list.Add("icon", bmp);
    EXPECT_EQ(shows.invalidates, 7);
    EXPECT_EQ(twice.invalidates, 16); // every notice twice: 2 + 4 + 4 + 4 + 2
}

TEST(BitmapListClients, DestructionDetachesEveryClient) {
    TFakeClient first, second, moved;
    TBitmapList keeper;
    {
        TBitmapList list;
        first.SetBitmapList(&list);
        second.SetBitmapList(&list);
        moved.SetBitmapList(&list);
        moved.SetBitmapList(&keeper); // left this list before its end
        EXPECT_EQ(list.Clients().size(), 2u);
        list.Add("a", Solid(1, 1, TPixelFormat::pf24bit, 0));
    }
    EXPECT_EQ(first.GetBitmapList(), nullptr);
    EXPECT_EQ(second.GetBitmapList(), nullptr);
    EXPECT_EQ(first.detachCalls, 1);
    EXPECT_EQ(second.detachCalls, 1);
    EXPECT_EQ(moved.GetBitmapList(), &keeper);
    EXPECT_EQ(moved.detachCalls, 0);
    EXPECT_EQ(keeper.Clients().size(), 1u);
}

namespace {

// A control-like component that is also a bitmap-list client.
class TClientComponent : public TComponent, public TFakeClient {
public:
    using TComponent::TComponent;
};

} // namespace

TEST(BitmapListComponent, PropertiesAndDefinition) {
    RegisterToolkitClasses();
    RegisterSystemComponents();
    TForm form(nullptr);
    auto* plain = new TBitmapList(&form);
    plain->SetName("blPlain");
    auto* packed = new TBitmapList(&form);
    packed->SetName("blPacked");
    packed->SetCompressed(true);
    packed->Add("a", Solid(5, 3, TPixelFormat::pf24bit, 0x123456), 0x123456);

    const auto def = ComponentDefBytes(form);
    auto count = [&](const std::string& text) {
        int n = 0;
        for (auto it = def.begin(); (it = std::search(it, def.end(), text.begin(), text.end())) != def.end();
             ++it)
            ++n;
        return n;
    };
    EXPECT_EQ(count("Bitmaps"), 2);    // written even for the empty list
    EXPECT_EQ(count("Compressed"), 1); // the default False is not stored
    EXPECT_EQ(count("Images"), 0);

    TForm copy(nullptr);
    copy.LoadDefinition(def.data(), def.size());
    auto* back = copy.Find<TBitmapList>("blPacked");
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->Compressed());
    EXPECT_EQ(back->Store().Bytes(), packed->Store().Bytes());
    EXPECT_TRUE(back->Masks().Exists("A"));
    EXPECT_FALSE(copy.Find<TBitmapList>("blPlain")->Compressed());
}

TEST(BitmapListComponent, ClientsByComponent) {
    TBitmapList list;
    TComponent owner(nullptr);
    auto* client = new TClientComponent(&owner);
    auto* other = new TComponent(&owner);
    client->names = {"x"};
    list.RegisterClient(static_cast<TComponent*>(client));
    list.RegisterClient(other); // no client: ignored
    list.RegisterClient(static_cast<TComponent*>(nullptr));
    ASSERT_EQ(list.Clients().size(), 1u);
    EXPECT_EQ(list.Clients()[0], static_cast<IBitmapListClient*>(client));
    list.Add("x", Solid(2, 2, TPixelFormat::pf24bit, 0));
    EXPECT_EQ(client->invalidates, 1);
    list.UnregisterClient(other);
    EXPECT_EQ(list.Clients().size(), 1u);
    list.UnregisterClient(static_cast<TComponent*>(client));
    EXPECT_TRUE(list.Clients().empty());
}
