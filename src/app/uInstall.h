#pragma once
// The installation: the screensaver, its ReadMe and the uninstaller written into the
// destination folder, the screensaver made the current one when chosen, and the
// uninstaller registered with the system's list of installed programs.
//
// The names, paths and registry values are portable; the installation itself is
// Windows-only (uInstall_win.cpp).
#include "app/uStartup.h"
#include "store/uPayloadFormat.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---- What is installed where ------------------------------------------------------------

// Code page 932: "スクリーンセーバー" (screensaver), the suffix of the displayed name.
inline constexpr char kScreenSaverWord[] =
    "\x83\x58\x83\x4E\x83\x8A\x81\x5B\x83\x93\x83\x5A\x81\x5B\x83\x6F\x81\x5B";
// Code page 932: "スクリーンセーバーインストール中..." (installing the screensaver), the
// notifier's message.
inline constexpr char kInstallingMessage[] =
    "\x83\x58\x83\x4E\x83\x8A\x81\x5B\x83\x93\x83\x5A\x81\x5B\x83\x6F\x81\x5B"
    "\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x92\x86...";
using payload::kUninstallRoot;

// For whom an installation is: everyone (the files where an administrator puts them, the
// uninstall entry under HKEY_LOCAL_MACHINE, written by the elevated step) or the user who
// runs the installer alone (by default under %LOCALAPPDATA%\Programs\<name>, the entry under
// HKEY_CURRENT_USER, written by the user's own process without administrator rights).
enum class TInstallScope { AllUsers, CurrentUser };

// The files of one installation, each a full path (code page 932).
struct TInstallPaths {
    std::string Folder;      // the destination, ending in "\"
    std::string SCRPath;     // Folder + name + ".scr"
    std::string ReadMePath;  // Folder + name + ".txt"
    std::string Uninstaller; // Folder + name + "Uninst.exe"
};

// What is wrong with a screensaver's name (code page 932) as the base name of the
// installed files and of the uninstall key: it must be one plain file name in the
// destination folder, whatever the payload says.
enum class TNameFault {
    None,
    Empty,
    TooLong,            // over kMaxScreenSaverName bytes
    BadByte,            // not code page 932 text (a stray or unfinished double-byte character)
    ControlChar,        // a byte below 0x20
    ForbiddenChar,      // one of \ / : * ? " < > |
    DotName,            // "." or ".."
    TrailingDotOrSpace, // the system would drop it
    DeviceName,         // CON PRN AUX NUL COM1-9 LPT1-9, with or without an extension
};
struct TNameCheck {
    TNameFault Fault = TNameFault::None;
    char Char = 0; // the control or forbidden character
};
// Room for "Uninst.exe" behind the name within one path component, with some to spare.
inline constexpr std::size_t kMaxScreenSaverName = 200;

// Checks a name byte by byte, double-byte aware: the trail byte of a double-byte character
// (0x5C in "表" = 95 5C, 0x7C) is no separator. Shared by the installer and scrpack.
TNameCheck CheckScreenSaverName(std::string_view cp932);

// A destination must be a full path on a local drive ("X:\..."): relative and
// drive-relative paths (their meaning depends on the current folder of whoever runs the
// step or the uninstaller later), UNC paths and the "\\?\" and "\\.\" forms are refused, and
// so are "*?\"<>|" and a ":" past the drive (an alternate data stream).
bool IsLocalDrivePath(std::wstring_view path);

// The paths for the text of the path edit and the screensaver's name. A "\" that is the
// second byte of a double-byte character does not end the folder; an empty text gives
// "\" (the root of the current drive).
TInstallPaths InstallPaths(std::string_view destination, std::string_view scrName);

// The uninstall registration: "key path\value name" paths under HKEY_LOCAL_MACHINE and
// their data.
struct TUninstallValue {
    std::string ValuePath;
    std::string Data;      // a string value (code page 932)
    bool IsNumber = false; // a REG_DWORD value instead, holding Number
    std::uint32_t Number = 0;
};
struct TUninstallEntry {
    TUninstallValue UninstallString; // the uninstaller's full path in double quotes
    TUninstallValue DisplayName;     // the name + "スクリーンセーバー"
};
// The quotes keep Windows from running a planted "C:\Program.exe" for an unquoted path
// with spaces.
TUninstallEntry UninstallEntry(std::string_view scrName, std::string_view uninstallerPath);

// The version and publisher the list of installed programs shows: the payload's own
// ("InstallerVersion", "InstallerPublisher"), else those of the screensaver's version
// record. The one rule for the entry and for the package manager's manifest.
struct TListedIdentity {
    std::string Version, Publisher; // code page 932; empty when neither source has one
};
TListedIdentity ListedIdentity(const TPayloadSettings& settings);

// What the list of installed programs shows beyond the name.
struct TUninstallDetails {
    std::string Version;              // "DisplayVersion"; empty: not written
    std::string Publisher;            // "Publisher"; empty: not written
    std::uint64_t FileBytes = 0;      // the size of the files written
    int Year = 0, Month = 0, Day = 0; // the day of the installation
    bool ReadMe = false;              // "ReadMeInstalled": <name>.txt belongs to the installation
};
// The further values of the registration, in the order they are written: "DisplayIcon"
// (the screensaver), "DisplayVersion", "Publisher", "InstallLocation" (the folder),
// "EstimatedSize" (KiB, rounded up), "NoModify" and "NoRepair" (1),
// "QuietUninstallString" (the quoted uninstaller and " /S"), "InstallDate" (yyyymmdd),
// "ReadMeInstalled" (1 when <name>.txt is the installation's, which the uninstaller then
// removes; 0 leaves a file of that name alone).
std::vector<TUninstallValue> UninstallDetailValues(std::string_view scrName, const TInstallPaths& paths,
                                                   const TUninstallDetails& details);

// ---- The installation (Windows) -----------------------------------------------------------

// How an installation ended. The user's text is made once, where the failure is found,
// from what failed, on which file or value, and the system's code behind it.
struct TInstallOutcome {
    TInstallResult Result = TInstallResult::Installed;
    std::string Message;        // the text for the user (OutcomeText, or the step's report)
    bool ReadMePresent = false; // a ReadMe was written (the finish page offers to open it)
};

// What InstallScreenSaver writes: for everyone in the elevated step, for one user in that
// user's own process.
struct TInstallRequest {
    std::string Destination;               // the chosen folder (code page 932)
    std::vector<std::uint8_t> Uninstaller; // the uninstaller program, without its container
    TInstallScope Scope = TInstallScope::AllUsers;
};

#ifdef _WIN32
#include <windows.h>

// Where a scope's uninstall entries live, and that root's name for messages and the log.
inline HKEY ScopeRoot(TInstallScope scope) {
    return scope == TInstallScope::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}
inline std::string ScopeRootName(TInstallScope scope) {
    return scope == TInstallScope::CurrentUser ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\";
}

// The folder a screensaver is installed into for the current user alone when none is
// chosen: "%LOCALAPPDATA%\Programs\<name>" (the known folder, not the environment).
std::string PerUserFolder(std::string_view scrName);
// Makes that folder (and "Programs" above it) when missing; false when it still is.
bool CreatePerUserFolder(std::string_view scrName);
// The same folder, by the system's rules for names (case, a trailing "\\").
bool SameFolder(std::string_view a, std::string_view b);

// The uninstaller this program carries in its main window's stored definition, read
// without building the window; empty when it cannot be read.
std::vector<std::uint8_t> CarriedUninstaller();

// Who owns HKLM (or, for one user, HKCU) "...\Uninstall\<name>": nobody, this system (its "UninstallString"
// names an existing <name>Uninst.exe that carries a "GUID" container, whatever the GUID: a later build of the
// same screensaver upgrades it; or it names one that is gone and the key's "DisplayName" is ours, a
// registration whose files were deleted by hand), or another product. Unreadable: the key, or the uninstaller
// it names, exists but cannot be read (in use, access denied): whose it is cannot be told.
enum class TEntryOwner { Absent, Ours, Foreign, Unreadable };
struct TRegisteredEntry {
    TEntryOwner Owner = TEntryOwner::Absent;
    std::string Unread;      // unreadable: the key or file, for the message
    unsigned long Error = 0; // unreadable: the system's code
    std::string Folder;      // ours: "InstallLocation" (else the uninstaller's folder), ending in "\"
    bool ReadMe = false;     // ours: it recorded <name>.txt as its own (or predates the record)
};
TRegisteredEntry InspectUninstallEntry(std::string_view scrName,
                                       TInstallScope scope = TInstallScope::AllUsers);

// The destination as it will be used: made absolute by the system's full-path rules on the
// UTF-16 text, then converted to code page 932 exactly. BadDestination for one
// IsLocalDrivePath refuses, UnrepresentableDestination for one code page 932 cannot hold.
TInstallResult ResolveDestination(std::wstring_view typed, std::string& folder);

// What can be told before anything is written: a payload without a screensaver name
// (NoName, with its message), a destination folder that does not exist (NoDestination),
// an uninstall key of that name that is another product's (EntryConflict) or this
// screensaver registered in another folder (InstalledElsewhere), a key or registered
// uninstaller that cannot be read (ReadFailed), each with its message.
// Shows nothing; Installed when all is fine.
// The registration found is put into *entry when given.
TInstallOutcome CheckInstallTarget(const TPayloadSettings& settings, const std::string& destination,
                                   TInstallScope scope, TRegisteredEntry* entry = nullptr);
// This screensaver installed in the other scope (for everyone when installing for one user,
// or the other way) is refused (InstalledOtherScope, naming its folder): two installations
// of it would share the user's current-screensaver setting and the name of its uninstall
// entry. Asked by the user's own process only: the elevated step's HKCU may be another
// account's (an administrator who approved the prompt).
TInstallOutcome CheckOtherScope(const TPayloadSettings& settings, TInstallScope scope);

// The installation in paths has this payload's ReadMe: the payload carries one and the file
// is there. Only that one is offered: a <name>.txt an earlier installation left is not.
bool HasOwnReadMe(const TPayloadSettings& settings, const TInstallPaths& paths);

// The machine-wide step: checks the target again, then changes the destination and the
// HKLM entry all or nothing. Every new file is written in full beside its target before any
// existing file is touched; the earlier files are moved aside, the new ones moved in, the
// entry written (the earlier entry's values kept until the new ones are all there), and
// only then are the earlier files deleted; one in use goes at the next restart
// (InstalledRestartPending). Any failure before that puts the folder and the entry back as
// they were, in reverse, and the message says so. What a run that died left in the folder
// is found first and finished (the earlier files back when the new set was incomplete).
// It shows nothing and touches nothing of the user's (the current screensaver is set by
// the user's own process afterwards). Each file and value, and each failure, goes to the
// install log. Errors never leave it: they come back as the outcome.
TInstallOutcome InstallScreenSaver(const TPayloadSettings& settings, const TInstallRequest& request);
#endif
