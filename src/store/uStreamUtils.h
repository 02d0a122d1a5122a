#pragma once
// Length-prefixed byte strings and little-endian integers on a stream. The writers write
// exactly the bytes below; the readers raise EReadError when the stream ends early (never
// an uninitialised value), and ReadString refuses a length larger than what is left in the
// stream (ECorruptData) before allocating anything.
//
//   WriteString   int32 length, then the bytes when the length is above 0
//   WriteInteger  4 bytes little-endian      WriteInt64  8 bytes little-endian
//   WriteByte     1 byte
//   ReadString    int32 length; 0 or less gives "" and reads nothing more
#include "store/uStreams.h"

#include <cstdint>
#include <string>

void WriteString(TStream& stream, const std::string& s);
void WriteInteger(TStream& stream, std::int32_t v);
void WriteInt64(TStream& stream, std::int64_t v);
void WriteByte(TStream& stream, std::uint8_t b);

std::string ReadString(TStream& stream);
std::int32_t ReadInteger(TStream& stream);
std::uint8_t ReadByte(TStream& stream);
