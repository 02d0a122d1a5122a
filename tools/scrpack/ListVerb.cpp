// scrpack list: the items of the container at the end of a file, as lines or as JSON.
#include "Args.h"
#include "InstallerFile.h"
#include "ScrPack.h"
#include "Text.h"
#include "Verbs.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace scrpack {

namespace {

const char* const kListHelp =
    "usage: scrpack list FILE [--json]\n"
    "\n"
    "Lists the items of the container at the end of FILE in order: name (as UTF-8),\n"
    "compressed or stored, size in bytes (uncompressed). With --json: one JSON array of\n"
    "objects {\"name\", \"compressed\", \"size\"}. A file without a container lists nothing.\n";

// A JSON string; what ActsOnTerminal names is escaped too, so the listing stays inert on a
// terminal and reads back the same.
std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    char buf[8];
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t cp = 0;
        std::size_t n = DecodeUtf8(utf8, i, cp);
        if (n == 0) { // not reached: AsUtf8 gives UTF-8
            out += "\\ufffd";
            n = 1;
        } else if (cp == '"' || cp == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(cp));
        } else if (ActsOnTerminal(cp)) {
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
            out += buf;
        } else {
            out.append(utf8, i, n);
        }
        i += n;
    }
    return out + "\"";
}

int List(const TArgs& a, std::ostream& out, std::ostream&) {
    ExpectPositional(a, 1, "FILE");
    const TItemTypes items = ItemsOf(ReadInstaller(a.Positional[0]));
    if (a.Flags.count("--json")) {
        out << "[";
        for (std::size_t i = 0; i < items.size(); ++i) {
            out << (i ? ",\n " : "") << "{\"name\":" << JsonString(AsUtf8(items[i].Name))
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
