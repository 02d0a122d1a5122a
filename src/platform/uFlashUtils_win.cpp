#include "platform/uFlashUtils.h"

#include "platform/uSysApi.h"
#include "platform/uText.h"
#include "platform/uWinHandles.h"

#include <ole2.h>

#include <vector>

const wchar_t kFlashPlayerClsidText[] = L"{D27CDB6E-AE6D-11CF-96B8-444553540000}";

namespace {

constexpr CLSID kFlashPlayerClsid = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr IID kIidOleObject = {0x00000112, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr wchar_t kPlayerServerKey[] = L"CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32";

// The default value of a key under HKEY_CLASSES_ROOT as code page 932 text, of any
// length, cut at the first NUL and trimmed; empty when the key or value cannot be read
// or is not a string. An expandable string has its environment variables expanded, as
// COM does when it loads the server.
std::string ReadClassesRootDefault(const wchar_t* subKey) {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) return {};
    DWORD type = 0;
    DWORD bytes = 0;
    LONG rc = RegQueryValueExW(key.Get(), nullptr, nullptr, &type, nullptr, &bytes);
    std::vector<wchar_t> buf;
    // The value may grow between the two calls: ask again while it does.
    for (int attempt = 0; attempt < 4 && rc == ERROR_SUCCESS; ++attempt) {
        buf.assign(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = static_cast<DWORD>((buf.size() - 1) * sizeof(wchar_t));
        rc = RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
        if (rc == ERROR_MORE_DATA) {
            bytes = size;
            rc = ERROR_SUCCESS;
            continue;
        }
        if (rc != ERROR_SUCCESS) break;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
        std::wstring text(buf.data(), size / sizeof(wchar_t));
        if (std::size_t nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
        if (type == REG_EXPAND_SZ) {
            DWORD need = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
            if (need > 0) {
                std::wstring expanded(need, L'\0');
                DWORD got = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), need);
                if (got > 0 && got <= need) {
                    expanded.resize(got - 1);
                    text = std::move(expanded);
                }
            }
        }
        return Trim(FromWide(text));
    }
    return {};
}

bool IsExistingFile(const std::string& path) {
    if (path.empty()) return false;
    DWORD attr = GetFileAttributesW(ToWide(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

bool IsFlashPlayerInstalled() {
    IUnknown* obj = nullptr;
    HRESULT hr = sys::CoCreateInstance(kFlashPlayerClsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                       kIidOleObject, reinterpret_cast<void**>(&obj));
    // A success code other than S_OK does not count, but any object handed out is released.
    if (obj) obj->Release();
    return hr == S_OK;
}

std::string GetFlashPlayerVersion() {
    std::string path = ReadClassesRootDefault(kPlayerServerKey);
    if (!IsExistingFile(path)) return "0.0.0.0";
    return GetFileVersionText(path);
}

std::string GetFileVersionText(const std::string& path) {
    std::wstring file = ToWide(path);
    DWORD handle = 0;
    DWORD size = sys::GetFileVersionInfoSizeW(file.c_str(), &handle);
    if (size < 1) return {};
    std::vector<std::uint8_t> record(size);
    if (!sys::GetFileVersionInfoW(file.c_str(), 0, size, record.data())) return {};
    void* block = nullptr;
    UINT len = 0;
    if (!sys::VerQueryValueW(record.data(), L"\\", &block, &len) || !block || len < sizeof(VS_FIXEDFILEINFO))
        return {};
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(block);
    if (info->dwSignature != 0xFEEF04BD) return {};
    return std::to_string(HIWORD(info->dwProductVersionMS)) + "." +
           std::to_string(LOWORD(info->dwProductVersionMS)) + "." +
           std::to_string(HIWORD(info->dwProductVersionLS)) + "." +
           std::to_string(LOWORD(info->dwProductVersionLS));
}

bool IsFlashVersionOK(const std::string& required) {
    if (!IsFlashPlayerInstalled()) return false;
    return IsVersionAtLeast(GetFlashPlayerVersion(), required);
}

bool TFlashPlayerProbe::IsFlashPlayerInstalled() {
    return ::IsFlashPlayerInstalled();
}
bool TFlashPlayerProbe::IsFlashVersionOK(const std::string& required) {
    return ::IsFlashVersionOK(required);
}
