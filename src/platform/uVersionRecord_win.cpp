#include "platform/uVersionRecord.h"

#include "platform/uFlashUtils.h"
#include "platform/uSysApi.h"
#include "platform/uText.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace {

// One text of the string table for language and code page, trimmed at its first NUL and
// never read past the length the system reports; empty when missing.
std::string StringValue(const std::vector<std::uint8_t>& record, unsigned language, unsigned codePage,
                        const wchar_t* name) {
    std::wstring sub = L"\\StringFileInfo\\";
    for (unsigned word : {language, codePage})
        for (int shift = 12; shift >= 0; shift -= 4) sub += L"0123456789abcdef"[(word >> shift) & 0xFu];
    sub += L'\\';
    sub += name;
    void* block = nullptr;
    UINT len = 0;
    if (!sys::VerQueryValueW(record.data(), sub.c_str(), &block, &len) || !block || len == 0) return {};
    const auto* text = static_cast<const wchar_t*>(block);
    std::size_t n = 0;
    while (n < len && text[n] != L'\0') ++n;
    std::wstring value(text, n);
    while (!value.empty() && (value.back() == L' ' || value.back() == L'\t')) value.pop_back();
    return FromWide(value);
}

} // namespace

TVersionRecord ReadVersionRecord(std::string_view path) {
    TVersionRecord r;
    const std::wstring file = ToWide(path);
    DWORD handle = 0;
    const DWORD size = sys::GetFileVersionInfoSizeW(file.c_str(), &handle);
    if (size == 0) return r;
    std::vector<std::uint8_t> record(size);
    if (!sys::GetFileVersionInfoW(file.c_str(), 0, size, record.data())) return r;

    // The languages the record lists, then the usual ones when it lists none.
    std::vector<std::pair<unsigned, unsigned>> languages;
    void* block = nullptr;
    UINT len = 0;
    if (sys::VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation", &block, &len) && block) {
        const auto* pairs = static_cast<const WORD*>(block);
        for (UINT i = 0; i + 1 < len / sizeof(WORD); i += 2) languages.emplace_back(pairs[i], pairs[i + 1]);
    }
    languages.insert(languages.end(), {{0x0411, 1200}, {0x0409, 1200}, {0x0409, 1252}, {0x0411, 932}});
    for (const auto& [language, codePage] : languages) {
        if (r.CompanyName.empty()) r.CompanyName = StringValue(record, language, codePage, L"CompanyName");
        if (r.ProductVersion.empty())
            r.ProductVersion = StringValue(record, language, codePage, L"ProductVersion");
    }
    if (r.ProductVersion.empty()) r.ProductVersion = GetFileVersionText(std::string(path));
    return r;
}
