#include "app/uStartup.h"

#include "platform/uText.h"

#include <windows.h>

std::string LoadResString(unsigned id) {
    // With a buffer length of 0 LoadStringW hands out a read-only pointer into the
    // resource itself (not NUL-terminated) and its length, so no text is ever cut.
    const wchar_t* text = nullptr;
    int len = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (len <= 0 || !text) return {};
    return FromWide(std::wstring_view(text, static_cast<std::size_t>(len)));
}

std::string VerdictMessageText(const TStartupVerdict& verdict) {
    if (verdict.Welcome) return {};
    return FormatMessageText(LoadResString(verdict.MessageId), verdict.Argument);
}
