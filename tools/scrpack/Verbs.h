#pragma once
// The verbs of scrpack, one file each. The dispatcher (ScrPack.cpp) finds a verb by its name,
// parses the command line by the options it takes and runs it.
#include "Args.h"

#include <ostream>
#include <set>
#include <string>

namespace scrpack {

struct TVerb {
    const char* Name;
    const char* Help; // the text of "scrpack VERB --help"
    std::set<std::string> ValueOptions;
    std::set<std::string> FlagOptions;
    // Returns the exit code; raises TUsageError, TInputError or the store's errors, which the
    // dispatcher reports.
    int (*Run)(const TArgs&, std::ostream& out, std::ostream& err);
};

extern const TVerb kBuildVerb;
extern const TVerb kListVerb;
extern const TVerb kExtractVerb;
extern const TVerb kAppendVerb;
extern const TVerb kVerifyVerb;
extern const TVerb kWingetVerb;

} // namespace scrpack
