#pragma once
// Every way a run of the installer can end, and the one table of what each means: the
// message the user reads, where the wizard says it, whether the player's download is
// offered, and the exit code of an unattended run (and of the machine-wide step, whose
// exit code its starter reads back through the same table).
#include "resources/uStrings.h"

#include <string_view>

enum class TSetupExit : int {
    Installed = 0,
    BadCommandLine = 1,      // also after "/?", and for a log file that cannot be written
    InvalidPayload = 2,      // container, binding, digest or name
    PlayerMissing = 3,       // player missing or too old
    NoDestination = 4,       // destination folder missing, or no full local path
    WriteFailed = 5,         // a file could not be written (access denied, path too long, ...)
    ElevationRefused = 6,    // the machine-wide step did not get administrator rights
    EntryConflict = 7,       // the uninstall key of that name belongs to another product
    InstalledElsewhere = 8,  // this screensaver is registered in another folder
    DiskFull = 9,            // a file could not be written: the disk is full
    FileInUse = 10,          // a file could not be written: another program holds it
    RegistrationFailed = 11, // the files are written, the uninstall entry could not be
    Unexpected = 12,         // anything else (memory ran out, a fault of the installer)
    StepUnconfirmed = 13,    // the step did not confirm its result: what it did is unknown
    // Installed, but a file of the earlier installation was in use: it is set aside and
    // removed at the next restart (the code package managers know as "restart required").
    RestartRequired = 3010,
};
// The exit codes of an unattended run other than 0, in order.
inline constexpr TSetupExit kFailureExits[] = {
    TSetupExit::BadCommandLine,  TSetupExit::InvalidPayload,     TSetupExit::PlayerMissing,
    TSetupExit::NoDestination,   TSetupExit::WriteFailed,        TSetupExit::ElevationRefused,
    TSetupExit::EntryConflict,   TSetupExit::InstalledElsewhere, TSetupExit::DiskFull,
    TSetupExit::FileInUse,       TSetupExit::RegistrationFailed, TSetupExit::Unexpected,
    TSetupExit::StepUnconfirmed, TSetupExit::RestartRequired,
};

// What a package manager should make of an exit code of an unattended run: the closest
// of the responses it knows ("ReturnResponse" of a winget manifest).
const char* PackageManagerResponse(TSetupExit exit);

enum class TInstallResult {
    Installed,                  // every file and value written (for a start-up: the welcome page)
    InstalledRestartPending,    // the same; a file of the earlier installation goes at the next restart
    InvalidPayload,             // the container, its binding, digest or name: nothing written
    PlayerMissing,              // the player is missing or too old (subject: the version needed)
    NoName,                     // the payload names no screensaver: nothing written
    NoDestination,              // the folder does not exist: nothing written
    BadDestination,             // no full local path: nothing written
    UnrepresentableDestination, // a path code page 932 cannot hold exactly: nothing written
    WriteFailed,                // a file (subject) could not be written; everything put back as it was
    DiskFull,                   // the same, the disk being full
    FileInUse,                  // the same, another program holding the file
    RegistrationFailed,         // a registry value (subject) could not be written; put back likewise
    ReadFailed,                 // the uninstall key or the uninstaller it names (subject) cannot be read
    ElevationRefused,           // the machine-wide step did not get administrator rights
    ProgramNotHeld,             // this program's file could not be held open: the step is not started
    StepUnconfirmed,            // the step's process did not confirm its result (or is not this program)
    EntryConflict,              // the uninstall key of the name (subject) is another product's
    InstalledElsewhere,         // registered in another folder (subject): nothing written
    InstalledOtherScope, // installed for everyone when installing for one user, or the other way (subject:
                         // its folder)
    Unexpected,          // an error nobody foresaw (memory ran out)
};

// Where the wizard says it.
enum class TOutcomePage {
    Finish,  // the installation is done: the finish page
    Box,     // a message box; the options page stays for another folder or another try
    Failure, // the failure page
};

struct TOutcomeRule {
    TInstallResult Result;
    TSetupExit Exit;
    TStringId Message; // its first "%s" takes the outcome's subject
    TOutcomePage Page;
    bool OfferDownload;  // the failure page offers the player's download
    const char* LogName; // the outcome in the install log
};

const TOutcomeRule& OutcomeRule(TInstallResult result);

// The screensaver is installed (a file of the earlier installation may still go at the
// next restart).
inline bool IsInstalled(TInstallResult result) {
    return result == TInstallResult::Installed || result == TInstallResult::InstalledRestartPending;
}

// The outcome an exit code of the machine-wide step stands for: the first rule with that
// code; a code of no rule is Unexpected.
TInstallResult ResultOfExit(int exitCode);

// The outcome of a file that could not be written, by the system's code behind it.
TInstallResult WriteFailure(unsigned long systemError);

// The message naming a system error code in words the user knows (disk full, access
// denied, file in use, path too long, out of memory); none (0) for other codes, which the
// system's own text describes. Win32 codes on Windows.
TStringId CauseMessage(unsigned long systemError);
