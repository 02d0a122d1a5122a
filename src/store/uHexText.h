#pragma once
// Bytes as hexadecimal text, two digits a byte, high nibble first, and back: the image
// binding and the report pipe's id on the step's command line, the ids of changes, the
// digest item, the uninstaller's private folders. Header-only, allocation-free and for any
// character type: the uninstaller, which has no C++ runtime, shares it.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hextext {

enum class TLetters { Lower, Upper };

// Writes the 2 * size digits of bytes to out, without a terminator.
template <typename C>
constexpr void Write(const std::uint8_t* bytes, std::size_t size, C* out,
                     TLetters letters = TLetters::Lower) {
    const char* digits = letters == TLetters::Lower ? "0123456789abcdef" : "0123456789ABCDEF";
    for (std::size_t i = 0; i < size; ++i) {
        out[2 * i] = static_cast<C>(digits[bytes[i] >> 4]);
        out[2 * i + 1] = static_cast<C>(digits[bytes[i] & 15]);
    }
}

// The digits of a byte container (std::array, std::vector) as a string of the caller's
// type: Text<std::string>(hash), Text<std::wstring>(hash).
template <typename TString, typename TBytes>
TString Text(const TBytes& bytes, TLetters letters = TLetters::Lower) {
    TString text(2 * bytes.size(), typename TString::value_type());
    Write(bytes.data(), bytes.size(), text.data(), letters);
    return text;
}

// The value of a lowercase hex digit; -1 for any other character. The programs write
// lowercase only, so that one value has one spelling: an uppercase digit is not theirs.
template <typename C> constexpr int LowerDigitValue(C c) {
    if (c >= C('0') && c <= C('9')) return static_cast<int>(c - C('0'));
    if (c >= C('a') && c <= C('f')) return static_cast<int>(c - C('a')) + 10;
    return -1;
}

// text is exactly count lowercase hex digits.
template <typename C> constexpr bool IsLowerDigits(std::basic_string_view<C> text, std::size_t count) {
    if (text.size() != count) return false;
    for (C c : text)
        if (LowerDigitValue(c) < 0) return false;
    return true;
}

// Reads exactly 2 * size lowercase hex digits into bytes; false for any other text
// (bytes are then left as they were).
template <typename C>
constexpr bool ReadLower(std::basic_string_view<C> text, std::uint8_t* bytes, std::size_t size) {
    if (!IsLowerDigits(text, 2 * size)) return false;
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] =
            static_cast<std::uint8_t>(LowerDigitValue(text[2 * i]) << 4 | LowerDigitValue(text[2 * i + 1]));
    return true;
}

} // namespace hextext
