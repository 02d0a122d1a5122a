#include "platform/uFlashUtils.h"

#include "platform/uShellUtils.h"
#include "platform/uSysApi.h"
#include "store/uText.h"

#include <ole2.h>

#include <vector>

namespace {

constexpr CLSID kFlashPlayerClsid = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr IID kIidOleObject = {0x00000112, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr char kPlayerServerKey[] = "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32";

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
    // The machine's registration only, as COM itself uses for an elevated process: the
    // user's own HKCU\Software\Classes (merged into HKEY_CLASSES_ROOT) may name any file.
    std::string path =
        ReadRegistryDefault(HKEY_LOCAL_MACHINE, kMachineClasses + std::string(kPlayerServerKey));
    // The server path may be an expandable string ("%ProgramFiles%\..."), which COM
    // expands when it loads the player; a path that exists as written is taken as it is.
    if (!FileExists932(path) && FindChar932(path, '%') != std::string::npos) path = ExpandEnvironment(path);
    if (!FileExists932(path)) return "0.0.0.0";
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

std::optional<std::string> TFlashPlayerProbe::InstalledVersion() {
    TComInit com;
    if (!IsFlashPlayerInstalled()) return std::nullopt;
    return GetFlashPlayerVersion();
}
