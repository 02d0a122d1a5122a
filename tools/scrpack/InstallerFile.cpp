#include "InstallerFile.h"

#include "Errors.h"
#include "Text.h"

#include "platform/uSha256.h"
#include "store/uImageBinding.h"
#include "store/uStreams.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace scrpack {

Bytes ReadInput(const std::string& utf8Path, const std::string& option) {
    const fs::path p = PathArg(utf8Path);
    std::error_code ec;
    if (!fs::is_regular_file(p, ec))
        throw TInputError((option.empty() ? "" : option + ": ") + "\"" + utf8Path +
                          "\" is not a readable file");
    return ReadWholeFile(p);
}

TInstallerFile ReadInstaller(const std::string& utf8Path, const std::string& option) {
    TInstallerFile file;
    file.Data = ReadInput(utf8Path, option);
    file.Place = itemlayout::LocateContainerInMemory(file.Data.data(), file.Data.size());
    return file;
}

TItemTypes ItemsOf(const TInstallerFile& file) {
    TItemTypes items;
    ParseItems(ContainerBytesAt(file.Data, file.Place), items);
    return items;
}

TPayloadSettings SettingsOf(const TItemTypes& items) {
    TPayloadSettings s;
    s.ResetSettings(kDesignedCaption);
    s.ApplyItems(items);
    return s;
}

TBindingCheck BindingOf(const TInstallerFile& file) {
    const itemlayout::TContainerPlace& place = file.Place;
    if (place.Place != itemlayout::TPlace::Found) return {}; // reported as no or a damaged container
    const std::uint8_t* data = file.Data.data();
    const auto start = static_cast<std::size_t>(place.BlockStart);
    const std::size_t field = imagebinding::FindHashField(data, imagebinding::ImageEnd(data, start));
    if (field == imagebinding::npos) return {true, "binding: none (the program has no binding field)"};
    if (imagebinding::IsUnbound(data + field))
        return {true, "binding: unbound (the field was never written; the installer does not check it)"};
    const TSha256 hash =
        Sha256(data + start, static_cast<std::size_t>(place.BlockLength + kContainerTailSize));
    if (std::equal(hash.begin(), hash.end(), data + field))
        return {true, "binding: pass (the container is the one bound to the program image)"};
    return {
        false,
        "binding: FAIL (the container is not the one bound to the program image; the installer refuses it)"};
}

itemlayout::TCertificateTable SignatureOf(const Bytes& program) {
    return itemlayout::LocateContainerInMemory(program.data(), program.size()).Signature;
}

} // namespace scrpack
