#pragma once
// The payload's format as the installer, the uninstaller and scrpack share it: the items
// of the container (uItemLayout.h has their layout) and how each is encoded, the files an
// installation writes, and the registry keys and values it writes and the uninstaller
// reads. Every name exists once, as narrow text (code page 932 / ASCII) and, with a "W",
// as UTF-16 for the uninstaller, which works in UTF-16 only. Header-only, no C++ runtime.

#define SCR_PAYLOAD_NAME(name, text)                                                                         \
    inline constexpr char name[] = text;                                                                     \
    inline constexpr wchar_t name##W[] = L"" text;

namespace payload {

// ---- Items --------------------------------------------------------------------------------
// Text items are code page 932 bytes without a terminator; a Boolean is one byte, 0 for
// false (an empty item counts as absent); of repeated items the last wins, except "SCR"
// and "InstallerReadme", whose data are appended in order.
SCR_PAYLOAD_NAME(kScr, "SCR")                          // the screensaver program, compressed
SCR_PAYLOAD_NAME(kScrName, "SCRName")                  // text: the base name of the files and the key
SCR_PAYLOAD_NAME(kGuid, "GUID")                        // text; also the uninstaller's own container
SCR_PAYLOAD_NAME(kDigest, "mxf")                       // text: the digest of the covered "SCR" bytes
SCR_PAYLOAD_NAME(kDigestLength, "mxl")                 // 4 bytes, little-endian: how many bytes it covers
SCR_PAYLOAD_NAME(kFlashVersion, "FlashVersion")        // text: the minimum player version
SCR_PAYLOAD_NAME(kTitle, "InstallerTitle")             // text: the window caption
SCR_PAYLOAD_NAME(kEula, "InstallerEULA")               // text (CR LF); empty skips the licence page
SCR_PAYLOAD_NAME(kReadMe, "InstallerReadme")           // bytes, compressed: <name>.txt
SCR_PAYLOAD_NAME(kLeftImage, "InstallerLeftImage")     // a BMP file the installer's reader shows
SCR_PAYLOAD_NAME(kTopImage, "InstallerTopImage")       // the same
SCR_PAYLOAD_NAME(kForceSet, "InstallerForceSet")       // Boolean: always made the current screensaver
SCR_PAYLOAD_NAME(kVerCheck, "InstallerVerCheck")       // Boolean: the player's version is checked
SCR_PAYLOAD_NAME(kNeedsPlayer, "InstallerNeedsPlayer") // Boolean: absent counts as true
SCR_PAYLOAD_NAME(kVersion, "InstallerVersion")         // text: the list of programs' version
SCR_PAYLOAD_NAME(kPublisher, "InstallerPublisher")     // text: the list of programs' publisher
// bytes, compressed: the uninstaller with its "GUID" container, signed by the publisher;
// written as it is instead of the program's own copy with a container appended
SCR_PAYLOAD_NAME(kSignedUninstaller, "InstallerSignedUninstaller")
inline constexpr unsigned kDigestLengthBytes = 4;

// ---- Files of an installation: <folder>\<name> + suffix ----------------------------------
SCR_PAYLOAD_NAME(kScrSuffix, ".scr")
SCR_PAYLOAD_NAME(kReadMeSuffix, ".txt")
SCR_PAYLOAD_NAME(kUninstallerSuffix, "Uninst.exe")

// ---- A change at work: names beside the files ---------------------------------------------
// An installation, upgrade or removal works in the destination folder under names that mark
// them as its own, "<file>.~<id><suffix>", <file> an installation file's full name (or, for
// the pending mark, "<folder>\<name>"), <id> the change's 32 lowercase hex digits from the
// system's random generator (uChangeNames.h reads them back). A run that dies leaves them;
// the next run of the installer or the uninstaller finds them and finishes the job.
SCR_PAYLOAD_NAME(kChangeMark, ".~")
SCR_PAYLOAD_NAME(kStagedSuffix, ".tmp")      // a new file written in full, not in place yet
SCR_PAYLOAD_NAME(kSetAsideSuffix, ".old")    // the earlier file, moved aside; deleted at the end
SCR_PAYLOAD_NAME(kFreshSuffix, ".new")       // empty: <file> did not exist before the change
SCR_PAYLOAD_NAME(kPendingSuffix, ".pending") // empty, "<name>.~<id>.pending": not complete yet
inline constexpr unsigned kChangeIdDigits = 32;
// The named mutex that one change to an installation holds while it works (prefix + the
// screensaver's name, which holds no "\\"): a second installer or uninstaller of the same
// screensaver waits for it instead of taking the first one's names for a dead run's.
SCR_PAYLOAD_NAME(kChangeLockPrefix, "Global\\ScrSetupChange-")

// ---- Registry -------------------------------------------------------------------------------
// Under HKEY_LOCAL_MACHINE; the key of one installation is this + the screensaver's name.
SCR_PAYLOAD_NAME(kUninstallRoot, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\")
SCR_PAYLOAD_NAME(kUninstallString, "UninstallString") // the quoted uninstaller
SCR_PAYLOAD_NAME(kQuietUninstallString, "QuietUninstallString")
SCR_PAYLOAD_NAME(kDisplayName, "DisplayName")
SCR_PAYLOAD_NAME(kDisplayIcon, "DisplayIcon")
SCR_PAYLOAD_NAME(kDisplayVersion, "DisplayVersion")
SCR_PAYLOAD_NAME(kPublisherValue, "Publisher")
SCR_PAYLOAD_NAME(kInstallLocation, "InstallLocation")
SCR_PAYLOAD_NAME(kEstimatedSize, "EstimatedSize")
SCR_PAYLOAD_NAME(kNoModify, "NoModify")
SCR_PAYLOAD_NAME(kNoRepair, "NoRepair")
SCR_PAYLOAD_NAME(kInstallDate, "InstallDate")
SCR_PAYLOAD_NAME(kReadMeInstalled, "ReadMeInstalled") // REG_DWORD: <name>.txt is the installation's
// Its value when it cannot be read: a registration written before the value existed counts
// its <name>.txt as the installation's.
inline constexpr unsigned kReadMeInstalledUnread = 1;
// Under HKEY_CURRENT_USER: the user's current screensaver.
SCR_PAYLOAD_NAME(kDesktopKey, "Control Panel\\Desktop")
SCR_PAYLOAD_NAME(kScreenSaverValue, "SCRNSAVE.EXE")

} // namespace payload

#undef SCR_PAYLOAD_NAME
