#pragma once
// Making a screensaver file the user's current screensaver. The two Windows families keep
// the setting in different places: the NT family in HKCU\Control Panel\Desktop, the older
// family in SYSTEM.INI [boot] together with the system's "screensaver active" switch.
#ifdef _WIN32
#include <string_view>

enum class TPlatformFamily { WindowsNT, Windows9x };

// The family of the running system (GetVersionEx's platform identifier).
TPlatformFamily CurrentPlatformFamily();

// Stores the short form of path as the current screensaver; false when it was not stored (a
// missing file changes nothing). On the older family a SYSTEM.INI that cannot be written
// raises Exception (store/uErrors.h), and the screensaver is then not switched on.
bool SetScreenSaver(std::string_view path);
bool SetScreenSaver(std::string_view path, TPlatformFamily family);
#endif
