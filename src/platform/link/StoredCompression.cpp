// The installer's compressor, in place of zlib's deflate (store/uZDeflate.cpp): stored
// blocks only. The one thing the installer compresses is the "GUID" item of the
// uninstaller it writes (its own definition's writers never run), a few dozen bytes that
// deflate could not make smaller; the stream is still one that every zlib reader
// inflates, and about 33 KB of deflate stay out of the program.
#include "store/uZCompress.h"

#include <zlib.h>

std::size_t CompressInto(const void* input, std::size_t inputSize, std::uint8_t* out, std::size_t capacity,
                         int levelIndex) {
    // The level indexes deflate accepts, so that a wrong one fails here as well.
    if (levelIndex < 0 || levelIndex > 3) throw EZCompressionError(ZLibMessage(Z_STREAM_ERROR));
    return StoreInto(input, inputSize, out, capacity);
}
