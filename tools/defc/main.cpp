// defc: compiles a text window definition into the stored binary form.
//   defc <input.def> <output.bin> [-DNAME=VALUE ...]
// Relative file references in the text start at the input's folder.
#include "DefParse.h"

#include "components/uRegister.h"
#include "store/uStreams.h"
#include "toolkit/uControls.h"
#include "toolkit/uForms.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: defc <input.def> <output.bin> [-DNAME=VALUE ...]\n");
        return 2;
    }
    std::filesystem::path input = std::filesystem::absolute(argv[1]);
    std::filesystem::path output = std::filesystem::absolute(argv[2]);
    TDefOptions options;
    options.BaseDir = input.parent_path();
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        auto eq = a.find('=');
        if (a.rfind("-D", 0) != 0 || eq == std::string::npos) {
            std::fprintf(stderr, "defc: bad argument %s\n", a.c_str());
            return 2;
        }
        options.Vars[a.substr(2, eq - 2)] = a.substr(eq + 1);
    }
    // Components report design-time problems (a missing file) in the error box: here they
    // fail the build.
    std::vector<std::string> errors;
    Application.OnErrorBox = [&](const std::string& text) { errors.push_back(text); };
    try {
        // Components that read files named in the text (a bitmap list's images) resolve
        // relative names from here.
        std::filesystem::current_path(options.BaseDir);
        RegisterToolkitClasses();
        RegisterSystemComponents();
        auto bytes = ReadWholeFile(input);
        auto root = ParseDefinition(std::string(bytes.begin(), bytes.end()), options);
        if (errors.empty()) {
            auto def = ComponentDefBytes(*root);
            if (errors.empty()) WriteFileAtomically(output, def.data(), def.size());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", input.string().c_str(), e.what());
        return 1;
    }
    for (const auto& e : errors) std::fprintf(stderr, "%s: %s\n", input.string().c_str(), e.c_str());
    return errors.empty() ? 0 : 1;
}
