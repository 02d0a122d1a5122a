#pragma once
// The installer's command line: "/S" installs without any window, "/D=<folder>" (last,
// to the end of the line, not quoted) chooses the destination, "/?" asks for the list of
// switches. Also the exit codes of a silent run. Portable: the line is the program's
// UTF-16 command line, whose first word is the program itself.
#include "app/uInstall.h"
#include "platform/uSha256.h"
#include "app/uStartup.h"

#include <cstdint>
#include <string>
#include <string_view>

enum class TSetupExit : int {
    Installed = 0,
    BadCommandLine = 1, // also after "/?"
    InvalidPayload = 2, // container, digest or name
    PlayerMissing = 3,  // player missing or too old
    NoDestination = 4,  // destination folder missing
    WriteFailed = 5,    // a file could not be written
    ElevationRefused = 6, // the machine-wide step did not get administrator rights
    EntryConflict = 7,    // the uninstall key of that name belongs to another product
    InstalledElsewhere = 8, // this screensaver is registered in another folder
};

struct TSetupCommandLine {
    bool Silent = false;         // "/S" (or "/s")
    bool Help = false;           // "/?"
    bool Bad = false;            // an unknown switch or word, or an empty "/D="
    bool HasDestination = false; // "/D=" was given
    std::wstring Destination;    // its folder, trailing blanks removed
    // "/STEP=<64 hex digits>": this process is the machine-wide step, started elevated by
    // the wizard or by "/S" of the same program; the digits are the binding of the
    // starter's image, which must equal this image's own.
    bool Step = false;
    TSha256 StepBinding{};
    // "/REPORT=<hex>": the starter's window that receives the step's failure text.
    std::uintptr_t ReportWindow = 0;
};

// The step's own switches before "/D=<folder>", as the starter passes them.
std::wstring StepArguments(const TSha256& binding, std::uintptr_t reportWindow, std::wstring_view folder);

// Splits the whole command line (program name first, quoted or not). Switches are
// separated by blanks; "/D=" takes the rest of the line as it is, spaces included.
TSetupCommandLine ParseSetupCommandLine(std::wstring_view commandLine);

// The exit code of a silent run for a start-up verdict that is not the welcome page: the
// player failure (the one that offers the download) is 3, every other failure is invalid
// data.
TSetupExit SilentExitForVerdict(const TStartupVerdict& verdict);
// The exit code of a silent run for the installation's outcome.
TSetupExit SilentExitForInstall(TInstallResult result);
