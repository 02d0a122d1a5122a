#pragma once
// The installer's command line: "/S" installs without any window, "/LOG=<file>" keeps an
// install log, "/D=<folder>" (last, to the end of the line, not quoted) chooses the
// destination, "/?" asks for the list of switches. Portable: the line is the program's
// UTF-16 command line, whose first word is the program itself.
#include "app/uOutcomes.h"
#include "platform/uSha256.h"

#include <cstdint>
#include <string>
#include <string_view>

struct TSetupCommandLine {
    bool Silent = false;         // "/S" (or "/s")
    bool Help = false;           // "/?"
    bool Bad = false;            // an unknown switch or word, or an empty "/D="
    bool HasDestination = false; // "/D=" was given
    std::wstring Destination;    // its folder, trailing blanks removed
    // "/LOG=<file>" or "/LOG="<file with blanks>"": the install log's path, as given.
    std::wstring Log;
    // "/CURRENTUSER": for the user who runs it alone, without administrator rights;
    // "/ALLUSERS" (the default): for everyone. Both at once are bad.
    bool CurrentUser = false;
    bool AllUsers = false;
    // "/STEP=<64 hex digits>": this process is the machine-wide step, started elevated by
    // the wizard or by "/S" of the same program; the digits are the binding of the
    // starter's image, which must equal this image's own.
    bool Step = false;
    TSha256 StepBinding{};
    // "/REPORT=<32 hex digits>": the id of the starter's pipe that takes the step's report.
    std::wstring ReportPipe;
};

// The step's own switches before "/D=<folder>", as the starter passes them.
std::wstring StepArguments(const TSha256& binding, std::wstring_view reportPipe, std::wstring_view folder);

// Splits the whole command line (program name first, quoted or not). Switches are
// separated by blanks; "/D=" takes the rest of the line as it is, spaces included.
TSetupCommandLine ParseSetupCommandLine(std::wstring_view commandLine);
