// ReadItems on arbitrary file content: it may raise the store's own errors, nothing
// else, and every item it returns must be consistent with its size.
#include "store/uErrors.h"
#include "store/uExeAdder.h"
#include "store/uZCompress.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::FILE* f = std::fopen(InputPath().c_str(), "wb");
        if (!f) return 0;
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    TItemTypes items;
    try {
        ReadItems(InputPath(), items);
    } catch (const Exception&) {
        // ECorruptData, EReadError, EZDecompressionError: the items before the fault stay.
    }
    std::size_t total = 0;
    for (const TItemType& item : items) {
        CheckItem(item);
        total += item.Data.size();
    }
    // All items together stay within the reader's cap on inflated data.
    if (total > kMaxInflatedSize) __builtin_trap();
    FreeItems(items);
    return 0;
}
