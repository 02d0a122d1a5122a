#pragma once
// TBitmapList: named bitmaps, each with an optional transparency mask, kept as complete
// bitmap files back to back in one byte store and carried in the window definition as
// the binary property "Bitmaps". Controls showing its images register as clients and are
// asked to repaint when an image they list changes.
//
// "Bitmaps" property data (little-endian; string = int32 length + bytes):
//   int32 image count, then per image: name (string), offset (int32), ascending names
//   int32 mask count, then per mask: name (string), offset (int32)
//   "BmpLst"                6 bytes
//   "1.0.0.0"               string (4 + 7 bytes)
//   compressed flag         1 byte, 0 or 1
//   int32 data length n     then n bytes: the store, or its zlib stream when the flag is 1
//                           and the store is not empty
// The older form without signature holds only the data length and the raw store after
// the maps. Offsets are byte offsets into the uncompressed store.
//
// A non-visual component: the published property Compressed (default False) and the
// binary property "Bitmaps", always written, through ReadBitmaps/WriteBitmaps.
//
// Images is a design-time property that is never stored (it reads back empty): defc
// fills the list from bitmap files with it, one entry a line,
//   Images = (
//     'Left=Left.bmp'                  name=file: the image without mask
//     'GetFlashPlayer=gfp.bmp|$FF00FF' name=file|colour: also a mask from that colour
//   )                                  (a cl name, $BBGGRR hex or a decimal number)
// Relative files start at the current folder (defc runs in the definition's folder). A
// missing or unreadable file is reported in the error box and adds nothing.
#include "components/uBitmapListClient.h"
#include "components/uGraphUtils.h"
#include "components/uHash.h"
#include "store/uStreams.h"
#include "toolkit/uBitmap.h"
#include "toolkit/uClasses.h"

#include <string>
#include <vector>

class TBitmapList : public TComponent {
public:
    static constexpr const char* kPropertyName = "Bitmaps";
    static constexpr char kSignature[7] = "BmpLst";
    static constexpr const char* kVersion = "1.0.0.0";

    explicit TBitmapList(TComponent* owner = nullptr);
    // Detaches every client (SetBitmapList(nullptr) on each).
    ~TBitmapList() override;
    std::string ClassName() const override { return "TBitmapList"; }

    void GetProperties(TPropList& props) override;
    void DefineProperties(TFiler& filer) override;
    // Adds the images named by design-time entries (format above).
    void AddImageFiles(const std::vector<std::string>& entries);
    TBitmapList(const TBitmapList&) = delete;
    TBitmapList& operator=(const TBitmapList&) = delete;

    // The stored binary property.
    virtual void ReadBitmaps(TStream& stream);
    virtual void WriteBitmaps(TStream& stream);
    virtual void ReadMap(THash& map, TStream& stream);
    virtual void WriteMap(THash& map, TStream& stream);
    // Every offset above position in both maps decreases by delta.
    virtual void ShiftOffsets(std::int64_t position, std::int64_t delta);
    virtual void NotifyClient(const std::string& name, IBitmapListClient* client);
    // Stores bitmap under name (replacing an image of that name); unless transparentColor
    // is kClNone also stores a mask made from it (EInvalidBitmap for 15/16-bit and custom
    // formats, raised after the image itself has been stored).
    virtual void Add(const std::string& name, const TBitmap& bitmap, TColor transparentColor = kClNone);
    virtual void Delete(const std::string& name);
    // Empties both maps and the store, without notifying.
    virtual void Clear();
    virtual void DeleteMask(const std::string& name);
    virtual void SetMask(const std::string& name, TColor transparentColor);
    virtual void Replace(const std::string& name, const TBitmap& bitmap);
    virtual void Rename(const std::string& oldName, const std::string& newName);

    // Load the image (mask) into bitmap; an unknown name empties it; null is ignored.
    void GetBitmap(const std::string& name, TBitmap* bitmap);
    void GetMask(const std::string& name, TBitmap* bitmap);
    bool Exists(const std::string& name) const { return FImages.Exists(name); }

    void RegisterClient(IBitmapListClient* client);
    void UnregisterClient(IBitmapListClient* client);
    // The same for a component; one that is no client is ignored.
    void RegisterClient(TComponent* component);
    void UnregisterClient(TComponent* component);
    // Nesting counter: clients are notified only while it is 0 or below.
    void SetUpdating(bool updating);

    bool Compressed() const { return FCompressed; }
    void SetCompressed(bool value) { FCompressed = value; }

    const TMemoryStream& Store() const { return FStore; }
    std::int64_t StoreSize() const { return static_cast<std::int64_t>(FStore.Bytes().size()); }
    const THash& Images() const { return FImages; }
    const THash& Masks() const { return FMasks; }
    const std::vector<IBitmapListClient*>& Clients() const { return FClients; }
    int UpdateCount() const { return FUpdateCount; }

private:
    void GetFrom(const std::string& name, TBitmap* bitmap, THash& map);
    void AddTo(const std::string& name, THash& map, const TBitmap& bitmap);
    void RemoveFrom(const std::string& name, THash& map);
    void ShiftMapOffsets(THash& map, std::int64_t position, std::int64_t delta);
    void NotifyClients(const std::string& name);
    void ReadStore(TStream& stream);
    void WriteStore(TStream& stream);
    void ReadRawStore(TStream& stream, std::int32_t length);

    TMemoryStream FStore;
    std::vector<IBitmapListClient*> FClients;
    int FUpdateCount = 0;
    THash FImages;
    THash FMasks;
    bool FCompressed = false;
};
