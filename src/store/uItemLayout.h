#pragma once
// The fixed parts of the item container's layout (described at the top of
// store/uExeAdder.h), the one locator of a container in a file, and a walker over a
// container held in memory.
//
// Header-only: it allocates nothing, throws nothing and needs neither zlib nor the C++
// runtime, so the uninstaller uses it to find its "GUID" item without ReadItems, and
// ReadItems reads through the same locator and walker. Nothing is trusted: every offset,
// length, count and size is checked against the bytes that are really there before
// anything is looked at. (The walker does not inflate compressed data: a damaged zlib
// stream is ReadItems' to find.)
#include "store/uLittleEndian.h"

#include <cstddef>
#include <cstdint>

inline constexpr char kContainerTrailer[4] = {'P', 'L', 'W', 'S'};
inline constexpr int kContainerKeyMin = 17;
inline constexpr int kContainerKeyMax = 255;

inline constexpr std::int64_t kContainerTrailerSize = 4;
inline constexpr std::int64_t kContainerTailSize = 8 + kContainerTrailerSize; // block length L and trailer
inline constexpr std::int64_t kContainerHeadSize = 8;                         // key and count
inline constexpr std::int64_t kContainerMinRecordSize = 4 + 1 + 4; // name length, flag, stored size

namespace itemlayout {

// A little-endian signed integer of 4 or 8 bytes.
inline std::int32_t ReadI32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(le::Get32(p));
}
inline std::int64_t ReadI64(const std::uint8_t* p) {
    return static_cast<std::int64_t>(le::Get64(p));
}

enum class TPlace {
    None,      // no "PLWS" trailer (or fewer than 4 bytes): the file carries no container
    TooShort,  // a trailer, but too few bytes before it for L and the block's head
    BadLength, // the block length L points outside the file
    Found,
};

// The certificate table of a signed program: Size 0 when the file carries none.
struct TCertificateTable {
    std::int64_t Offset = 0;
    std::int64_t Size = 0;
};

struct TContainerPlace {
    TPlace Place = TPlace::None;
    std::int64_t BlockStart = 0;  // offset of the block in the file (when Found)
    std::int64_t BlockLength = 0; // L; for BadLength too
    TCertificateTable Signature;  // the table the container was looked for before
};

// Where the container of a file of fileSize bytes lies, from the file's last bytes: tail
// holds its last min(fileSize, kContainerTailSize) bytes (tailSize of them). Files are
// located with LocateContainerIn, which knows about signatures.
inline TContainerPlace LocateContainer(std::int64_t fileSize, const std::uint8_t* tail,
                                       std::size_t tailSize) {
    TContainerPlace r;
    if (fileSize < kContainerTrailerSize || static_cast<std::int64_t>(tailSize) < kContainerTrailerSize ||
        static_cast<std::int64_t>(tailSize) > fileSize)
        return r;
    const std::uint8_t* trailer = tail + tailSize - kContainerTrailerSize;
    for (int i = 0; i < kContainerTrailerSize; ++i) {
        if (trailer[i] != static_cast<std::uint8_t>(kContainerTrailer[i])) return r;
    }
    if (fileSize < kContainerTailSize + kContainerHeadSize ||
        static_cast<std::int64_t>(tailSize) < kContainerTailSize) {
        r.Place = TPlace::TooShort;
        return r;
    }
    r.BlockLength = ReadI64(tail + tailSize - kContainerTailSize);
    // Compared by subtraction, so no value of L can overflow the test.
    const std::int64_t blockEnd = fileSize - kContainerTailSize;
    if (r.BlockLength < kContainerHeadSize || r.BlockLength > blockEnd) {
        r.Place = TPlace::BadLength;
        return r;
    }
    r.Place = TPlace::Found;
    r.BlockStart = blockEnd - r.BlockLength;
    return r;
}

inline std::uint32_t ReadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(ReadI32(p));
}
inline std::uint32_t ReadU16(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] | p[1] << 8);
}

// A signed program (PE image) carries its certificate table at the very end of the file,
// after anything appended to the image, and its optional header's security directory
// entry holds the table's file offset and size. Signing tools pad the bytes before the
// table with up to 7 zero bytes so that it starts on an 8-byte boundary.
inline constexpr std::int64_t kCertificatePaddingMax = 7;

// The certificate table of the file, when it is one a signing tool wrote: an "MZ" and
// "PE\0\0" image, a PE32 or PE32+ optional header that holds the security entry, and a
// table of at least 8 bytes after the headers that ends exactly at the end of the file
// and starts with a certificate entry that fits in it. Anything else: none.
// readAt(offset, buffer, count) reads exactly count bytes at offset (false otherwise);
// it is asked only for bytes inside [0, fileSize).
template <typename ReadAt> TCertificateTable FindCertificateTable(std::int64_t fileSize, ReadAt&& readAt) {
    constexpr std::int64_t kDosHeader = 64, kPeOffsetField = 0x3C;
    constexpr std::int64_t kFileHeader = 4 + 20; // "PE\0\0" and the COFF file header
    constexpr std::int64_t kDirectory32 = 96, kDirectory64 = 112, kEntry = 8, kSecurity = 4;
    const TCertificateTable none;
    std::uint8_t head[kDosHeader];
    if (fileSize < kDosHeader || !readAt(std::int64_t{0}, head, sizeof head)) return none;
    if (head[0] != 'M' || head[1] != 'Z') return none;
    const std::int64_t pe = ReadU32(head + kPeOffsetField);
    if (pe > fileSize - kFileHeader) return none;
    std::uint8_t file[kFileHeader];
    if (!readAt(pe, file, sizeof file)) return none;
    if (file[0] != 'P' || file[1] != 'E' || file[2] != 0 || file[3] != 0) return none;
    const std::int64_t optionalSize = ReadU16(file + 20);
    const std::int64_t headersEnd = pe + kFileHeader + optionalSize;
    if (optionalSize < 2 || headersEnd > fileSize) return none;

    std::uint8_t optional[kDirectory64 + (kSecurity + 1) * kEntry];
    if (!readAt(pe + kFileHeader, optional, 2)) return none;
    const std::uint32_t magic = ReadU16(optional);
    const std::int64_t directory = magic == 0x10B ? kDirectory32 : magic == 0x20B ? kDirectory64 : 0;
    const std::int64_t needed = directory + (kSecurity + 1) * kEntry;
    if (directory == 0 || optionalSize < needed ||
        !readAt(pe + kFileHeader, optional, static_cast<std::size_t>(needed)))
        return none;
    const std::uint32_t entries = ReadU32(optional + directory - 4);
    if (entries <= kSecurity || entries > (optionalSize - directory) / kEntry) return none;

    TCertificateTable table;
    table.Offset = ReadU32(optional + directory + kSecurity * kEntry);
    table.Size = ReadU32(optional + directory + kSecurity * kEntry + 4);
    if (table.Size < kEntry || table.Offset < headersEnd || table.Offset != fileSize - table.Size)
        return none;
    // The first entry: its length (header included) and revision 1.0 or 2.0.
    std::uint8_t entry[kEntry];
    if (!readAt(table.Offset, entry, sizeof entry)) return none;
    const std::uint32_t length = ReadU32(entry), revision = ReadU16(entry + 4);
    if (length < kEntry || length > table.Size || (revision != 0x100 && revision != 0x200)) return none;
    return table;
}

// Where the container of a file of fileSize bytes lies: just before the certificate table
// of a signed program (past its zero padding), otherwise at the very end of the file.
// readAt as for FindCertificateTable.
template <typename ReadAt> TContainerPlace LocateContainerIn(std::int64_t fileSize, ReadAt&& readAt) {
    const TCertificateTable table = FindCertificateTable(fileSize, readAt);
    std::int64_t end = fileSize;
    if (table.Size > 0) {
        // The trailer ends in a byte other than 0, so the padding is every zero before the table.
        std::uint8_t pad[kCertificatePaddingMax];
        const std::int64_t padSize =
            table.Offset < kCertificatePaddingMax ? table.Offset : kCertificatePaddingMax;
        end = table.Offset;
        if (padSize > 0 && readAt(table.Offset - padSize, pad, static_cast<std::size_t>(padSize))) {
            for (std::int64_t i = padSize - 1; i >= 0 && pad[i] == 0; --i) --end;
        }
    }
    std::uint8_t tail[kContainerTailSize];
    const std::int64_t tailSize = end < kContainerTailSize ? end : kContainerTailSize;
    TContainerPlace place;
    if (tailSize > 0 && readAt(end - tailSize, tail, static_cast<std::size_t>(tailSize)))
        place = LocateContainer(end, tail, static_cast<std::size_t>(tailSize));
    place.Signature = table;
    return place;
}

// The same for a file held in memory.
inline TContainerPlace LocateContainerInMemory(const std::uint8_t* file, std::size_t size) {
    return LocateContainerIn(static_cast<std::int64_t>(size),
                             [&](std::int64_t offset, void* buffer, std::size_t count) {
                                 for (std::size_t i = 0; i < count; ++i)
                                     static_cast<std::uint8_t*>(buffer)[i] = file[offset + i];
                                 return true;
                             });
}

// One item record as it lies in the block; the pointers point into the block.
struct TItemRecord {
    const std::uint8_t* Name = nullptr; // scrambled name bytes
    std::size_t NameLength = 0;         // 0 for a stored name length of 0 or less
    std::uint8_t Key = 0;               // the key's low byte, which unscrambles the name
    bool Compressed = false;            // flag other than 0
    std::int32_t Stored = 0;            // stored size as written (may be 0 or less: no data)
    const std::uint8_t* Data = nullptr; // max(Stored, 0) bytes

    // True when the unscrambled name is exactly the length bytes at name.
    bool NameIs(const char* name, std::size_t length) const {
        if (length != NameLength) return false;
        for (std::size_t i = 0; i < length; ++i) {
            if (static_cast<std::uint8_t>(Name[i] ^ Key) != static_cast<std::uint8_t>(name[i])) return false;
        }
        return true;
    }
};

enum class TWalk {
    Ok,              // every record lies within the block
    ShortHead,       // fewer than 8 bytes: no key and count
    NegativeCount,   // a count below 0
    CountTooLarge,   // more records than the block can hold at their smallest
    NameTooLong,     // a name length that leaves no room for the flag and stored size
    StoredTooLarge,  // a stored size past the end of the block
    RecordTruncated, // a record's name length field past the end of the block
};

// Where a walk stopped, for a message that names it.
struct TWalkFault {
    std::int32_t Count = 0; // records announced
    std::int32_t Index = 0; // the record at fault (0-based)
    std::int64_t Value = 0; // the count, name length or stored size at fault
    std::size_t Left = 0;   // bytes of the block after that field
    TItemRecord Record;     // for StoredTooLarge: the record with its name
};

// Walks the records of the container block [block, block + size) in order and hands each
// to visit(const TItemRecord&). Checks each record before visit sees it; on the first
// fault it stops and tells which (the records before it have been visited), and what it
// saw in *fault when given.
template <typename Visit>
TWalk WalkContainer(const std::uint8_t* block, std::size_t size, Visit&& visit, TWalkFault* fault = nullptr) {
    TWalkFault local;
    TWalkFault& f = fault ? *fault : local;
    if (size < static_cast<std::size_t>(kContainerHeadSize)) return TWalk::ShortHead;
    const auto key = static_cast<std::uint8_t>(ReadI32(block));
    const std::int32_t count = ReadI32(block + 4);
    std::size_t pos = static_cast<std::size_t>(kContainerHeadSize);
    f.Count = count;
    f.Value = count;
    f.Left = size - pos;
    if (count < 0) return TWalk::NegativeCount;
    if (static_cast<std::size_t>(count) > (size - pos) / kContainerMinRecordSize) return TWalk::CountTooLarge;
    for (std::int32_t i = 0; i < count; ++i) {
        TItemRecord item;
        item.Key = key;
        f.Index = i;
        f.Left = size - pos;
        if (size - pos < 4) return TWalk::RecordTruncated;
        const std::int32_t nameLength = ReadI32(block + pos);
        pos += 4;
        f.Value = nameLength;
        f.Left = size - pos;
        // After the name come at least the flag and the stored size.
        if (nameLength > 0) {
            if (size - pos < 5 || static_cast<std::size_t>(nameLength) > size - pos - 5)
                return TWalk::NameTooLong;
        } else if (size - pos < 5) {
            return TWalk::RecordTruncated;
        }
        item.Name = block + pos;
        item.NameLength = nameLength > 0 ? static_cast<std::size_t>(nameLength) : 0;
        pos += item.NameLength;
        item.Compressed = block[pos] != 0;
        item.Stored = ReadI32(block + pos + 1);
        pos += 5;
        if (item.Stored > 0 && static_cast<std::size_t>(item.Stored) > size - pos) {
            f.Value = item.Stored;
            f.Left = size - pos;
            f.Record = item;
            return TWalk::StoredTooLarge;
        }
        item.Data = block + pos;
        if (item.Stored > 0) pos += static_cast<std::size_t>(item.Stored);
        visit(static_cast<const TItemRecord&>(item));
    }
    return TWalk::Ok;
}

enum class TFind { Absent, Present, Damaged };

// Whether the container block holds an item of the given name; Damaged when any of its
// records is, wherever the item lies (ReadItems reads all or nothing).
inline TFind FindItem(const std::uint8_t* block, std::size_t size, const char* name, std::size_t length) {
    bool found = false;
    const TWalk walk = WalkContainer(block, size, [&](const TItemRecord& item) {
        if (item.NameIs(name, length)) found = true;
    });
    if (walk != TWalk::Ok) return TFind::Damaged;
    return found ? TFind::Present : TFind::Absent;
}

} // namespace itemlayout
