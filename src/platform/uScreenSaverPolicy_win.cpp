#include "platform/uScreenSaverPolicy.h"

#include "platform/uShellUtils.h"
#include "platform/uSysApi.h"
#include "store/uPayloadFormat.h"
#include "store/uText.h"

#include <windows.h>

#include <string>

namespace {

constexpr wchar_t kDesktopPolicyKey[] = L"Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop";
constexpr wchar_t kSystemPolicyKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// A string value of HKCU (REG_SZ, or REG_EXPAND_SZ expanded); false when it is missing or
// of another type.
bool ReadString(const wchar_t* key, const wchar_t* name, std::wstring& value) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD bytes = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
            ERROR_SUCCESS)
            return false;
        value.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        const LSTATUS rc =
            RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, value.data(), &bytes);
        if (rc == ERROR_MORE_DATA) continue; // it grew in between
        if (rc != ERROR_SUCCESS) return false;
        value.resize(value.find(L'\0') == std::wstring::npos ? value.size() : value.find(L'\0'));
        return true;
    }
    return false;
}

// A REG_DWORD value of HKCU is there and not zero.
bool NonZero(const wchar_t* key, const wchar_t* name) {
    DWORD number = 0, bytes = sizeof number;
    return RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &number, &bytes) ==
               ERROR_SUCCESS &&
           number != 0;
}

} // namespace

TScreenSaverPolicy ReadScreenSaverPolicy() {
    TScreenSaverPolicy policy;
    std::wstring text;
    if (ReadString(kDesktopPolicyKey, payload::kScreenSaverValueW, text))
        policy.ForcedScreenSaver = ScreenSaverPathOf(FromWide(text));
    policy.ScreenSaversOff =
        ReadString(kDesktopPolicyKey, L"ScreenSaveActive", text) && Trim(FromWide(text)) == "0";
    policy.SettingsBlocked =
        NonZero(kSystemPolicyKey, L"NoDispScrSavPage") || NonZero(kSystemPolicyKey, L"NoDispCPL");
    return policy;
}

bool IsForcedScreenSaver(const TScreenSaverPolicy& policy, std::string_view scrPath) {
    std::wstring forced = ToWide(policy.ForcedScreenSaver);
    if (forced.find_first_of(L"\\/:") == std::wstring::npos) {
        const std::wstring system = sys::SystemDirectory();
        if (system.empty()) return false;
        forced = system + L"\\" + forced;
    }
    return SamePathAnyForm(forced, ToWide(scrPath));
}

TPolicyYield ScreenSaverYieldFor(const TScreenSaverPolicy& policy, std::string_view scrPath) {
    return ScreenSaverYield(policy,
                            !policy.ForcedScreenSaver.empty() && IsForcedScreenSaver(policy, scrPath));
}
