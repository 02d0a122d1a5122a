// ReadItems on arbitrary file content: it may raise the store's own errors, nothing
// else, and every item it returns must be consistent with its size. The allocation-free
// walker of store/uItemLayout.h (the uninstaller's check) runs on the same bytes, held in
// a buffer of exactly the block's size so the sanitizer sees any read past it, and must
// call the same containers damaged and see the same names. The binding field's finder
// (store/uImageBinding.h, which scrpack runs on stubs and installers) reads the same bytes
// as a program image and must stay inside them.
#include "store/uErrors.h"
#include "store/uExeAdder.h"
#include "store/uImageBinding.h"
#include "store/uItemLayout.h"
#include "store/uZCompress.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::filesystem::path& InputPath() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("fuzz_read_items_" + std::to_string(getpid()) + ".bin");
    return path;
}

void CheckItem(const TItemType& item) {
    if (item.Compressed) {
        if (item.Size < 0 || static_cast<std::size_t>(item.Size) != item.Data.size()) __builtin_trap();
    } else if (item.Size > 0 ? static_cast<std::size_t>(item.Size) != item.Data.size() : !item.Data.empty()) {
        __builtin_trap();
    }
}

// The walker's verdict on the file's bytes; the names it saw, in order, unscrambled.
bool WalkDamaged(const std::uint8_t* data, std::size_t size, std::vector<std::string>& names) {
    using namespace itemlayout;
    // The file locator reads straight from the input, so the sanitizer sees any read past it.
    const TContainerPlace place = LocateContainerIn(
        static_cast<std::int64_t>(size), [&](std::int64_t offset, std::uint8_t* buffer, std::size_t count) {
            std::memcpy(buffer, data + offset, count);
            return true;
        });
    if (place.Place == TPlace::None) return false;
    if (place.Place != TPlace::Found) return true;
    const std::vector<std::uint8_t> block(data + place.BlockStart,
                                          data + place.BlockStart + place.BlockLength);
    return WalkContainer(block.data(), block.size(), [&](const TItemRecord& r) {
               std::string name(reinterpret_cast<const char*>(r.Name), r.NameLength);
               for (char& c : name) c = static_cast<char>(c ^ r.Key);
               names.push_back(name);
           }) != TWalk::Ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::FILE* f = std::fopen(InputPath().c_str(), "wb");
        if (!f) return 0;
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    TItemTypes items;
    bool corrupt = false, inflateFailed = false;
    try {
        ReadItems(InputPath(), items);
    } catch (const ECorruptData&) {
        corrupt = true; // the items before the fault stay
    } catch (const EZDecompressionError&) {
        inflateFailed = true;
    } catch (const Exception&) {
        // EReadError: the items before the fault stay.
    }
    std::vector<std::string> walked;
    const bool walkDamaged = WalkDamaged(data, size, walked);
    // The walker does not inflate: past a damaged zlib stream it may still find faults.
    if (!inflateFailed) {
        if (walkDamaged != corrupt) __builtin_trap();
        if (!corrupt) {
            if (walked.size() != items.size()) __builtin_trap();
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (walked[i] != items[i].Name) __builtin_trap();
            }
        }
    }
    std::size_t total = 0;
    for (const TItemType& item : items) {
        CheckItem(item);
        total += item.Data.size();
    }
    // All items together stay within the reader's cap on inflated data.
    if (total > kMaxInflatedSize) __builtin_trap();
    FreeItems(items);

    // A copy of exactly size bytes: the sanitizer sees any read past the image.
    const std::vector<std::uint8_t> image(data, data + size);
    const std::size_t end = imagebinding::ImageEnd(image.data(), image.size());
    if (end > size) __builtin_trap();
    const std::size_t field = imagebinding::FindHashField(image.data(), end);
    if (field != imagebinding::npos && field + imagebinding::kHashSize > end) __builtin_trap();
    return 0;
}
