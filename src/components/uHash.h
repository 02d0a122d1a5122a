#pragma once
// THash: a map from 8-bit (code page 932) string keys to pointer-sized values. Despite
// the name it does no hashing: the keys are kept in ascending order under CompareKeys
// and found by binary search. Keys need not be unique: SetValue replaces only a key
// with identical spelling, so in case-insensitive mode "ICON" is inserted beside "icon".
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Negative, 0 or positive: the user's locale collation, case-insensitive when asked.
// Windows: CompareStringW(LOCALE_USER_DEFAULT) over the full strings. Elsewhere a fixed
// rule (see uHash.cpp) that orders ASCII names alphabetically regardless of case.
int CompareKeys(const std::string& a, const std::string& b, bool caseInsensitive);

// Binary search over keys sorted under CompareKeys. Exact mode (forInsert false): the
// index of an equal key or -1. Insertion mode: the index of an equal key or the position
// before which key belongs (0 for an empty list is reported as -1 in both modes).
int FindKey(const std::vector<std::string>& keys, const std::string& key, bool caseInsensitive,
            bool forInsert);

// Keys with their values, as GetKeys hands them out.
using THashEntries = std::vector<std::pair<std::string, std::intptr_t>>;

class THash {
public:
    THash() = default;
    virtual ~THash() = default;
    THash(const THash&) = delete;
    THash& operator=(const THash&) = delete;

    virtual int GetCount() const;
    // 0 when the key is absent (a stored 0 looks the same: test Exists first).
    virtual std::intptr_t GetValue(const std::string& key) const;
    virtual void SetValue(const std::string& key, std::intptr_t value);
    virtual std::intptr_t GetValueAt(int index) const;
    virtual void SetValueAt(int index, std::intptr_t value);
    virtual void SetCaseInsensitive(bool flag);
    virtual void Remove(const std::string& key);
    virtual void Clear();
    // Moves the value of oldKey to newKey through GetValue, Remove and SetValue.
    virtual void Rename(const std::string& oldKey, const std::string& newKey);
    // Linear and always case-insensitive, whatever the map's mode.
    virtual bool Exists(const std::string& key) const;

    // Clears list and fills it with every key and its value in map order; null is ignored.
    void GetKeys(THashEntries* list) const;
    // Re-establishes ascending order under the current comparison.
    void Sort();

    bool CaseInsensitive() const { return FCaseInsensitive; }
    const std::vector<std::string>& Keys() const { return FKeys; }

private:
    void QuickSort(int lo, int hi);

    std::vector<std::string> FKeys;
    std::vector<std::intptr_t> FValues;
    bool FCaseInsensitive = true;
};
