#include "platform/uSetScreenSaver.h"

#include "store/uPayloadFormat.h"

#include <windows.h>

#include "platform/uShellUtils.h"
#include "platform/uWinHandles.h"
#include "store/uErrors.h"
#include "store/uText.h"

TPlatformFamily CurrentPlatformFamily() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (GetVersionExW(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT) return TPlatformFamily::WindowsNT;
    return TPlatformFamily::Windows9x;
}

namespace {
// The key already exists on every NT system; it is not created (the installation does not
// depend on it: a failure is only told).
bool SetScreenSaverNT(const std::string& shortPath) {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, payload::kDesktopKeyW, 0, KEY_WRITE, key.Put()) != ERROR_SUCCESS)
        return false;
    const std::wstring data = ToWide(shortPath);
    return RegSetValueExW(key.Get(), payload::kScreenSaverValueW, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool SetScreenSaver9x(const std::string& shortPath) {
    const std::string iniFile = Trim(ExpandEnvironment("%windir%\\SYSTEM.INI"));
    if (iniFile.empty()) return false;
    if (!WritePrivateProfileStringW(L"boot", payload::kScreenSaverValueW, ToWide(shortPath).c_str(),
                                    ToWide(iniFile).c_str()))
        throw Exception("Cannot write the screen saver setting to " + iniFile);
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    return true;
}
} // namespace

bool SetScreenSaver(std::string_view path) {
    return SetScreenSaver(path, CurrentPlatformFamily());
}

bool SetScreenSaver(std::string_view path, TPlatformFamily family) {
    if (!FileExists932(path)) return false;
    const std::string shortPath = GetShortPath(path);
    return family == TPlatformFamily::WindowsNT ? SetScreenSaverNT(shortPath) : SetScreenSaver9x(shortPath);
}
