#include "app/uStartup.h"

#include "store/uStreams.h"
#include "store/uText.h"

#include <windows.h>

std::string LoadResString(unsigned id) {
    // With a buffer length of 0 LoadStringW hands out a read-only pointer into the
    // resource itself (not NUL-terminated) and its length, so no text is ever cut.
    const wchar_t* text = nullptr;
    int len = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (len <= 0 || !text) return {};
    return FromWide(std::wstring_view(text, static_cast<std::size_t>(len)));
}

std::string OutcomeText(TInstallResult result, std::string_view subject, unsigned long systemError) {
    std::string text =
        FormatMessageText(LoadResString(OutcomeRule(result).Message), EscapeControls932(subject));
    if (systemError != 0) {
        const TStringId cause = CauseMessage(systemError);
        text += "\r\n" + FormatMessageText(LoadResString(SCause),
                                           cause ? LoadResString(cause) : SystemErrorText(systemError));
    }
    return text;
}
