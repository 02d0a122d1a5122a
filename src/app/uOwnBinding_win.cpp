#include "app/uOwnBinding.h"

#include "store/uImageBinding.h"

#include <cstdint>

namespace {

struct TBindingField {
    std::uint8_t Tag[imagebinding::kTagSize];
    std::uint8_t Hash[imagebinding::kHashSize];
};

// In the image's read-only data, where scrpack finds it by its tag.
__attribute__((used)) const TBindingField kOwnBinding = {{SCR_BINDING_TAG_BYTES}, {}};

} // namespace

TSha256 OwnImageBinding() {
    // Read through volatile: the compiler must load what scrpack wrote into the image,
    // not fold in the zeros it was compiled with.
    const volatile TBindingField& field = kOwnBinding;
    TSha256 hash{};
    for (std::size_t i = 0; i < hash.size(); ++i) hash[i] = field.Hash[i];
    return hash;
}
