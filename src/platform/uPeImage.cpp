#include "platform/uPeImage.h"

#include "store/uLittleEndian.h"

#include <algorithm>
#include <utility>
#include <variant>

namespace peimage {
namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kDirectoryHeaderSize = 16;
constexpr std::size_t kEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;
// More entries than any real program has at one level; a bound on the work per lookup.
constexpr std::uint32_t kMaxEntries = 4096;

struct TImage {
    const std::uint8_t* File = nullptr;
    std::size_t Size = 0;
    std::size_t Sections = 0; // file offset of the section table
    std::uint16_t SectionCount = 0;
    std::uint16_t Machine = 0;
    std::uint32_t ResourceRva = 0, ResourceSize = 0;

    bool Fits(std::size_t offset, std::size_t count) const {
        return offset <= Size && count <= Size - offset;
    }

    // Where rva lies in the file, and how many bytes of its section's file data follow it.
    std::optional<std::pair<std::size_t, std::size_t>> Place(std::uint32_t rva) const {
        for (std::uint16_t i = 0; i < SectionCount; ++i) {
            const std::uint8_t* s = File + Sections + i * kSectionHeaderSize;
            const std::uint32_t address = le::Get32(s + 12), rawSize = le::Get32(s + 16),
                                rawOffset = le::Get32(s + 20);
            if (rva < address || rva - address >= rawSize) continue;
            const std::size_t offset = std::size_t(rawOffset) + (rva - address);
            if (offset > Size) return std::nullopt;
            return std::pair{offset, std::min<std::size_t>(rawSize - (rva - address), Size - offset)};
        }
        return std::nullopt;
    }
    // The file offset of count bytes at rva, all inside one section's file data.
    std::optional<std::size_t> FileOffset(std::uint32_t rva, std::size_t count) const {
        const auto place = Place(rva);
        if (!place || count > place->second) return std::nullopt;
        return place->first;
    }
};

std::optional<TImage> Open(const std::uint8_t* file, std::size_t size) {
    TImage image{file, size};
    if (size < 0x40 || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
    const std::uint32_t pe = le::Get32(file + 0x3C);
    if (!image.Fits(pe, 24) || le::Get32(file + pe) != 0x00004550u) return std::nullopt;
    image.Machine = le::Get16(file + pe + 4);
    image.SectionCount = le::Get16(file + pe + 6);
    const std::uint16_t optionalSize = le::Get16(file + pe + 20);
    const std::size_t optional = std::size_t(pe) + 24;
    if (!image.Fits(optional, optionalSize) || optionalSize < 2) return std::nullopt;
    const std::uint16_t magic = le::Get16(file + optional);
    const std::size_t countAt = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
    if (countAt == 0 || optionalSize < countAt + 4) return std::nullopt;
    const std::uint32_t directories = le::Get32(file + optional + countAt);
    const std::size_t resourceEntry = countAt + 4 + 2 * 8;
    if (directories > 2 && optionalSize >= resourceEntry + 8) {
        image.ResourceRva = le::Get32(file + optional + resourceEntry);
        image.ResourceSize = le::Get32(file + optional + resourceEntry + 4);
    }
    image.Sections = optional + optionalSize;
    if (!image.Fits(image.Sections, std::size_t(image.SectionCount) * kSectionHeaderSize))
        return std::nullopt;
    return image;
}

// The resource directory: offsets inside it are checked against its own bytes.
struct TTree {
    const std::uint8_t* Root;
    std::size_t Size;
    bool Fits(std::uint32_t offset, std::size_t count) const {
        return offset <= Size && count <= Size - offset;
    }
};

using TKey = std::variant<std::string_view, std::uint16_t>;

char Upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char>(c - 32) : static_cast<char>(c);
}

bool NameMatches(const TTree& tree, std::uint32_t offset, std::string_view name) {
    if (!tree.Fits(offset, 2)) return false;
    const std::uint16_t length = le::Get16(tree.Root + offset);
    if (length != name.size() || !tree.Fits(offset + 2, std::size_t(length) * 2)) return false;
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t c = le::Get16(tree.Root + offset + 2 + 2 * i);
        if (c > 0x7F || Upper(c) != Upper(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

// The target of the entry of the directory at offset that matches key (any entry when
// key is empty); nullopt when none does.
std::optional<std::uint32_t> Lookup(const TTree& tree, std::uint32_t offset, const std::optional<TKey>& key) {
    if (!tree.Fits(offset, kDirectoryHeaderSize)) return std::nullopt;
    const std::uint32_t named = le::Get16(tree.Root + offset + 12),
                        numbered = le::Get16(tree.Root + offset + 14);
    const std::uint32_t count = named + numbered;
    if (count > kMaxEntries || !tree.Fits(offset + kDirectoryHeaderSize, std::size_t(count) * kEntrySize))
        return std::nullopt;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = tree.Root + offset + kDirectoryHeaderSize + i * kEntrySize;
        const std::uint32_t id = le::Get32(entry), target = le::Get32(entry + 4);
        bool match = !key.has_value();
        if (key && std::holds_alternative<std::uint16_t>(*key))
            match = (id & kHighBit) == 0 && id == std::get<std::uint16_t>(*key);
        else if (key)
            match =
                (id & kHighBit) != 0 && NameMatches(tree, id & ~kHighBit, std::get<std::string_view>(*key));
        if (match) return target;
    }
    return std::nullopt;
}

std::optional<TSpan> Find(const std::uint8_t* file, std::size_t size, std::uint16_t typeId,
                          const TKey& name) {
    const std::optional<TImage> image = Open(file, size);
    if (!image || image->ResourceSize == 0) return std::nullopt;
    // The directory's bytes: as far as its size says, within the section holding it.
    const auto root = image->Place(image->ResourceRva);
    if (!root) return std::nullopt;
    const TTree tree{file + root->first, std::min<std::size_t>(root->second, image->ResourceSize)};
    // Type, name and language are each a subdirectory; the language's target is the data.
    std::uint32_t target = 0;
    const std::optional<TKey> keys[] = {TKey(typeId), name, std::nullopt};
    for (int level = 0; level < 3; ++level) {
        const std::optional<std::uint32_t> next = Lookup(tree, target, keys[level]);
        const bool directory = level < 2;
        if (!next || ((*next & kHighBit) != 0) != directory) return std::nullopt;
        target = *next & ~kHighBit;
    }
    if (!tree.Fits(target, kDataEntrySize)) return std::nullopt;
    const std::uint32_t dataRva = le::Get32(tree.Root + target), dataSize = le::Get32(tree.Root + target + 4);
    const std::optional<std::size_t> data = image->FileOffset(dataRva, dataSize);
    if (!data) return std::nullopt;
    return TSpan{file + *data, dataSize};
}

} // namespace

std::optional<std::uint16_t> Machine(const std::uint8_t* file, std::size_t size) {
    const std::optional<TImage> image = Open(file, size);
    if (!image) return std::nullopt;
    return image->Machine;
}

std::optional<TSpan> ResourceData(const std::uint8_t* file, std::size_t size, std::uint16_t typeId,
                                  std::string_view name) {
    return Find(file, size, typeId, TKey(name));
}

std::optional<TSpan> ResourceData(const std::uint8_t* file, std::size_t size, std::uint16_t typeId,
                                  std::uint16_t nameId) {
    return Find(file, size, typeId, TKey(nameId));
}

} // namespace peimage
