#include "components/uHash.h"

#include "store/uText.h"

#ifdef _WIN32
#include <windows.h>
#endif

#ifndef _WIN32
namespace {

// Collation off Windows, a fixed rule close to the Windows default for plain names.
// Strings are compared character by character (a double-byte character of code page
// 932 is one unit). Each character has a primary weight: its class first (punctuation,
// spaces and controls < digits < letters < everything above 0x7F), then within the class
// the lower-cased letter, the digit or the byte value (a double-byte character as lead *
// 256 + trail). A string that is a prefix of the other sorts first. Case-insensitively
// that is all; case-sensitively strings equal so far are ordered by the first position
// where the letter case differs, a lower-case letter before an upper-case one (as
// Windows orders "a" before "A"). Two strings compare equal case-sensitively only when
// their bytes are identical.
struct Unit {
    int klass;
    int value;
};

Unit PrimaryWeight(const std::string& s, std::size_t i, std::size_t len) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    if (len == 2) return {3, b * 256 + static_cast<std::uint8_t>(s[i + 1])};
    if (b >= '0' && b <= '9') return {1, b};
    if (b >= 'A' && b <= 'Z') return {2, b + ('a' - 'A')};
    if (b >= 'a' && b <= 'z') return {2, b};
    if (b >= 0x80) return {3, b};
    return {0, b};
}

int HostCollate(const std::string& a, const std::string& b, bool caseInsensitive) {
    std::size_t i = 0, j = 0;
    int caseOrder = 0; // first case difference: -1 when a has the lower-case letter
    while (i < a.size() && j < b.size()) {
        const std::size_t la = CharLen932(a, i), lb = CharLen932(b, j);
        const Unit ua = PrimaryWeight(a, i, la), ub = PrimaryWeight(b, j, lb);
        if (ua.klass != ub.klass) return ua.klass < ub.klass ? -1 : 1;
        if (ua.value != ub.value) return ua.value < ub.value ? -1 : 1;
        if (caseOrder == 0 && a[i] != b[j]) caseOrder = (a[i] >= 'a' && a[i] <= 'z') ? -1 : 1;
        i += la;
        j += lb;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return caseInsensitive ? 0 : caseOrder;
}

} // namespace
#endif

int CompareKeys(const std::string& a, const std::string& b, bool caseInsensitive) {
#ifdef _WIN32
    const std::wstring wa = ToWide(a), wb = ToWide(b);
    const int r = CompareStringW(LOCALE_USER_DEFAULT, caseInsensitive ? NORM_IGNORECASE : 0, wa.data(),
                                 static_cast<int>(wa.size()), wb.data(), static_cast<int>(wb.size()));
    if (r == 0) { // the call failed: fall back to the code units, so the order stays total
        if (wa == wb) return 0;
        return wa < wb ? -1 : 1;
    }
    return r - CSTR_EQUAL;
#else
    return HostCollate(a, b, caseInsensitive);
#endif
}

int FindKey(const std::vector<std::string>& keys, const std::string& key, bool caseInsensitive,
            bool forInsert) {
    const int n = static_cast<int>(keys.size());
    if (n == 0) return -1;
    auto cmp = [&](int i) { return CompareKeys(keys[static_cast<std::size_t>(i)], key, caseInsensitive); };
    if (n == 1) {
        const int c = cmp(0);
        if (!forInsert) return c == 0 ? 0 : -1;
        return c < 0 ? 1 : 0;
    }
    int lo = 0, hi = n - 1, answer = -1;
    bool found = false;
    for (;;) {
        const int d = hi - lo;
        const int mid = lo + d / 2;
        const int cm = cmp(mid);
        if (cm == 0) {
            answer = mid;
            found = true;
            break;
        }
        if (d == 1) {
            const int cl = cmp(lo), ch = cmp(hi);
            if (cl == 0) {
                answer = lo;
                found = true;
            }
            if (ch == 0) { // the higher of two equal neighbours wins
                answer = hi;
                found = true;
            }
            if (!forInsert || found) break;
            if (cl >= 0)
                answer = lo;
            else if (ch > 0)
                answer = hi;
            else
                answer = hi + 1;
            break;
        }
        if (cm > 0)
            hi = mid;
        else
            lo = mid;
    }
    if (!forInsert) return found ? answer : -1;
    return answer;
}

int THash::GetCount() const {
    return static_cast<int>(FKeys.size());
}

std::intptr_t THash::GetValue(const std::string& key) const {
    const int i = FindKey(FKeys, key, FCaseInsensitive, false);
    return i >= 0 ? FValues[static_cast<std::size_t>(i)] : 0;
}

void THash::SetValue(const std::string& key, std::intptr_t value) {
    int i = FindKey(FKeys, key, FCaseInsensitive, true);
    if (i < 0) i = 0;
    const auto at = static_cast<std::size_t>(i);
    if (at < FKeys.size() && FKeys[at] == key) {
        FValues[at] = value;
        return;
    }
    FKeys.insert(FKeys.begin() + i, key);
    FValues.insert(FValues.begin() + i, value);
}

std::intptr_t THash::GetValueAt(int index) const {
    if (index < 0 || index >= GetCount()) return 0;
    return FValues[static_cast<std::size_t>(index)];
}

void THash::SetValueAt(int index, std::intptr_t value) {
    if (index < 0 || index >= GetCount()) return;
    FValues[static_cast<std::size_t>(index)] = value;
}

void THash::SetCaseInsensitive(bool flag) {
    if (flag == FCaseInsensitive) return;
    FCaseInsensitive = flag;
    Sort();
}

void THash::Remove(const std::string& key) {
    const int i = FindKey(FKeys, key, FCaseInsensitive, false);
    if (i < 0) return;
    FKeys.erase(FKeys.begin() + i);
    FValues.erase(FValues.begin() + i);
}

void THash::Clear() {
    FValues.clear();
    FKeys.clear();
}

void THash::Rename(const std::string& oldKey, const std::string& newKey) {
    if (!Exists(oldKey)) return;
    const std::intptr_t v = GetValue(oldKey);
    Remove(oldKey);
    SetValue(newKey, v);
}

bool THash::Exists(const std::string& key) const {
    for (const auto& k : FKeys)
        if (CompareKeys(k, key, true) == 0) return true;
    return false;
}

void THash::GetKeys(THashEntries* list) const {
    if (!list) return;
    list->clear();
    for (std::size_t i = 0; i < FKeys.size(); ++i) list->emplace_back(FKeys[i], FValues[i]);
}

void THash::Sort() {
    if (FKeys.empty()) return;
    QuickSort(0, GetCount() - 1);
}

// Hoare partition around the middle element; keys and values are swapped together.
void THash::QuickSort(int lo, int hi) {
    while (lo < hi) {
        int i = lo, j = hi;
        const int middle = lo + (hi - lo) / 2;
        const std::string pivot = FKeys[static_cast<std::size_t>(middle)];
        while (i <= j) {
            while (CompareKeys(FKeys[static_cast<std::size_t>(i)], pivot, FCaseInsensitive) < 0) ++i;
            while (CompareKeys(FKeys[static_cast<std::size_t>(j)], pivot, FCaseInsensitive) > 0) --j;
            if (i <= j) {
                std::swap(FKeys[static_cast<std::size_t>(i)], FKeys[static_cast<std::size_t>(j)]);
                std::swap(FValues[static_cast<std::size_t>(i)], FValues[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        }
        // Recurse into the smaller part, loop on the larger one: the depth stays logarithmic.
        if (j - lo < hi - i) {
            QuickSort(lo, j);
            lo = i;
        } else {
            QuickSort(i, hi);
            hi = j;
        }
    }
}
