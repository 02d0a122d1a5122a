#include "components/uBitmapList.h"

#include "store/uErrors.h"
#include "store/uStreamUtils.h"
#include "store/uText.h"
#include "store/uZCompress.h"
#include "toolkit/uControls.h"
#include "toolkit/uForms.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// Keeps FUpdateCount balanced when an error leaves the update early.
class TUpdating {
public:
    explicit TUpdating(TBitmapList& list) : FList(list) { FList.SetUpdating(true); }
    ~TUpdating() { FList.SetUpdating(false); }
    TUpdating(const TUpdating&) = delete;
    TUpdating& operator=(const TUpdating&) = delete;

private:
    TBitmapList& FList;
};

bool SameName(const std::string& a, const std::string& b) {
    return CompareKeys(a, b, true) == 0;
}

} // namespace

TBitmapList::TBitmapList(TComponent* owner) : TComponent(owner) {}

void TBitmapList::GetProperties(TPropList& props) {
    TComponent::GetProperties(props);
    props.Bool(
        "Compressed", [this] { return FCompressed; }, [this](bool v) { SetCompressed(v); }, false);
    // Design time only: reads back empty, so it is never stored.
    props.Strings(
        "Images", [] { return std::vector<std::string>(); },
        [this](const std::vector<std::string>& v) { AddImageFiles(v); });
}

void TBitmapList::DefineProperties(TFiler& filer) {
    TComponent::DefineProperties(filer);
    filer.DefineBinaryProperty(
        kPropertyName, [this](TStream& s) { ReadBitmaps(s); }, [this](TStream& s) { WriteBitmaps(s); }, true);
}

void TBitmapList::AddImageFiles(const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
        const std::size_t eq = entry.find('=');
        if (eq == std::string::npos || eq == 0) throw EComponentError("expected name=file in " + entry);
        const std::string name = entry.substr(0, eq);
        std::string file = entry.substr(eq + 1);
        TColor transparent = kClNone;
        // '|' cannot occur in a file name, and is a single-byte character in code page 932.
        const std::size_t bar = file.rfind('|');
        if (bar != std::string::npos) {
            const std::string colour = file.substr(bar + 1);
            file.resize(bar);
            if (!ColorFromName(colour, transparent)) {
                try {
                    std::size_t used = 0;
                    const bool hex = !colour.empty() && colour[0] == '$';
                    const unsigned long v = std::stoul(hex ? colour.substr(1) : colour, &used, hex ? 16 : 10);
                    if (used + (hex ? 1 : 0) != colour.size() || v > 0xFFFFFFFFul)
                        throw std::invalid_argument("");
                    transparent = static_cast<TColor>(static_cast<std::uint32_t>(v));
                } catch (const std::logic_error&) {
                    throw EComponentError("bad transparent colour " + colour);
                }
            }
        }
        TBitmap bitmap;
        try {
            TMemoryStream data;
            data.LoadFromFile(PathFromCp932(file));
            data.SetPosition(0);
            bitmap.LoadFromStream(data);
        } catch (const Exception& e) {
            Application.ShowErrorBox(file + " was not found or is no bitmap: " + e.what());
            continue;
        }
        Add(name, bitmap, transparent);
    }
}

TBitmapList::~TBitmapList() {
    Clear();
    // Each client unregisters itself from this list in SetBitmapList, so walk a copy.
    const std::vector<IBitmapListClient*> clients = FClients;
    for (IBitmapListClient* client : clients) {
        try {
            client->SetBitmapList(nullptr);
        } catch (...) {
            // A client's repaint failing must not stop the others from being detached.
        }
    }
    FClients.clear();
}

void TBitmapList::GetBitmap(const std::string& name, TBitmap* bitmap) {
    GetFrom(name, bitmap, FImages);
}

void TBitmapList::GetMask(const std::string& name, TBitmap* bitmap) {
    GetFrom(name, bitmap, FMasks);
}

void TBitmapList::GetFrom(const std::string& name, TBitmap* bitmap, THash& map) {
    if (!bitmap) return;
    if (!map.Exists(name)) {
        bitmap->Assign(nullptr);
        return;
    }
    const std::intptr_t pos = map.GetValue(name);
    if (pos < 0 || pos >= FStore.Size()) throw ECorruptData("bitmap offset outside the bitmap store");
    FStore.SetPosition(pos);
    bitmap->LoadFromStream(FStore);
}

void TBitmapList::Add(const std::string& name, const TBitmap& bitmap, TColor transparentColor) {
    AddTo(name, FImages, bitmap);
    if (transparentColor != kClNone) {
        TBitmap mask;
        MakeMask(&mask, &bitmap, transparentColor, false);
        AddTo(name, FMasks, mask);
    }
}

void TBitmapList::Delete(const std::string& name) {
    RemoveFrom(name, FImages);
    RemoveFrom(name, FMasks);
}

void TBitmapList::Clear() {
    FMasks.Clear();
    FImages.Clear();
    FStore.Clear();
}

void TBitmapList::DeleteMask(const std::string& name) {
    RemoveFrom(name, FMasks);
}

void TBitmapList::SetMask(const std::string& name, TColor transparentColor) {
    if (!FImages.Exists(name)) return;
    TBitmap image, mask;
    GetBitmap(name, &image);
    MakeMask(&mask, &image, transparentColor, false);
    AddTo(name, FMasks, mask);
    NotifyClients(name);
}

void TBitmapList::Replace(const std::string& name, const TBitmap& bitmap) {
    RemoveFrom(name, FImages);
    AddTo(name, FImages, bitmap);
}

void TBitmapList::Rename(const std::string& oldName, const std::string& newName) {
    FImages.Rename(oldName, newName);
    FMasks.Rename(oldName, newName);
}

void TBitmapList::AddTo(const std::string& name, THash& map, const TBitmap& bitmap) {
    {
        TUpdating updating(*this);
        RemoveFrom(name, map);
        const std::int64_t pos = FStore.Size();
        if (pos + bitmap.FileSize() > std::numeric_limits<std::int32_t>::max())
            throw ECorruptData("bitmap store larger than its 32-bit offsets allow");
        FStore.SetPosition(pos);
        bitmap.SaveToStream(FStore);
        map.SetValue(name, static_cast<std::intptr_t>(pos));
    }
    NotifyClients(name);
}

void TBitmapList::RemoveFrom(const std::string& name, THash& map) {
    if (!map.Exists(name)) return;
    const std::intptr_t pos = map.GetValue(name);
    TBitmap old;
    GetFrom(name, &old, map); // checks the offset; leaves the store after the file
    const std::int64_t end = FStore.Position();
    const std::int64_t len = end - pos;
    auto& bytes = FStore.Bytes();
    bytes.erase(bytes.begin() + pos, bytes.begin() + end);
    FStore.SetPosition(0);
    map.Remove(name);
    ShiftOffsets(pos, len);
    NotifyClients(name);
}

void TBitmapList::ShiftOffsets(std::int64_t position, std::int64_t delta) {
    ShiftMapOffsets(FImages, position, delta);
    ShiftMapOffsets(FMasks, position, delta);
}

void TBitmapList::ShiftMapOffsets(THash& map, std::int64_t position, std::int64_t delta) {
    THashEntries entries;
    map.GetKeys(&entries);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].second > position)
            map.SetValueAt(static_cast<int>(i), static_cast<std::intptr_t>(entries[i].second - delta));
}

void TBitmapList::RegisterClient(IBitmapListClient* client) {
    if (!client) return;
    if (std::find(FClients.begin(), FClients.end(), client) == FClients.end()) FClients.push_back(client);
}

void TBitmapList::UnregisterClient(IBitmapListClient* client) {
    const auto it = std::find(FClients.begin(), FClients.end(), client);
    if (it != FClients.end()) FClients.erase(it);
}

void TBitmapList::RegisterClient(TComponent* component) {
    RegisterClient(dynamic_cast<IBitmapListClient*>(component));
}

void TBitmapList::UnregisterClient(TComponent* component) {
    if (auto* client = dynamic_cast<IBitmapListClient*>(component)) UnregisterClient(client);
}

void TBitmapList::SetUpdating(bool updating) {
    FUpdateCount += updating ? 1 : -1;
}

void TBitmapList::NotifyClient(const std::string&, IBitmapListClient* client) {
    if (client) client->Invalidate();
}

void TBitmapList::NotifyClients(const std::string& name) {
    if (FUpdateCount > 0) return;
    // A repaint may register or unregister clients: walk a copy and skip those gone.
    const std::vector<IBitmapListClient*> clients = FClients;
    std::vector<std::string> names;
    for (IBitmapListClient* client : clients) {
        if (std::find(FClients.begin(), FClients.end(), client) == FClients.end()) continue;
        names.clear();
        client->GetImageNames(names);
        for (const auto& n : names)
            if (SameName(n, name)) NotifyClient(name, client);
    }
}

void TBitmapList::WriteMap(THash& map, TStream& stream) {
    THashEntries entries;
    map.GetKeys(&entries);
    WriteInteger(stream, static_cast<std::int32_t>(entries.size()));
    for (const auto& [name, offset] : entries) {
        WriteString(stream, name);
        WriteInteger(stream, static_cast<std::int32_t>(offset));
    }
}

void TBitmapList::ReadMap(THash& map, TStream& stream) {
    const std::int32_t count = ReadInteger(stream);
    if (count < 0) throw ECorruptData("negative bitmap count");
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string name = ReadString(stream);
        const std::int32_t offset = ReadInteger(stream);
        map.SetValue(name, offset);
    }
}

void TBitmapList::WriteBitmaps(TStream& stream) {
    WriteMap(FImages, stream);
    WriteMap(FMasks, stream);
    WriteStore(stream);
}

void TBitmapList::ReadBitmaps(TStream& stream) {
    ReadMap(FImages, stream);
    ReadMap(FMasks, stream);
    ReadStore(stream);
}

void TBitmapList::WriteStore(TStream& stream) {
    stream.WriteBuffer(kSignature, 6);
    WriteString(stream, kVersion);
    WriteByte(stream, FCompressed ? 1 : 0);
    const auto& store = FStore.Bytes();
    if (FCompressed && !store.empty()) {
        const std::vector<std::uint8_t> packed = CompressBuffer(store.data(), store.size(), 2);
        WriteInteger(stream, static_cast<std::int32_t>(packed.size()));
        stream.WriteBuffer(packed.data(), packed.size());
    } else {
        WriteInteger(stream, static_cast<std::int32_t>(store.size()));
        if (!store.empty()) stream.WriteBuffer(store.data(), store.size());
    }
}

void TBitmapList::ReadRawStore(TStream& stream, std::int32_t length) {
    if (length < 0 || length > stream.Remaining())
        throw ECorruptData("bitmap store length past the end of the data");
    FStore.Clear();
    FStore.SetSize(static_cast<std::size_t>(length));
    if (length > 0) stream.ReadBuffer(FStore.Memory(), static_cast<std::size_t>(length));
    FStore.SetPosition(0);
}

void TBitmapList::ReadStore(TStream& stream) {
    const std::int64_t p = stream.Position();
    char signature[6] = {};
    // The old form may hold only a 4-byte length: a short read means "no signature".
    const std::size_t got = stream.Read(signature, sizeof signature);
    if (got == sizeof signature && std::memcmp(signature, kSignature, 6) == 0) {
        ReadString(stream); // version, not interpreted
        FCompressed = ReadByte(stream) != 0;
        const std::int32_t length = ReadInteger(stream);
        if (FCompressed && length > 0) {
            if (length > stream.Remaining())
                throw ECorruptData("bitmap store length past the end of the data");
            std::vector<std::uint8_t> packed(static_cast<std::size_t>(length));
            stream.ReadBuffer(packed.data(), packed.size());
            FStore.Clear();
            FStore.Bytes() = DecompressBuffer(packed.data(), packed.size());
            FStore.SetPosition(0);
        } else {
            ReadRawStore(stream, length);
        }
    } else {
        stream.SetPosition(p);
        ReadRawStore(stream, ReadInteger(stream));
    }
}
