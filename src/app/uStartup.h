#pragma once
// Start-up of the installer: the settings and payload taken from the item container at
// the end of the installer's own file, the integrity check of the screensaver data and
// the gate on the Flash player. The main window holds these settings and asks for the
// verdict that picks its first page.
#include "app/uOutcomes.h"
#include "platform/uFlashUtils.h"
#include "platform/uSha256.h"
#include "resources/uStrings.h"
#include "store/uExeAdder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The designed caption of the main window, the title when the payload names none
// (code page 932: "Orvane スクリーンセーバー　インストーラー").
inline constexpr char kDesignedCaption[] =
    "Orvane \x83\x58\x83\x4E\x83\x8A\x81\x5B\x83\x93\x83\x5A\x81\x5B\x83\x6F"
    "\x81\x5B\x81\x40\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x89\x81\x5B";

// What the start-up leads to: the welcome page (Installed: nothing stands in the way), or
// InvalidPayload or PlayerMissing, whose message, page and exit code the outcome table
// gives.
struct TStartupVerdict {
    TInstallResult Result = TInstallResult::Installed;
    std::string Argument;    // PlayerMissing: the version needed, for the message's "%s"
    std::string Why;         // what decided it, for the install log and scrpack verify
    unsigned long Cause = 0; // Unexpected: the system's code behind it

    bool Welcome() const { return Result == TInstallResult::Installed; }
};

// The payload settings: item names and meanings as the container carries them. Strings
// are code page 932 bytes taken from the items unchanged.
class TPayloadSettings {
public:
    std::vector<std::uint8_t> FSCRData;           // "SCR" (all such items, in order)
    std::vector<std::uint8_t> FReadMeData;        // "InstallerReadme" (all such items, in order)
    std::string FSCRName;                         // "SCRName"
    std::string FEULA;                            // "InstallerEULA"; empty skips the licence page
    std::string FReadMePath;                      // set by the installation
    std::string FGUID;                            // "GUID"
    std::string FExpectedDigest;                  // "mxf"
    std::uint32_t FDigestLength = 0;              // "mxl": leading bytes of FSCRData the digest covers
    std::string FTitle;                           // "InstallerTitle"; the window caption
    bool FForceSet = false;                       // "InstallerForceSet"
    bool FVerCheck = true;                        // "InstallerVerCheck"
    bool FNeedsPlayer = true;                     // "InstallerNeedsPlayer"; false skips the player gate
    std::string FVersion;                         // "InstallerVersion": shown in the list of programs
    std::string FPublisher;                       // "InstallerPublisher": shown in the list of programs
    std::string FFlashVersion;                    // "FlashVersion": the minimum player version
    std::vector<std::uint8_t> FLeftImage;         // last non-empty "InstallerLeftImage" (BMP file)
    std::vector<std::uint8_t> FTopImage;          // last non-empty "InstallerTopImage" (BMP file)
    std::vector<std::uint8_t> FSignedUninstaller; // last non-empty "InstallerSignedUninstaller"
    bool FScreenSaverLoaded = true;               // false: "SCR" was left out, the digest is not checked here
    bool FOutOfMemory = false;                    // the container could not be held: memory ran out

    // Every setting back to its default, the title to designedCaption.
    void ResetSettings(const std::string& designedCaption);

    // Resets, then applies the items of the container at the end of exePath. A file
    // without a container leaves the defaults. A container the reader rejects (lengths
    // pointing outside the file, a damaged compressed item, a read error) is treated the
    // same way, and so is any other failure on the way (memory running out): none of its
    // items is applied, so the integrity check fails and the failure page says the data
    // is invalid. Returns false in that case, with the reader's message in *error when
    // given. Memory running out is no fault of the data: FOutOfMemory says so, and the
    // verdict is then Unexpected.
    //
    // The container is read once into memory; with a bound image (binding not all zeros:
    // the SHA-256 from the program's own mapped image) those bytes must hash to binding,
    // or none of them is used either: the file was replaced, or its container changed,
    // after the image was built. The items are parsed from the very bytes hashed.
    //
    // withScreenSaver false leaves the "SCR" items out (not inflated, not held): for the
    // starter of an unattended run, whose machine-wide step checks the digest itself.
    bool LoadPayloadSettings(const TPathName& exePath, const std::string& designedCaption,
                             std::string* error = nullptr, const TSha256& binding = {},
                             bool withScreenSaver = true);

    // Applies items in list order: a later string, number, Boolean or non-empty image
    // replaces an earlier one; "SCR" and "InstallerReadme" data are appended. Names are
    // compared byte for byte; other names are ignored. An item too short for its
    // conversion (a Boolean with no data, "mxl" under four bytes) counts as absent.
    void ApplyItems(const TItemTypes& items);
    // The same, taking the screensaver's data out of the items instead of copying it.
    void ApplyItems(TItemTypes&& items);
    void ApplyItem(const TItemType& item);

    // How many leading bytes of the screensaver data the digest covers: min("mxl", size).
    std::size_t DigestedLength() const;
    // The digest text of those bytes.
    std::string ComputedDigest() const;
    // The computed digest equals "mxf" exactly (same length, same bytes).
    bool IsPayloadIntact() const;
    // "SCRName" would not make one plain file name in the destination folder (the digest
    // does not cover it): invalid data. No name at all is reported when installing.
    bool HasUnsafeName() const;

    // A signed uninstaller carried in the payload belongs to this installation: its own
    // container's last "GUID" is FGUID. True when none is carried.
    bool SignedUninstallerFits() const;

    // The integrity check alone: the digest (unless the screensaver was left out), the
    // name and the signed uninstaller's GUID.
    // The one rule of what the installer accepts, which scrpack verify applies too.
    TStartupVerdict IntegrityVerdict() const;
    // The integrity check, then the player gate (only for a screensaver that needs the
    // player: with FNeedsPlayer false the probe is never asked).
    TStartupVerdict StartupVerdict(IPlayerProbe& probe) const;
    // The player gate's part of it, after the integrity verdict: a failed integrity verdict
    // stands and the probe is not asked.
    TStartupVerdict PlayerVerdict(TStartupVerdict integrity, IPlayerProbe& probe) const;
};

// The player gate alone: fails when the player cannot be created; passes when it is at
// least the required version, or when any version is accepted (verCheck false). The
// probe's object is created once.
bool PlayerGatePasses(IPlayerProbe& probe, const std::string& requiredVersion, bool verCheck);

// The message template with its first "%s" replaced by arg (arg is inserted as it is; a
// template without "%s" is returned unchanged). Double-byte aware.
std::string FormatMessageText(std::string_view messageTemplate, std::string_view arg);

#ifdef _WIN32
// A string of the program's string table as code page 932 text; empty when missing.
std::string LoadResString(unsigned id);

// The user's text for an outcome: its message with the subject in its "%s", then, for a
// system error code, the line naming the cause (in the user's words for the common ones,
// else the system's own text).
std::string OutcomeText(TInstallResult result, std::string_view subject = {}, unsigned long systemError = 0);
// The failure page's text for a verdict.
inline std::string VerdictMessageText(const TStartupVerdict& verdict) {
    return verdict.Welcome() ? std::string() : OutcomeText(verdict.Result, verdict.Argument, verdict.Cause);
}
#endif
