// The window definition reader on arbitrary bytes, with every class of the toolkit and the
// components registered (so nested "ClassData", "Bitmaps", "EmbededData" and pictures are
// reached through it): it may raise the system's own errors, nothing else, and must neither
// recurse without end nor leave a parent cycle.
#include "components/uRegister.h"
#include "store/uErrors.h"
#include "toolkit/uForms.h"

#include <cstdint>

namespace {

bool Setup() {
    RegisterToolkitClasses();
    RegisterSystemComponents();
    Application.OnErrorBox = [](const std::string&) {};
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = Setup();
    (void)ready;
    TForm form(nullptr);
    try {
        form.LoadDefinition(data, size);
    } catch (const Exception&) {
    }
    return 0;
}
