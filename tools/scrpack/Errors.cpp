#include "Errors.h"

#include "store/uErrors.h"
#include "store/uText.h"

namespace scrpack {

std::string ErrorText(const std::exception& e) {
#ifdef _WIN32
    std::string utf8;
    if (dynamic_cast<const Exception*>(&e) && Cp932ToUtf8(e.what(), utf8)) return utf8;
#endif
    return e.what();
}

} // namespace scrpack
