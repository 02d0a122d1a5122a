// The bitmap list's "Bitmaps" property on arbitrary bytes: reading may raise the store's own
// errors, nothing else; every image and mask the maps name then loads or is refused as
// corrupt, and what was read is written and read back with the same store. (The maps are
// not compared: names equal but for case keep no fixed order among themselves.)
#include "components/uBitmapList.h"
#include "store/uErrors.h"

#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TBitmapList list;
    TMemoryStream stream(std::vector<std::uint8_t>(data, data + size));
    try {
        list.ReadBitmaps(stream);
    } catch (const Exception&) {
        return 0;
    }
    for (const THash* map : {&list.Images(), &list.Masks()}) {
        const std::vector<std::string> names = map->Keys();
        for (const std::string& name : names) {
            TBitmap bitmap;
            try {
                if (map == &list.Images())
                    list.GetBitmap(name, &bitmap);
                else
                    list.GetMask(name, &bitmap);
            } catch (const Exception&) {
            }
        }
    }
    TMemoryStream written;
    list.WriteBitmaps(written);
    written.SetPosition(0);
    TBitmapList back;
    back.ReadBitmaps(written);
    if (back.Store().Bytes() != list.Store().Bytes()) __builtin_trap();
    return 0;
}
