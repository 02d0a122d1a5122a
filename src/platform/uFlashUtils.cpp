#include "platform/uFlashUtils.h"

#include "store/uText.h"

#include <algorithm>

void SplitString(std::vector<std::string>& list, std::string_view text, std::string_view separator) {
    list.clear();
    if (text.empty()) return;
    if (separator.empty()) {
        list.emplace_back(text);
        return;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t pos = Find932(text, separator, start);
        if (pos == std::string_view::npos) {
            list.emplace_back(text.substr(start));
            return;
        }
        list.emplace_back(text.substr(start, pos - start));
        start = pos + separator.size();
    }
}

namespace {

bool IsDecimal(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// -1, 0, 1 for two decimal digit strings of any length, by value.
int CompareDecimal(std::string_view a, std::string_view b) {
    auto strip = [](std::string_view s) {
        std::size_t i = 0;
        while (i + 1 < s.size() && s[i] == '0') ++i;
        return s.substr(i);
    };
    a = strip(a);
    b = strip(b);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

bool IsVersionAtLeast(std::string_view installed, std::string_view required) {
    // The payload's text may come with blanks or a line break around it.
    const std::string trimmed = Trim(required);
    if (installed == trimmed) return true;
    std::vector<std::string> have, need;
    SplitString(have, installed, ".");
    SplitString(need, trimmed, ".");
    if (need.empty()) return true;
    if (have.empty()) return false;
    const std::size_t n = std::max(have.size(), need.size());
    for (std::size_t i = 0; i < n; ++i) {
        std::string_view a = i < have.size() ? std::string_view(have[i]) : std::string_view("0");
        std::string_view b = i < need.size() ? std::string_view(need[i]) : std::string_view("0");
        if (!IsDecimal(a) || !IsDecimal(b)) return false;
        int c = CompareDecimal(a, b);
        if (c != 0) return c > 0;
    }
    return true;
}
