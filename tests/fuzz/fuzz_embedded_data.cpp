// The file embedder's "EmbededData" on arbitrary bytes, compressed (first byte even) or
// stored: it may raise the store's own errors, nothing else, and what it reads is written
// back as the same file.
#include "components/uFileEmbedder.h"
#include "store/uErrors.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    TFileEmbedder embedder(nullptr);
    embedder.SetCompressed((data[0] & 1) == 0);
    TMemoryStream stream(std::vector<std::uint8_t>(data + 1, data + size));
    try {
        embedder.ReadData(stream);
    } catch (const Exception&) {
        if (!embedder.Data().Bytes().empty()) __builtin_trap(); // a failed read leaves nothing
        return 0;
    }
    TMemoryStream out;
    embedder.SaveToStream(out);
    if (out.Bytes() != embedder.Data().Bytes()) __builtin_trap();
    return 0;
}
