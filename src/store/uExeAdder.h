#pragma once
// The item container: named byte blocks appended to the end of a file (in practice a
// program) and found again from the end of that file.
//
//   block start                                                       end of file
//   | key i32 | count N i32 | N item records ... | length L i64 = 8+R | "PLWS" |
//     0         4             8                   8+R                  16+R
//
//   item record: | name length n i32 | name bytes XOR key (n) | flag u8 | stored size s i32 | data (s) |
//
// All integers little-endian and signed. The key is drawn from 17..255; only its low byte
// scrambles the names (data is never scrambled). Flag 0: data stored as is; any other
// value: data is one zlib stream (writers write 1) whose uncompressed length is not
// stored. Locating the block in a file of F bytes: trailer at F-4, L at F-12, block at
// F-12-L. An empty list appends exactly 20 bytes. A program signed after the container was
// appended carries its certificate table after it: F is then where the table starts,
// less the zero padding before it.
//
// The reader trusts nothing: every length, count and size is checked against the bytes
// that are really left before anything is allocated or read.
//
// The layout's constants (trailer, key range, fixed sizes) live in store/uItemLayout.h,
// with an allocation-free walker over a container in memory.
#include "store/uItemLayout.h"
#include "store/uStreams.h"
#include "store/uZCompress.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One item: its data is always uncompressed in memory and owned by the item.
struct TItemType {
    std::string Name;               // 8-bit name, compared byte for byte
    std::vector<std::uint8_t> Data; // empty when there is no data
    std::int32_t Size = 0;          // bytes of data; a stored size <= 0 is kept here for stored items
    bool Compressed = false;        // stored (or to be stored) zlib-compressed
};
using TItemTypes = std::vector<TItemType>;

// The items of the container at the end of the file (of a signed program: just before its
// certificate table), in file order; empty when the file carries none (missing file,
// folder, shorter than 4 bytes, no "PLWS" trailer). Raises
// ECorruptData when the container's block length, count, name lengths or stored sizes
// point outside the file or past the block (a negative count too), and
// EZDecompressionError (zlib's message, or the cap on inflated data) for a damaged
// compressed item; the list then holds the items read before the fault (empty for a bad
// block length or count), for the caller to free.
void ReadItems(const TPathName& fileName, TItemTypes& items);
// Same, with the total inflated size of all items capped at maxInflated bytes (the
// overload above caps it at kMaxInflatedSize); a container past it raises
// EZDecompressionError.
void ReadItems(const TPathName& fileName, TItemTypes& items, std::size_t maxInflated);

// The container of the file read into memory through one handle, exactly as it lies there:
// the block and its tail (the length L and "PLWS"), the bytes the image binding covers.
// Empty when the file carries none; ECorruptData when the trailer or L is damaged.
std::vector<std::uint8_t> ReadContainerBytes(const TPathName& fileName);
// The same for a file held whole in memory, at the place itemlayout::LocateContainerInMemory
// found in it: empty when the file carries none, the errors of ReadContainerBytes otherwise.
std::vector<std::uint8_t> ContainerBytesAt(const std::vector<std::uint8_t>& file,
                                           const itemlayout::TContainerPlace& place);
// The items of a container held in memory (as ReadContainerBytes gives it), with the
// checks and errors of ReadItems; empty bytes give no items.
void ParseItems(const std::vector<std::uint8_t>& container, TItemTypes& items);
void ParseItems(const std::vector<std::uint8_t>& container, TItemTypes& items, std::size_t maxInflated);
// The same without the items named leftOut (not inflated, not listed; their records are
// checked all the same).
void ParseItemsExcept(const std::vector<std::uint8_t>& container, TItemTypes& items, std::string_view leftOut,
                      std::size_t maxInflated = kMaxInflatedSize);

// Where the container of the file lies (the locator of store/uItemLayout.h: before the
// certificate table of a signed program, else at the end), and that table; None for a
// file that cannot be read.
itemlayout::TContainerPlace LocateContainerInFile(const TPathName& fileName);

// Frees every item's data and empties the list.
void FreeItems(TItemTypes& items);

// Appends one container holding items to the existing file; a file that does not exist
// is left alone (nothing is created). The whole container is built (and compressed) in
// memory first, so a compression error leaves the file untouched. Raises EFOpenError when
// the file cannot be opened, EWriteError when it cannot be written (the file is then cut
// back to its old length), std::invalid_argument for an item whose Size exceeds its Data.
void WriteItems(const TPathName& fileName, const TItemTypes& items);

// Same, with a given key (17..255, else std::out_of_range); for tests and for byte-exact
// reproduction. WriteItems draws the key from std::random_device.
void WriteItemsWithKey(const TPathName& fileName, const TItemTypes& items, int key);

// A key in 17..255 that depends only on the items (names, flags and data), for a builder
// whose output must be the same bytes each time it is given the same input.
int ContainerKeyOf(const TItemTypes& items);

// Every byte XORed with the key's low byte; its own inverse.
std::string ScrambleName(const std::string& name, int key);

// Container bytes: a buffer whose growth writes no zeros, so that one sized for the largest
// possible container costs only the memory its real bytes take.
template <typename T> struct TUninitializedAllocator : std::allocator<T> {
    template <typename U> struct rebind { using other = TUninitializedAllocator<U>; };
    TUninitializedAllocator() = default;
    template <typename U> TUninitializedAllocator(const TUninitializedAllocator<U>&) noexcept {}
    template <typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <typename U, typename... A> void construct(U* p, A&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<A>(args)...);
    }
};
using TContainerBytes = std::vector<std::uint8_t, TUninitializedAllocator<std::uint8_t>>;

// Builder for one write: add items, append them to a file.
class TWriteHelper {
public:
    // Copies size bytes from buffer. A size of 0 or less (or a null buffer) gives an item
    // with no data and Size 0, stored with flag 0 whatever compressed says.
    void AddData(const std::string& name, const void* buffer, std::int32_t size, bool compressed);
    // The same, taking the bytes over instead of copying them (a large screensaver).
    void AddData(const std::string& name, std::vector<std::uint8_t>&& data, bool compressed);
    // AddData(name, bytes of s, length of s, compressed = true).
    void AddString(const std::string& name, const std::string& s);
    void AppendToFile(const TPathName& fileName) const;
    // The same container (the same bytes) written at the end of an open stream, such as a
    // TTemporaryFile being put together. Raises EWriteError when it cannot be written.
    void AppendToStream(TStream& stream) const;
    // The container's bytes as AppendToStream writes them (block, length and trailer).
    TContainerBytes ContainerBytes() const;
    // The same with the given key (17..255, else std::out_of_range).
    TContainerBytes ContainerBytes(int key) const;
    const TItemTypes& Items() const { return FItems; }

private:
    TItemTypes FItems;
};
