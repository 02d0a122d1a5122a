// A program file's resources on arbitrary bytes, as scrpack reads a stub and a
// screensaver: the machine, the version record, and the installer's window definition
// with its file embedder. Nothing may read outside the bytes; the definition may raise
// the store's own errors, nothing else.
#include "platform/uPeImage.h"
#include "platform/uVersionRecord.h"
#include "store/uErrors.h"
#include "toolkit/uClasses.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    peimage::Machine(data, size);
    VersionRecordOf(data, size);
    const auto definition = peimage::ResourceData(data, size, peimage::kResourceData, "TFRMMAIN");
    if (!definition) return 0;
    if (definition->Data < data || definition->Data + definition->Size > data + size) __builtin_trap();
    try {
        FindStoredComponent(definition->Data, definition->Size, "TFileEmbedder");
    } catch (const Exception&) {
    }
    return 0;
}
