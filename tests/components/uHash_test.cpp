#include "components/uHash.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// Records the virtual calls Rename makes.
class TRecordingHash : public THash {
public:
    std::vector<std::string> calls;
    std::intptr_t GetValue(const std::string& key) const override {
        const_cast<TRecordingHash*>(this)->calls.push_back("get " + key);
        return THash::GetValue(key);
    }
    void Remove(const std::string& key) override {
        calls.push_back("remove " + key);
        THash::Remove(key);
    }
    void SetValue(const std::string& key, std::intptr_t value) override {
        calls.push_back("set " + key + "=" + std::to_string(value));
        THash::SetValue(key, value);
    }
};

} // namespace

// Names in alphabetical order ignoring case; digits before letters.
TEST(CompareKeys, AsciiNamesAlphabeticalIgnoringCase) {
    const struct {
        const char *a, *b;
        bool caseInsensitive;
        int sign;
    } cases[] = {{"GetFlashPlayer", "icon", true, -1},
                 {"icon", "Left", true, -1},
                 {"GetFlashPlayer", "Left", true, -1},
                 {"icon", "Left", false, -1},
                 {"ICON", "icon", true, 0},
                 {"ab", "abc", true, -1},
                 {"", "a", false, -1},
                 {"", "", false, 0},
                 {"a1", "ab", true, -1}};
    const auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const auto& c : cases) { // both ways round
        EXPECT_EQ(sign(CompareKeys(c.a, c.b, c.caseInsensitive)), c.sign) << c.a << " " << c.b;
        EXPECT_EQ(sign(CompareKeys(c.b, c.a, c.caseInsensitive)), -c.sign) << c.b << " " << c.a;
    }
    EXPECT_NE(CompareKeys("ICON", "icon", false), 0);
    EXPECT_EQ(CompareKeys("Icon", "icon", false) < 0, CompareKeys("icon", "Icon", false) > 0);
}

// Look-ups and insertion places; among keys equal under the comparison (dup), the first one
// probed answers.
TEST(FindKey, SmallListsInBothModes) {
    using Keys = std::vector<std::string>;
    const Keys none, one{"m"}, two{"b", "d"}, dup{"a", "X", "x"}, dupLow{"a", "x", "X"};
    const struct {
        const Keys& keys;
        const char* key;
        bool caseInsensitive, forInsert;
        int at;
    } cases[] = {{none, "a", true, false, -1}, {none, "a", true, true, -1}, {one, "M", true, false, 0},
                 {one, "M", false, false, -1}, {one, "a", true, false, -1}, {one, "a", true, true, 0},
                 {one, "m", true, true, 0},    {one, "z", true, true, 1},   {two, "a", true, true, 0},
                 {two, "b", true, true, 0},    {two, "c", true, true, 1},   {two, "d", true, true, 1},
                 {two, "e", true, true, 2},    {two, "c", true, false, -1}, {two, "D", true, false, 1},
                 {dup, "x", true, false, 1},   {dup, "x", true, true, 1},   {dupLow, "X", false, false, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(FindKey(c.keys, c.key, c.caseInsensitive, c.forInsert), c.at)
            << c.keys.size() << " keys, " << c.key << " " << c.caseInsensitive << c.forInsert;

    const Keys many{"b", "d", "f", "h", "j", "l", "n"};
    for (int i = 0; i < 7; ++i) {
        const std::string k(1, static_cast<char>('b' + 2 * i));
        const std::string before(1, static_cast<char>('a' + 2 * i));
        EXPECT_EQ(FindKey(many, k, true, false), i) << k;
        EXPECT_EQ(FindKey(many, k, true, true), i) << k;
        EXPECT_EQ(FindKey(many, before, true, false), -1) << before;
        EXPECT_EQ(FindKey(many, before, true, true), i) << before;
    }
    EXPECT_EQ(FindKey(many, "z", true, true), 7);
}

TEST(Hash, EmptyMap) {
    THash h;
    EXPECT_TRUE(h.CaseInsensitive());
    EXPECT_EQ(h.GetCount(), 0);
    EXPECT_EQ(h.GetValue("x"), 0);
    h.Remove("x");
    EXPECT_EQ(h.GetCount(), 0);
    EXPECT_FALSE(h.Exists("x"));
    EXPECT_EQ(h.GetValueAt(0), 0);
    EXPECT_EQ(h.GetValueAt(-1), 0);
    h.SetValueAt(0, 5); // ignored
    h.Sort();
    h.SetValue("x", 7);
    EXPECT_EQ(h.Keys(), std::vector<std::string>{"x"});
    EXPECT_EQ(h.GetValueAt(0), 7);
}

TEST(Hash, CaseModes) {
    THash h;
    h.SetValue("icon", 10);
    h.SetValue("Left", 20);
    EXPECT_EQ(h.GetValue("ICON"), 10);
    h.SetCaseInsensitive(false);
    EXPECT_EQ(h.GetValue("ICON"), 0);
    EXPECT_EQ(h.GetValue("icon"), 10);
    EXPECT_TRUE(h.Exists("ICON"));
    h.Remove("ICON"); // exact mode finds nothing
    EXPECT_EQ(h.GetCount(), 2);
}

TEST(Hash, SetValueReplacesOnlyIdenticalSpelling) {
    THash h;
    h.SetValue("icon", 1);
    h.SetValue("icon", 2);
    EXPECT_EQ(h.GetCount(), 1);
    EXPECT_EQ(h.GetValue("icon"), 2);
    // A key differing only in case goes in as a second entry, directly before the stored one.
    h.SetValue("ICON", 3);
    EXPECT_EQ(h.Keys(), (std::vector<std::string>{"ICON", "icon"}));
    EXPECT_EQ(h.GetValueAt(0), 3);
    EXPECT_EQ(h.GetValueAt(1), 2);
}

TEST(Hash, SetValueAtAndGetKeys) {
    THash h;
    h.SetValue("b", 2);
    h.SetValue("a", 1);
    h.SetValueAt(1, 22);
    h.SetValueAt(2, 99); // out of range: ignored
    h.SetValueAt(-1, 99);
    THashEntries list{{"stale", 5}};
    h.GetKeys(&list);
    EXPECT_EQ(list, (THashEntries{{"a", 1}, {"b", 22}}));
    h.GetKeys(nullptr);
    h.Clear();
    EXPECT_EQ(h.GetCount(), 0);
    EXPECT_EQ(h.GetValueAt(0), 0);
}

TEST(Hash, RenameGoesThroughTheVirtualCalls) {
    TRecordingHash h;
    h.SetValue("a", 1);
    h.SetValue("b", 2);
    h.calls.clear();
    h.Rename("zzz", "y");
    EXPECT_TRUE(h.calls.empty());
    EXPECT_EQ(h.GetCount(), 2);

    h.Rename("A", "c");
    EXPECT_EQ(h.calls, (std::vector<std::string>{"get A", "remove A", "set c=1"}));
    EXPECT_EQ(h.Keys(), (std::vector<std::string>{"b", "c"}));

    // Renaming onto a key stored with identical spelling leaves that key with the moved value.
    h.Rename("c", "b");
    EXPECT_EQ(h.Keys(), std::vector<std::string>{"b"});
    EXPECT_EQ(h.GetValue("b"), 1);
}

TEST(Hash, SetCaseInsensitiveSortsOnlyOnChange) {
    THash h;
    h.SetValue("b", 1);
    h.SetValue("a", 2);
    h.SetValue("B", 3); // inserted before "b"
    h.SetValue("c", 4);
    ASSERT_EQ(h.Keys(), (std::vector<std::string>{"a", "B", "b", "c"}));
    h.SetCaseInsensitive(true); // unchanged: no re-sort
    EXPECT_EQ(h.Keys(), (std::vector<std::string>{"a", "B", "b", "c"}));
    h.SetCaseInsensitive(false);
    const auto keys = h.Keys();
    for (std::size_t i = 1; i < keys.size(); ++i) EXPECT_LT(CompareKeys(keys[i - 1], keys[i], false), 0);
    // Values moved with their keys, and both modes of FindKey work afterwards.
    EXPECT_EQ(h.GetValue("B"), 3);
    EXPECT_EQ(h.GetValue("b"), 1);
    EXPECT_EQ(h.GetValue("a"), 2);
    EXPECT_EQ(h.GetValue("c"), 4);
    h.SetValue("bb", 5);
    EXPECT_EQ(h.GetValue("bb"), 5);
}

namespace {
struct CiLess {
    bool ci;
    bool operator()(const std::string& a, const std::string& b) const { return CompareKeys(a, b, ci) < 0; }
};

void RandomAgainstReference(bool caseInsensitive, unsigned seed) {
    std::mt19937 rng(seed);
    // Case-insensitive mode: names unique without regard to case. Case-sensitive: case
    // variants are distinct keys.
    std::vector<std::string> pool;
    const char* stems[] = {"left", "icon", "getflashplayer", "a", "b1", "b10", "b2", "zeta", "x_y", "m-n"};
    for (const char* s : stems) {
        std::string k = s;
        pool.push_back(k);
        if (!caseInsensitive) {
            k[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(k[0])));
            pool.push_back(k);
        }
    }
    auto spell = [&](const std::string& k) { // a random case spelling for look-ups
        std::string s = k;
        for (auto& ch : s)
            if (rng() % 2) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        return s;
    };
    THash h;
    h.SetCaseInsensitive(caseInsensitive);
    std::map<std::string, std::intptr_t, CiLess> ref(CiLess{caseInsensitive});
    for (int step = 0; step < 3000; ++step) {
        const std::string& k = pool[rng() % pool.size()];
        const auto v = static_cast<std::intptr_t>(rng() % 1000 + 1);
        switch (rng() % 5) {
        case 0:
        case 1:
            h.SetValue(k, v);
            ref[k] = v;
            break;
        case 2: {
            const std::string q = caseInsensitive ? spell(k) : k;
            h.Remove(q);
            ref.erase(q);
            break;
        }
        case 3: {
            const std::string& to = pool[rng() % pool.size()];
            h.Rename(k, to);
            // Rename asks the always case-insensitive Exists, then the exact look-up: in
            // the case-sensitive mode a case variant of a stored key moves the value 0.
            bool exists = false;
            for (const auto& e : ref) exists = exists || CompareKeys(e.first, k, true) == 0;
            if (exists) {
                const auto it = ref.find(k);
                const std::intptr_t old = it == ref.end() ? 0 : it->second;
                ref.erase(k);
                ref[to] = old;
            }
            break;
        }
        default: {
            const std::string q = caseInsensitive ? spell(k) : k;
            const auto it = ref.find(q);
            EXPECT_EQ(h.GetValue(q), it == ref.end() ? 0 : it->second) << q;
            break;
        }
        }
        ASSERT_EQ(h.GetCount(), static_cast<int>(ref.size())) << "step " << step;
    }
    THashEntries got;
    h.GetKeys(&got);
    THashEntries want(ref.begin(), ref.end());
    EXPECT_EQ(got, want);
}
} // namespace

TEST(Hash, RandomisedAgainstOrderedMap) {
    for (unsigned seed = 1; seed <= 5; ++seed) {
        RandomAgainstReference(true, seed);
        RandomAgainstReference(false, seed);
    }
}

TEST(Hash, SortLargeShuffledMap) {
    THash h;
    std::mt19937 rng(7);
    std::vector<int> order(500);
    for (int i = 0; i < 500; ++i) order[static_cast<std::size_t>(i)] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (int i : order) h.SetValue("k" + std::to_string(i), i);
    h.SetCaseInsensitive(false);
    h.SetCaseInsensitive(true);
    for (int i = 0; i < 500; ++i) EXPECT_EQ(h.GetValue("K" + std::to_string(i)), i);
    const auto keys = h.Keys();
    for (std::size_t i = 1; i < keys.size(); ++i) EXPECT_LE(CompareKeys(keys[i - 1], keys[i], true), 0);
}
