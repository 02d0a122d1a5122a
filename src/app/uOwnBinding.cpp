#include "app/uOwnBinding.h"

std::wstring BindingText(const TSha256& hash) {
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    for (std::uint8_t b : hash) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

bool ParseBindingText(std::wstring_view text, TSha256& hash) {
    if (text.size() != hash.size() * 2) return false;
    auto nibble = [](wchar_t c) {
        if (c >= L'0' && c <= L'9') return c - L'0';
        if (c >= L'a' && c <= L'f') return c - L'a' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < hash.size(); ++i) {
        const int high = nibble(text[2 * i]), low = nibble(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        hash[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    return true;
}
