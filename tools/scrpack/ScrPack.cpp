// The dispatcher: finds the verb, parses its command line and reports what it raises as one
// line on standard error, with the verb's exit code or kExitError.
#include "ScrPack.h"

#include "Args.h"
#include "Errors.h"
#include "Text.h"
#include "Verbs.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace scrpack {

namespace {

const char* const kMainHelp =
    "usage: scrpack VERB [options]\n"
    "\n"
    "Builds screensaver installers (a stub program followed by one item container) and\n"
    "inspects them.\n"
    "\n"
    "verbs:\n"
    "  build    copy a stub and append the installer's items\n"
    "  list     list the items of the container at the end of a file\n"
    "  extract  write the data of one item\n"
    "  append   append one more container to a file\n"
    "  verify   check the payload digest as the installer does\n"
    "  winget   write the Windows Package Manager manifest of an installer\n"
    "\n"
    "\"scrpack VERB --help\" describes each verb. Every argument, a file name too, is\n"
    "UTF-8 text. Exit codes: 0 success, 1 digest check failed (verify), 2 usage, input or\n"
    "I/O error.\n";

const TVerb* const kVerbs[] = {&kBuildVerb,  &kListVerb,   &kExtractVerb,
                               &kAppendVerb, &kVerifyVerb, &kWingetVerb};

} // namespace

} // namespace scrpack

int RunScrPack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    using namespace scrpack;
    if (args.empty()) {
        err << "scrpack: missing verb (see \"scrpack --help\")\n";
        return kExitError;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out << kMainHelp;
        return kExitOk;
    }
    const auto found = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                    [&](const TVerb* v) { return args[0] == v->Name; });
    if (found == std::end(kVerbs)) {
        err << "scrpack: unknown verb \"" << Shown(args[0]) << "\" (see \"scrpack --help\")\n";
        return kExitError;
    }
    const TVerb* const verb = *found;
    const std::string prefix = std::string("scrpack ") + verb->Name + ": ";
    try {
        const TArgs parsed = ParseArgs(args, verb->ValueOptions, verb->FlagOptions);
        if (parsed.Help) {
            out << verb->Help;
            return kExitOk;
        }
        return verb->Run(parsed, out, err);
    } catch (const TUsageError& e) {
        err << prefix << Shown(e.what()) << " (see \"scrpack " << verb->Name << " --help\")\n";
    } catch (const std::bad_alloc&) {
        err << prefix << "out of memory\n";
    } catch (const std::exception& e) {
        err << prefix << Shown(ErrorText(e)) << "\n";
    }
    return kExitError;
}
