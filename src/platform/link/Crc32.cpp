// zlib's inflate refers to crc32 for gzip streams only, and the programs inflate zlib
// streams only (inflateInit), so zlib's table-driven crc32 (13 KB of tables and code) is
// never called. This bitwise CRC-32, same results and slower, answers the reference in
// its place.
#include <zlib.h>

uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
    if (buf == Z_NULL) return 0;
    crc = ~crc & 0xFFFFFFFFu;
    while (len-- != 0) {
        crc ^= *buf++;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc & 0xFFFFFFFFu;
}
