#include "store/uExeAdder.h"

#include "store/uErrors.h"
#include "store/uStreamUtils.h"
#include "store/uStreams.h"
#include "store/uZCompress.h"

#include <algorithm>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace {

// A read-only view of [start, end) of another stream. The stream helpers check their
// lengths against Remaining(), so through this view nothing is read past the block.
class TWindowStream : public TStream {
public:
    TWindowStream(TStream& base, std::int64_t start, std::int64_t end)
        : FBase(base), FStart(start), FEnd(end) {
        FBase.SetPosition(FStart);
    }
    std::size_t Read(void* buffer, std::size_t count) override {
        const std::int64_t pos = FBase.Position();
        if (pos >= FEnd) return 0;
        count =
            static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(count), FEnd - pos));
        return FBase.Read(buffer, count);
    }
    std::size_t Write(const void*, std::size_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        const std::int64_t base = origin == TSeekOrigin::Begin     ? 0
                                  : origin == TSeekOrigin::Current ? FBase.Position() - FStart
                                                                   : FEnd - FStart;
        const std::int64_t pos = std::clamp<std::int64_t>(base + offset, 0, FEnd - FStart);
        return FBase.Seek(FStart + pos, TSeekOrigin::Begin) - FStart;
    }
    std::int64_t Size() override { return FEnd - FStart; }

private:
    TStream& FBase;
    std::int64_t FStart, FEnd;
};

[[noreturn]] void Corrupt(const std::string& what) {
    throw ECorruptData("Damaged item container: " + what);
}

std::string ItemLabel(std::int32_t index, std::int32_t count) {
    return "item " + std::to_string(index + 1) + " of " + std::to_string(count);
}

// Reads one item record; every length is compared with the bytes left in the block
// before anything is allocated for it.
TItemType ReadItem(TStream& block, std::uint8_t key, std::int32_t index, std::int32_t count,
                   std::size_t& budget) {
    TItemType item;
    const std::int32_t nameLength = ReadInteger(block);
    // After the name come at least the flag and the stored size.
    if (nameLength > 0 && nameLength > block.Remaining() - 5)
        Corrupt(ItemLabel(index, count) + ": name length " + std::to_string(nameLength) + " exceeds the " +
                std::to_string(block.Remaining()) + " bytes left in the container");
    std::string name(static_cast<std::size_t>(std::max(nameLength, 0)), '\0');
    block.ReadBuffer(name.data(), name.size());
    item.Name = ScrambleName(name, key);

    item.Compressed = ReadByte(block) != 0;
    const std::int32_t stored = ReadInteger(block);
    if (stored > 0 && stored > block.Remaining())
        Corrupt(ItemLabel(index, count) + " (\"" + item.Name + "\"): stored size " + std::to_string(stored) +
                " exceeds the " + std::to_string(block.Remaining()) + " bytes left in the container");

    if (item.Compressed) {
        if (stored > 0) {
            std::vector<std::uint8_t> packed(static_cast<std::size_t>(stored));
            block.ReadBuffer(packed.data(), packed.size());
            item.Data = DecompressBuffer(packed.data(), packed.size(), 0, budget);
            budget -= item.Data.size();
            item.Size = static_cast<std::int32_t>(item.Data.size()); // at most kMaxInflatedSize
        }
    } else {
        item.Size = stored; // a stored size of 0 or less is kept as it is, with no data
        if (stored > 0) {
            item.Data.resize(static_cast<std::size_t>(stored));
            block.ReadBuffer(item.Data.data(), item.Data.size());
        }
    }
    return item;
}

std::int32_t CheckedSize(std::size_t size, const std::string& name) {
    if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw std::length_error("Item \"" + name + "\" is too large for the item container");
    return static_cast<std::int32_t>(size);
}

// The whole container in memory: nothing reaches the file until every item is compressed.
std::vector<std::uint8_t> BuildContainer(const TItemTypes& items, int key) {
    TMemoryStream block;
    WriteInteger(block, key);
    WriteInteger(block, CheckedSize(items.size(), "(count)"));
    for (const TItemType& item : items) {
        if (item.Size > 0 && static_cast<std::size_t>(item.Size) > item.Data.size())
            throw std::invalid_argument("Item \"" + item.Name + "\" has a size larger than its data");
        WriteString(block, ScrambleName(item.Name, key));
        WriteByte(block, item.Compressed ? 1 : 0);
        if (item.Compressed && item.Size > 0) {
            const std::vector<std::uint8_t> packed =
                CompressBuffer(item.Data.data(), static_cast<std::size_t>(item.Size), 2);
            WriteInteger(block, CheckedSize(packed.size(), item.Name));
            block.WriteBuffer(packed.data(), packed.size());
        } else {
            WriteInteger(block, item.Size);
            if (item.Size > 0) block.WriteBuffer(item.Data.data(), static_cast<std::size_t>(item.Size));
        }
    }
    WriteInt64(block, block.Size());
    block.WriteBuffer(kContainerTrailer, sizeof kContainerTrailer);
    return std::move(block.Bytes());
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
    TFileReadStream file(fileName);
    const std::int64_t fileSize = file.Size();
    if (fileSize < kContainerTrailerSize) return;

    // The file's last bytes: trailer and block length.
    std::uint8_t tail[kContainerTailSize];
    const auto tailSize = static_cast<std::size_t>(std::min(fileSize, kContainerTailSize));
    file.SetPosition(fileSize - static_cast<std::int64_t>(tailSize));
    if (file.Read(tail, tailSize) != tailSize) return;
    const itemlayout::TContainerPlace place = itemlayout::LocateContainer(fileSize, tail, tailSize);
    switch (place.Place) {
    case itemlayout::TPlace::None:
        return;
    case itemlayout::TPlace::TooShort:
        Corrupt("the file of " + std::to_string(fileSize) + " bytes is too short for its trailer");
    case itemlayout::TPlace::BadLength:
        Corrupt("block length " + std::to_string(place.BlockLength) + " points outside the file of " +
                std::to_string(fileSize) + " bytes");
    case itemlayout::TPlace::Found:
        break;
    }

    TWindowStream block(file, place.BlockStart, place.BlockStart + place.BlockLength);
    const auto key = static_cast<std::uint8_t>(ReadInteger(block));
    const std::int32_t count = ReadInteger(block);
    if (count < 0) Corrupt("negative item count " + std::to_string(count));
    if (count > block.Remaining() / kContainerMinRecordSize)
        Corrupt("item count " + std::to_string(count) + " does not fit in the " +
                std::to_string(block.Remaining()) + " bytes of the container");
    items.reserve(static_cast<std::size_t>(count));

    // All items of one container together inflate to at most maxInflated bytes, so many
    // small bombs cannot add up to what one may not be.
    std::size_t budget = std::min(maxInflated, kMaxInflatedSize);
    // On an error the items read so far stay in the list (the caller frees them).
    for (std::int32_t i = 0; i < count; ++i) {
        try {
            items.push_back(ReadItem(block, key, i, count, budget));
        } catch (const EReadError&) {
            Corrupt(ItemLabel(i, count) + " ends past the end of the container");
        }
    }
}

void WriteItemsWithKey(const TPathName& fileName, const TItemTypes& items, int key) {
    if (key < kContainerKeyMin || key > kContainerKeyMax)
        throw std::out_of_range("Item container key " + std::to_string(key) + " is outside 17..255");
    if (!FileExistsName(fileName) && !DirectoryExistsName(fileName)) return;

    const std::vector<std::uint8_t> container = BuildContainer(items, key);
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
        throw EWriteError("Cannot write the item container to \"" + MessageName(fileName) + "\"");
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

void TWriteHelper::AddString(const std::string& name, const std::string& s) {
    AddData(name, s.data(), CheckedSize(s.size(), name), true);
}

void TWriteHelper::AppendToFile(const TPathName& fileName) const {
    WriteItems(fileName, FItems);
}

void TWriteHelper::AppendToStream(TStream& stream) const {
    const std::vector<std::uint8_t> container = BuildContainer(FItems, RandomContainerKey());
    stream.Seek(0, TSeekOrigin::End);
    stream.WriteBuffer(container.data(), container.size());
}
