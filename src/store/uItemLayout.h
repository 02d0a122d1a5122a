#pragma once
// The fixed parts of the item container's layout (described at the top of
// store/uExeAdder.h), and a walker over a container held in memory.
//
// Header-only: it allocates nothing, throws nothing and needs neither zlib nor the C++
// runtime, so the uninstaller uses it to find its "GUID" item without ReadItems. The
// walker trusts nothing: every length, count and size is checked against the bytes that
// are really there before anything is looked at, with the same limits ReadItems applies,
// so both call the same containers damaged. (It does not inflate compressed data: a
// damaged zlib stream is ReadItems' to find.)
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
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
        static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int64_t ReadI64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return static_cast<std::int64_t>(v);
}

enum class TPlace {
    None,      // no "PLWS" trailer (or fewer than 4 bytes): the file carries no container
    TooShort,  // a trailer, but too few bytes before it for L and the block's head
    BadLength, // the block length L points outside the file
    Found,
};

struct TContainerPlace {
    TPlace Place = TPlace::None;
    std::int64_t BlockStart = 0;  // offset of the block in the file (when Found)
    std::int64_t BlockLength = 0; // L; for BadLength too
};

// Where the container of a file of fileSize bytes lies, from the file's last bytes: tail
// holds its last min(fileSize, kContainerTailSize) bytes (tailSize of them).
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

// Walks the records of the container block [block, block + size) in order and hands each
// to visit(const TItemRecord&). Checks each record before visit sees it; on the first
// fault it stops and tells which (the records before it have been visited).
template <typename Visit> TWalk WalkContainer(const std::uint8_t* block, std::size_t size, Visit&& visit) {
    if (size < static_cast<std::size_t>(kContainerHeadSize)) return TWalk::ShortHead;
    const auto key = static_cast<std::uint8_t>(ReadI32(block));
    const std::int32_t count = ReadI32(block + 4);
    std::size_t pos = static_cast<std::size_t>(kContainerHeadSize);
    if (count < 0) return TWalk::NegativeCount;
    if (static_cast<std::size_t>(count) > (size - pos) / kContainerMinRecordSize) return TWalk::CountTooLarge;
    for (std::int32_t i = 0; i < count; ++i) {
        TItemRecord item;
        item.Key = key;
        if (size - pos < 4) return TWalk::RecordTruncated;
        const std::int32_t nameLength = ReadI32(block + pos);
        pos += 4;
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
        if (item.Stored > 0 && static_cast<std::size_t>(item.Stored) > size - pos)
            return TWalk::StoredTooLarge;
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
