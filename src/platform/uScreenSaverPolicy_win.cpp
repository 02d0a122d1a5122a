#include "platform/uScreenSaverPolicy.h"

#include "platform/uSysApi.h"
#include "platform/uText.h"

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
        if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
            return false;
        value.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        const LSTATUS rc = RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, value.data(), &bytes);
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
    return RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &number, &bytes) == ERROR_SUCCESS &&
           number != 0;
}

// The result of a path call, in a buffer of the longest path there is; empty when it fails.
std::wstring PathCall(DWORD(WINAPI* call)(LPCWSTR, LPWSTR, DWORD), const std::wstring& in) {
    constexpr DWORD kLongest = 32768;
    std::wstring out(kLongest, L'\0');
    const DWORD n = call(in.c_str(), out.data(), kLongest);
    out.resize(n < kLongest ? n : 0);
    return out;
}

// The long form of a full path; a file that is not there (yet) keeps its name under the
// long form of its folder.
std::wstring LongForm(const std::wstring& path) {
    std::wstring longer = PathCall(GetLongPathNameW, path);
    if (!longer.empty()) return longer;
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return path;
    longer = PathCall(GetLongPathNameW, path.substr(0, slash + 1));
    return longer.empty() ? path : longer + path.substr(slash + 1);
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) return false;
    if (SameText(a, b) || SameText(LongForm(a), LongForm(b))) return true;
    const std::wstring sa = PathCall(GetShortPathNameW, a), sb = PathCall(GetShortPathNameW, b);
    return !sa.empty() && !sb.empty() && SameText(sa, sb);
}

} // namespace

TScreenSaverPolicy ReadScreenSaverPolicy() {
    TScreenSaverPolicy policy;
    std::wstring text;
    if (ReadString(kDesktopPolicyKey, L"SCRNSAVE.EXE", text)) policy.ForcedScreenSaver = ScreenSaverPathOf(FromWide(text));
    policy.ScreenSaversOff = ReadString(kDesktopPolicyKey, L"ScreenSaveActive", text) && Trim(FromWide(text)) == "0";
    policy.SettingsBlocked = NonZero(kSystemPolicyKey, L"NoDispScrSavPage") || NonZero(kSystemPolicyKey, L"NoDispCPL");
    return policy;
}

bool IsForcedScreenSaver(const TScreenSaverPolicy& policy, std::string_view scrPath) {
    std::wstring forced = ToWide(policy.ForcedScreenSaver);
    if (forced.find_first_of(L"\\/:") == std::wstring::npos) {
        const std::wstring system = sys::SystemDirectory();
        if (system.empty()) return false;
        forced = system + L"\\" + forced;
    }
    return SamePath(forced, ToWide(scrPath));
}

TPolicyYield ScreenSaverYieldFor(const TScreenSaverPolicy& policy, std::string_view scrPath) {
    return ScreenSaverYield(policy, !policy.ForcedScreenSaver.empty() && IsForcedScreenSaver(policy, scrPath));
}
