#include "Packing.h"

#include "Errors.h"
#include "Text.h"

#include "app/uInstall.h"
#include "platform/uSha256.h"
#include "store/uImageBinding.h"

#include <algorithm>
#include <iterator>

namespace scrpack {

void CheckScreenSaverName(const std::string& name, const std::string& what) {
    const TNameCheck check = ::CheckScreenSaverName(name);
    switch (check.Fault) {
    case TNameFault::None:
        return;
    case TNameFault::Empty:
        throw TUsageError(what + " is empty");
    case TNameFault::TooLong:
        throw TUsageError(what + " is longer than " + std::to_string(kMaxScreenSaverName) + " bytes");
    case TNameFault::BadByte:
        throw TUsageError(what + " is not code page 932 text");
    case TNameFault::ControlChar:
        throw TUsageError(what + " contains a control character, which a file name cannot hold");
    case TNameFault::ForbiddenChar:
        throw TUsageError(what + " contains \"" + check.Char + "\", which a file name cannot hold");
    case TNameFault::DotName:
        throw TUsageError(what + " is \".\" or \"..\"");
    case TNameFault::TrailingDotOrSpace:
        throw TUsageError(what + " ends with a dot or a space");
    case TNameFault::DeviceName:
        throw TUsageError(what + " \"" + AsUtf8(name) + "\" is a device name");
    }
}

void RefuseSigned(const itemlayout::TCertificateTable& table, const std::string& what) {
    if (table.Size > 0)
        throw TInputError(what + " is signed (certificate table " + std::to_string(table.Size) +
                          " bytes): appending after a signature breaks it and hides the container; sign the "
                          "finished installer instead");
}

std::string BindContainer(Bytes& file, std::size_t imageLimit, const TContainerBytes& container,
                          const std::string& what) {
    const std::size_t end = imagebinding::ImageEnd(file.data(), imageLimit);
    static constexpr std::uint8_t kTag[] = {SCR_BINDING_TAG_BYTES};
    const auto tagAt = std::search(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(end),
                                   std::begin(kTag), std::end(kTag));
    const std::size_t field = imagebinding::FindHashField(file.data(), end);
    if (field == imagebinding::npos) {
        if (tagAt != file.begin() + static_cast<std::ptrdiff_t>(end))
            throw TInputError(what +
                              " carries the binding tag more than once: the container cannot be bound to it");
        return "not bound (the program has no binding field)";
    }
    const TSha256 hash = Sha256(container.data(), container.size());
    std::copy(hash.begin(), hash.end(), file.begin() + static_cast<std::ptrdiff_t>(field));
    return "bound to the program image";
}

void WarnUnsigned(std::ostream& err, const char* verb, const std::string& program, const char* remedy) {
    err << "scrpack " << verb << ": warning: " << program
        << " carries no Authenticode signature; Windows 11 Smart App Control blocks unsigned programs it "
           "does not know: "
        << remedy << "\n";
}

} // namespace scrpack
