// scrpack extract: the data of one item, to a file or to standard output.
#include "Args.h"
#include "Errors.h"
#include "InstallerFile.h"
#include "ScrPack.h"
#include "Text.h"
#include "Verbs.h"

#include "store/uStreams.h"

#include <algorithm>
#include <string>

namespace scrpack {

namespace {

const char* const kExtractHelp =
    "usage: scrpack extract FILE NAME [-o OUT]\n"
    "\n"
    "Writes the data of the last item named NAME (UTF-8, matched as code page 932) to\n"
    "OUT, or to standard output when no -o is given.\n";

int Extract(const TArgs& a, std::ostream& out, std::ostream&) {
    ExpectPositional(a, 2, "FILE and NAME");
    const std::string name = ToCp932(a.Positional[1], "NAME");
    const TItemTypes items = ItemsOf(ReadInstaller(a.Positional[0]));
    const auto it =
        std::find_if(items.rbegin(), items.rend(), [&](const TItemType& i) { return i.Name == name; });
    if (it == items.rend())
        throw TInputError("no item named \"" + a.Positional[1] + "\" in \"" + a.Positional[0] + "\"");
    if (auto o = a.Get("-o")) {
        WriteFileAtomically(PathArg(*o), it->Data.data(), it->Data.size());
    } else {
        out.write(reinterpret_cast<const char*>(it->Data.data()),
                  static_cast<std::streamsize>(it->Data.size()));
        out.flush();
    }
    return kExitOk;
}

} // namespace

const TVerb kExtractVerb = {"extract", kExtractHelp, {"-o"}, {}, Extract};

} // namespace scrpack
