#include "store/uStreamUtils.h"

#include "store/uErrors.h"
#include "store/uLittleEndian.h"

#include <cstddef>
#include <string>

// Integers are assembled byte by byte, so the layout is little-endian on every host.

void WriteString(TStream& stream, const std::string& s) {
    if (s.size() > 0x7FFFFFFFu) throw EWriteError("String too long for a 32-bit length prefix");
    WriteInteger(stream, static_cast<std::int32_t>(s.size()));
    if (!s.empty()) stream.WriteBuffer(s.data(), s.size());
}

void WriteInteger(TStream& stream, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                               static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
    stream.WriteBuffer(b, sizeof b);
}

void WriteInt64(TStream& stream, std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    std::uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(u >> (8 * i));
    stream.WriteBuffer(b, sizeof b);
}

void WriteByte(TStream& stream, std::uint8_t b) {
    stream.WriteBuffer(&b, 1);
}

std::string ReadString(TStream& stream) {
    const std::int32_t length = ReadInteger(stream);
    if (length <= 0) return {};
    // Checked against what is really left before the string is allocated: a damaged
    // length must not turn into a 2 GB allocation.
    if (length > stream.Remaining())
        throw ECorruptData("String length " + std::to_string(length) + " exceeds the " +
                           std::to_string(stream.Remaining()) + " bytes left in the stream");
    std::string s(static_cast<std::size_t>(length), '\0');
    stream.ReadBuffer(s.data(), s.size());
    return s;
}

std::int32_t ReadInteger(TStream& stream) {
    std::uint8_t b[4];
    stream.ReadBuffer(b, sizeof b);
    return static_cast<std::int32_t>(le::Get32(b));
}

std::uint8_t ReadByte(TStream& stream) {
    std::uint8_t b;
    stream.ReadBuffer(&b, 1);
    return b;
}
