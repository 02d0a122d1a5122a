#include "Args.h"

#include "Text.h"

namespace scrpack {

namespace {
// Every argument is UTF-8 text, checked here before a verb reads or writes anything: a
// value that is not would be taken apart character by character further on.
void CheckUtf8Argument(const std::string& value, const std::string& what) {
    const std::size_t bad = InvalidUtf8At(value);
    if (bad != std::string::npos)
        throw TUsageError(what + " is not valid UTF-8 (byte " + std::to_string(bad) + ")");
}
} // namespace

TArgs ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                const std::set<std::string>& flagOptions) {
    TArgs r;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            CheckUtf8Argument(a, "argument \"" + a + "\"");
            r.Positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            r.Help = true;
            continue;
        }
        std::string name = a, value;
        bool inlineValue = false;
        if (const std::size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        if (valueOptions.count(name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) throw TUsageError(name + " needs a value");
                value = args[++i];
            }
            if (r.Values.count(name)) throw TUsageError(name + " is given twice");
            CheckUtf8Argument(value, name);
            r.Values[name] = value;
        } else if (flagOptions.count(name) && !inlineValue) {
            r.Flags.insert(name);
        } else {
            throw TUsageError("unknown option " + a);
        }
    }
    return r;
}

void ExpectPositional(const TArgs& a, std::size_t count, const char* what) {
    if (a.Positional.size() < count) throw TUsageError(std::string("missing ") + what);
    if (a.Positional.size() > count) throw TUsageError("unexpected argument \"" + a.Positional[count] + "\"");
}

} // namespace scrpack
