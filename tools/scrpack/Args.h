#pragma once
// A verb's command line, parsed by the options the verb takes. Every argument is checked to be
// UTF-8 text before a verb sees it.
#include "Errors.h"

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace scrpack {

struct TArgs {
    std::map<std::string, std::string> Values;
    std::set<std::string> Flags;
    std::vector<std::string> Positional;
    bool Help = false;

    std::optional<std::string> Get(const std::string& name) const {
        auto it = Values.find(name);
        if (it == Values.end()) return std::nullopt;
        return it->second;
    }
    std::string Required(const std::string& name) const {
        auto v = Get(name);
        if (!v) throw TUsageError("missing " + name);
        return *v;
    }
};

// args as the program got them, the verb first. Raises TUsageError for an option the verb does
// not take, one given twice, a value missing, or an argument that is not UTF-8.
TArgs ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                const std::set<std::string>& flagOptions);

// Exactly count positional arguments; what names the missing ones.
void ExpectPositional(const TArgs& a, std::size_t count, const char* what);

} // namespace scrpack
