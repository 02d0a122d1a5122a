#pragma once
// The policies an administrator sets on the user's screen saver, read from the user's own
// HKCU (never by the elevated step, whose HKCU may be an administrator's):
//   Software\Policies\Microsoft\Windows\Control Panel\Desktop
//     "SCRNSAVE.EXE"      the screensaver every session runs (the user's choice is ignored)
//     "ScreenSaveActive"  "0": no screensaver runs at all
//   Software\Microsoft\Windows\CurrentVersion\Policies\System
//     "NoDispScrSavPage", "NoDispCPL"  non-zero: the screen saver settings are not shown
// The reading is Windows-only; what the installer makes of it is portable.
#include <string>
#include <string_view>

struct TScreenSaverPolicy {
    std::string
        ForcedScreenSaver; // "SCRNSAVE.EXE" of the policy, its program path (code page 932); empty: none
    bool ScreenSaversOff = false; // "ScreenSaveActive" of the policy is "0"
    bool SettingsBlocked = false; // "NoDispScrSavPage" or "NoDispCPL" is non-zero
};

// Why the installer does not make its screensaver the current one: a policy runs another
// one, or none at all. Screensavers off wins over a forced one.
enum class TPolicyYield { None, ForcedOther, ScreenSaversOff };
TPolicyYield ScreenSaverYield(const TScreenSaverPolicy& policy, bool forcedIsThisOne);
// The reason for the install log: "a policy turns screensavers off", or "a policy runs
// another screensaver: <path>".
std::string YieldReason(const TScreenSaverPolicy& policy, TPolicyYield yield);

// The program path in a "SCRNSAVE.EXE" value: the text inside a leading pair of quotes,
// else the whole value, without surrounding blanks.
std::string ScreenSaverPathOf(std::string_view value);

#ifdef _WIN32
// The user's policies as they are now (HKCU of the running process).
TScreenSaverPolicy ReadScreenSaverPolicy();

// Whether the policy's forced screensaver is the file at scrPath: equal as written, in
// their long forms or in their short (8.3) forms, ignoring case. A bare file name is one in
// the system directory, as Windows runs it.
bool IsForcedScreenSaver(const TScreenSaverPolicy& policy, std::string_view scrPath);
// ScreenSaverYield for the screensaver at scrPath.
TPolicyYield ScreenSaverYieldFor(const TScreenSaverPolicy& policy, std::string_view scrPath);
#endif
