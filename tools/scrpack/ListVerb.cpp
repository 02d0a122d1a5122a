// scrpack list: the items of the container at the end of a file, as lines or as JSON.
#include "Args.h"
#include "InstallerFile.h"
#include "ScrPack.h"
#include "Text.h"
#include "Verbs.h"

#include <string>

namespace scrpack {

namespace {

const char* const kListHelp =
    "usage: scrpack list FILE [--json]\n"
    "\n"
    "Lists the items of the container at the end of FILE in order: name (as UTF-8),\n"
    "compressed or stored, size in bytes (uncompressed). With --json: one JSON array of\n"
    "objects {\"name\", \"compressed\", \"size\"}. A file without a container lists nothing.\n";

int List(const TArgs& a, std::ostream& out, std::ostream&) {
    ExpectPositional(a, 1, "FILE");
    const TItemTypes items = ItemsOf(ReadInstaller(a.Positional[0]));
    if (a.Flags.count("--json")) {
        // What ActsOnTerminal names is escaped too: the listing stays inert on a terminal and
        // reads back the same.
        out << "[";
        for (std::size_t i = 0; i < items.size(); ++i) {
            out << (i ? ",\n " : "") << "{\"name\":" << QuotedString(AsUtf8(items[i].Name), ActsOnTerminal)
                << ",\"compressed\":" << (items[i].Compressed ? "true" : "false")
                << ",\"size\":" << items[i].Size << "}";
        }
        out << "]\n";
    } else {
        for (const TItemType& item : items)
            out << Shown(AsUtf8(item.Name)) << "\t" << (item.Compressed ? "compressed" : "stored") << "\t"
                << item.Size << "\n";
    }
    return kExitOk;
}

} // namespace

const TVerb kListVerb = {"list", kListHelp, {}, {"--json"}, List};

} // namespace scrpack
