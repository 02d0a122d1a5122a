#include "store/uExeAdder.h"

#include "store/uErrors.h"
#include "store/uLittleEndian.h"
#include "store/uStreamUtils.h"
#include "store/uStreams.h"
#include "store/uText.h"
#include "store/uZCompress.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace {

[[noreturn]] void Corrupt(const std::string& what) {
    throw ECorruptData("Damaged item container: " + what);
}

std::string ItemLabel(std::int32_t index, std::int32_t count) {
    return "item " + std::to_string(index + 1) + " of " + std::to_string(count);
}

// Reads exactly count bytes at offset; false when fewer are there.
bool ReadAt(TStream& file, std::int64_t offset, void* buffer, std::size_t count) {
    file.SetPosition(offset);
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (count > 0) {
        const std::size_t read = file.Read(p, count);
        if (read == 0) return false;
        p += read;
        count -= read;
    }
    return true;
}

itemlayout::TContainerPlace Locate(TStream& file) {
    return itemlayout::LocateContainerIn(file.Size(),
                                         [&](std::int64_t offset, void* buffer, std::size_t count) {
                                             return ReadAt(file, offset, buffer, count);
                                         });
}

// The walker's verdict on a damaged block, in words.
[[noreturn]] void CorruptBlock(itemlayout::TWalk walk, const itemlayout::TWalkFault& f) {
    using itemlayout::TWalk;
    const std::string item = ItemLabel(f.Index, f.Count);
    const std::string left = " exceeds the " + std::to_string(f.Left) + " bytes left in the container";
    switch (walk) {
    case TWalk::NegativeCount:
        Corrupt("negative item count " + std::to_string(f.Value));
    case TWalk::CountTooLarge:
        Corrupt("item count " + std::to_string(f.Value) + " does not fit in the " + std::to_string(f.Left) +
                " bytes of the container");
    case TWalk::NameTooLong:
        Corrupt(item + ": name length " + std::to_string(f.Value) + left);
    case TWalk::StoredTooLarge: {
        const std::string name(reinterpret_cast<const char*>(f.Record.Name), f.Record.NameLength);
        Corrupt(item + " (\"" + ScrambleName(name, f.Record.Key) + "\"): stored size " +
                std::to_string(f.Value) + left);
    }
    case TWalk::ShortHead: // the locator already refuses a block shorter than its head
    case TWalk::RecordTruncated:
    case TWalk::Ok:
        break;
    }
    Corrupt(item + " ends past the end of the container");
}

// One record the walker has checked, copied out (and inflated) into an item.
TItemType ReadItem(const itemlayout::TItemRecord& record, std::size_t& budget) {
    TItemType item;
    item.Name =
        ScrambleName(std::string(reinterpret_cast<const char*>(record.Name), record.NameLength), record.Key);
    item.Compressed = record.Compressed;
    if (item.Compressed) {
        if (record.Stored > 0) {
            item.Data = DecompressBuffer(record.Data, static_cast<std::size_t>(record.Stored), 0, budget);
            budget -= item.Data.size();
            item.Size = static_cast<std::int32_t>(item.Data.size()); // at most kMaxInflatedSize
        }
    } else {
        item.Size = record.Stored; // a stored size of 0 or less is kept as it is, with no data
        if (record.Stored > 0) item.Data.assign(record.Data, record.Data + record.Stored);
    }
    return item;
}

std::int32_t CheckedSize(std::size_t size, const std::string& name) {
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::length_error("Item \"" + name + "\" is too large for the item container");
    return static_cast<std::int32_t>(size);
}

// The whole container in memory: nothing reaches the file until every item is compressed.
// The container in one buffer sized once for the largest form of each item: only the
// bytes really written touch memory, and compressed data is deflated in place, so a large
// screensaver is held once as it is and once compressed, never copied on the way.
TContainerBytes BuildContainer(const TItemTypes& items, int key) {
    CheckedSize(items.size(), "(count)");
    std::size_t bound = kContainerHeadSize + kContainerTailSize;
    for (const TItemType& item : items) {
        if (item.Size > 0 && static_cast<std::size_t>(item.Size) > item.Data.size())
            throw std::invalid_argument("Item \"" + item.Name + "\" has a size larger than its data");
        CheckedSize(item.Name.size(), item.Name);
        const std::size_t size = item.Size > 0 ? static_cast<std::size_t>(item.Size) : 0;
        bound += 9 + item.Name.size() + (item.Compressed && size > 0 ? CompressBound(size) : size);
    }
    TContainerBytes out;
    out.resize(bound);
    std::size_t at = 0;
    const auto put = [&](std::uint64_t v, std::size_t width) {
        le::Put(out.data() + at, v, width);
        at += width;
    };
    const auto copy = [&](const void* data, std::size_t size) {
        if (size) std::memcpy(out.data() + at, data, size);
        at += size;
    };
    put(static_cast<std::uint32_t>(key), 4);
    put(items.size(), 4);
    for (const TItemType& item : items) {
        const std::string name = ScrambleName(item.Name, key);
        put(name.size(), 4);
        copy(name.data(), name.size());
        out[at++] = item.Compressed ? 1 : 0;
        if (item.Compressed && item.Size > 0) {
            const std::size_t sizeAt = at;
            at += 4;
            const std::size_t packed = CompressInto(item.Data.data(), static_cast<std::size_t>(item.Size),
                                                    out.data() + at, bound - at, 2);
            le::Put(out.data() + sizeAt, static_cast<std::uint32_t>(CheckedSize(packed, item.Name)), 4);
            at += packed;
        } else {
            put(static_cast<std::uint32_t>(item.Size), 4);
            if (item.Size > 0) copy(item.Data.data(), static_cast<std::size_t>(item.Size));
        }
    }
    put(at, 8); // the block's length: everything before this field
    copy(kContainerTrailer, sizeof kContainerTrailer);
    out.resize(at);
    return out;
}

} // namespace

std::string ScrambleName(const std::string& name, int key) {
    const auto k = static_cast<char>(static_cast<std::uint8_t>(key));
    std::string result = name;
    for (char& c : result) c = static_cast<char>(c ^ k);
    return result;
}

void FreeItems(TItemTypes& items) {
    items.clear();
    items.shrink_to_fit();
}

void ReadItems(const TPathName& fileName, TItemTypes& items) {
    ReadItems(fileName, items, kMaxInflatedSize);
}

void ReadItems(const TPathName& fileName, TItemTypes& items, std::size_t maxInflated) {
    FreeItems(items);
    const std::vector<std::uint8_t> container = ReadContainerBytes(fileName);
    ParseItems(container, items, maxInflated);
}

namespace {
// True when the locator found a container in the file of fileSize bytes, false when the file
// carries none; ECorruptData when its trailer or block length is damaged.
bool ContainerFound(const itemlayout::TContainerPlace& place, std::int64_t fileSize) {
    switch (place.Place) {
    case itemlayout::TPlace::None:
        return false;
    case itemlayout::TPlace::TooShort:
        Corrupt("the file of " + std::to_string(fileSize) + " bytes is too short for its trailer");
    case itemlayout::TPlace::BadLength:
        Corrupt("block length " + std::to_string(place.BlockLength) + " points outside the file of " +
                std::to_string(fileSize) + " bytes");
    case itemlayout::TPlace::Found:
        break;
    }
    return true;
}
} // namespace

std::vector<std::uint8_t> ReadContainerBytes(const TPathName& fileName) {
    TFileReadStream file(fileName);
    const itemlayout::TContainerPlace place = Locate(file);
    if (!ContainerFound(place, file.Size())) return {};
    // The block is at most the file's size; the walker checks every record in it before
    // anything is allocated for that record.
    std::vector<std::uint8_t> container(static_cast<std::size_t>(place.BlockLength + kContainerTailSize));
    if (!ReadAt(file, place.BlockStart, container.data(), container.size()))
        Corrupt("the block of " + std::to_string(place.BlockLength) + " bytes cannot be read whole");
    return container;
}

std::vector<std::uint8_t> ContainerBytesAt(const std::vector<std::uint8_t>& file,
                                           const itemlayout::TContainerPlace& place) {
    if (!ContainerFound(place, static_cast<std::int64_t>(file.size()))) return {};
    const auto start = file.begin() + static_cast<std::ptrdiff_t>(place.BlockStart);
    return std::vector<std::uint8_t>(
        start, start + static_cast<std::ptrdiff_t>(place.BlockLength + kContainerTailSize));
}

void ParseItems(const std::vector<std::uint8_t>& container, TItemTypes& items) {
    ParseItems(container, items, kMaxInflatedSize);
}

void ParseItems(const std::vector<std::uint8_t>& container, TItemTypes& items, std::size_t maxInflated) {
    ParseItemsExcept(container, items, {}, maxInflated);
}

void ParseItemsExcept(const std::vector<std::uint8_t>& container, TItemTypes& items, std::string_view leftOut,
                      std::size_t maxInflated) {
    FreeItems(items);
    if (container.empty()) return;
    if (container.size() < static_cast<std::size_t>(kContainerTailSize + kContainerHeadSize))
        Corrupt("the container of " + std::to_string(container.size()) + " bytes is too short");
    const std::size_t blockLength = container.size() - static_cast<std::size_t>(kContainerTailSize);
    // All items of one container together inflate to at most maxInflated bytes, so many
    // small bombs cannot add up to what one may not be.
    std::size_t budget = std::min(maxInflated, kMaxInflatedSize);
    // On an error the items read so far stay in the list (the caller frees them). The list
    // grows with the records really read: a count is no reason to reserve.
    itemlayout::TWalkFault fault;
    const itemlayout::TWalk walk = itemlayout::WalkContainer(
        container.data(), blockLength,
        [&](const itemlayout::TItemRecord& record) {
            // A left-out record is checked by the walker like any other, but not copied.
            if (!leftOut.empty() && record.NameLength == leftOut.size() &&
                ScrambleName(std::string(reinterpret_cast<const char*>(record.Name), record.NameLength),
                             record.Key) == leftOut)
                return;
            items.push_back(ReadItem(record, budget));
        },
        &fault);
    if (walk != itemlayout::TWalk::Ok) CorruptBlock(walk, fault);
}

itemlayout::TContainerPlace LocateContainerInFile(const TPathName& fileName) {
    TFileReadStream file(fileName);
    return Locate(file);
}

void WriteItemsWithKey(const TPathName& fileName, const TItemTypes& items, int key) {
    if (key < kContainerKeyMin || key > kContainerKeyMax)
        throw std::out_of_range("Item container key " + std::to_string(key) + " is outside 17..255");
    if (!FileExistsName(fileName) && !DirectoryExistsName(fileName)) return;

    const TContainerBytes container = BuildContainer(items, key);
    std::int64_t start = 0;
    bool written = false;
    {
        TFileStream file(fileName, TFileMode::OpenWrite);
        start = file.Seek(0, TSeekOrigin::End);
        written = file.Write(container.data(), container.size()) == container.size();
    }
    if (!written) {
        // A half-written container would hide nothing but waste space; cut it off so the
        // file is as it was.
        ResizeFileName(fileName, start);
        throw EWriteError("Cannot write the item container to \"" + PathToCp932(fileName) + "\"");
    }
}

namespace {
int RandomContainerKey() {
    static std::random_device source;
    std::uniform_int_distribution<int> keys(kContainerKeyMin, kContainerKeyMax);
    return keys(source);
}
} // namespace

void WriteItems(const TPathName& fileName, const TItemTypes& items) {
    WriteItemsWithKey(fileName, items, RandomContainerKey());
}

void TWriteHelper::AddData(const std::string& name, const void* buffer, std::int32_t size, bool compressed) {
    TItemType item;
    item.Name = name;
    item.Size = size;
    if (size > 0 && buffer != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        item.Data.assign(bytes, bytes + size);
        item.Compressed = compressed;
    } else {
        item.Size = 0;
    }
    FItems.push_back(std::move(item));
}

void TWriteHelper::AddData(const std::string& name, std::vector<std::uint8_t>&& data, bool compressed) {
    TItemType item;
    item.Name = name;
    item.Size = CheckedSize(data.size(), name);
    item.Compressed = compressed && !data.empty();
    item.Data = std::move(data);
    FItems.push_back(std::move(item));
}

void TWriteHelper::AddString(const std::string& name, const std::string& s) {
    AddData(name, s.data(), CheckedSize(s.size(), name), true);
}

void TWriteHelper::AppendToFile(const TPathName& fileName) const {
    WriteItems(fileName, FItems);
}

TContainerBytes TWriteHelper::ContainerBytes() const {
    return BuildContainer(FItems, RandomContainerKey());
}

TContainerBytes TWriteHelper::ContainerBytes(int key) const {
    if (key < kContainerKeyMin || key > kContainerKeyMax)
        throw std::out_of_range("Item container key " + std::to_string(key) + " is outside 17..255");
    return BuildContainer(FItems, key);
}

int ContainerKeyOf(const TItemTypes& items) {
    // FNV-1a over every field that reaches the file; nothing secret rests on the key.
    std::uint32_t hash = 2166136261u;
    const auto mix = [&](const void* data, std::size_t size) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    };
    for (const TItemType& item : items) {
        const std::uint64_t sizes[2] = {item.Name.size(), item.Data.size()};
        mix(sizes, sizeof sizes);
        mix(item.Name.data(), item.Name.size());
        mix(&item.Compressed, 1);
        mix(item.Data.data(), item.Data.size());
    }
    return kContainerKeyMin + static_cast<int>(hash % (kContainerKeyMax - kContainerKeyMin + 1));
}

void TWriteHelper::AppendToStream(TStream& stream) const {
    const TContainerBytes container = ContainerBytes();
    stream.Seek(0, TSeekOrigin::End);
    stream.WriteBuffer(container.data(), container.size());
}
