#include "app/uStartup.h"

#include "app/uDigest.h"
#include "app/uInstall.h"
#include "store/uErrors.h"
#include "store/uImageBinding.h"
#include "store/uLittleEndian.h"
#include "store/uPayloadFormat.h"
#include "store/uText.h"
#include "store/uZCompress.h"

#include <algorithm>
#include <exception>
#include <new>
#include <optional>
#include <utility>

namespace {

// The bytes of an item's data that really exist: its size, bounded by the block it owns.
std::string_view ItemBytes(const TItemType& item) {
    std::size_t n = item.Size > 0 ? std::min(static_cast<std::size_t>(item.Size), item.Data.size()) : 0;
    return {reinterpret_cast<const char*>(item.Data.data()), n};
}

void Append(std::vector<std::uint8_t>& buffer, std::string_view bytes) {
    buffer.insert(buffer.end(), bytes.begin(), bytes.end());
}

} // namespace

void TPayloadSettings::ResetSettings(const std::string& designedCaption) {
    FOutOfMemory = false;
    FSCRData.clear();
    FReadMeData.clear();
    FSCRName.clear();
    FEULA.clear();
    FReadMePath.clear();
    FGUID.clear();
    FExpectedDigest.clear();
    FDigestLength = 0;
    FTitle = designedCaption;
    FForceSet = false;
    FVerCheck = true;
    FNeedsPlayer = true;
    FVersion.clear();
    FPublisher.clear();
    FFlashVersion.clear();
    FLeftImage.clear();
    FTopImage.clear();
    FSignedUninstaller.clear();
    FScreenSaverLoaded = true;
}

bool TPayloadSettings::LoadPayloadSettings(const TPathName& exePath, const std::string& designedCaption,
                                           std::string* error, const TSha256& binding, bool withScreenSaver) {
    ResetSettings(designedCaption);
    TItemTypes items;
    try {
        std::vector<std::uint8_t> container = ReadContainerBytes(exePath);
        if (!imagebinding::IsUnbound(binding.data()) && Sha256(container.data(), container.size()) != binding)
            throw ECorruptData("The item container is not the one this program was built with");
        ParseItemsExcept(container, items,
                         withScreenSaver ? std::string_view() : std::string_view(payload::kScr));
        FScreenSaverLoaded = withScreenSaver;
        container.clear();
        container.shrink_to_fit();
        ApplyItems(std::move(items));
    } catch (const std::exception& e) {
        // ECorruptData, EZLibError, EReadError, std::bad_alloc, ...: a container that
        // cannot be trusted or held as a whole is not used at all.
        FreeItems(items);
        ResetSettings(designedCaption);
        FOutOfMemory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
        if (error) *error = e.what();
        return false;
    }
    FreeItems(items);
    if (error) error->clear();
    return true;
}

void TPayloadSettings::ApplyItems(const TItemTypes& items) {
    for (const TItemType& item : items) ApplyItem(item);
}

void TPayloadSettings::ApplyItems(TItemTypes&& items) {
    for (TItemType& item : items) {
        // The first "SCR" item (the whole inflated screensaver) is taken over, not copied:
        // start-up holds it once.
        if (item.Name == payload::kScr && FSCRData.empty()) {
            item.Data.resize(ItemBytes(item).size());
            FSCRData = std::move(item.Data);
            item.Data.clear();
        } else {
            ApplyItem(item);
        }
    }
}

void TPayloadSettings::ApplyItem(const TItemType& item) {
    const std::string_view data = ItemBytes(item);
    const std::string& name = item.Name;
    auto asBoolean = [&](bool& field) {
        if (!data.empty()) field = data[0] != 0;
    };
    if (name == payload::kGuid)
        FGUID.assign(data);
    else if (name == payload::kDigest)
        FExpectedDigest.assign(data);
    else if (name == payload::kDigestLength) {
        if (data.size() >= 4) FDigestLength = le::Get32(reinterpret_cast<const std::uint8_t*>(data.data()));
    } else if (name == payload::kFlashVersion)
        FFlashVersion.assign(data);
    else if (name == payload::kScrName)
        FSCRName.assign(data);
    else if (name == payload::kTitle)
        FTitle.assign(data);
    else if (name == payload::kLeftImage) {
        if (!data.empty()) FLeftImage.assign(data.begin(), data.end());
    } else if (name == payload::kTopImage) {
        if (!data.empty()) FTopImage.assign(data.begin(), data.end());
    } else if (name == payload::kSignedUninstaller) {
        if (!data.empty()) FSignedUninstaller.assign(data.begin(), data.end());
    } else if (name == payload::kForceSet)
        asBoolean(FForceSet);
    else if (name == payload::kVerCheck)
        asBoolean(FVerCheck);
    else if (name == payload::kNeedsPlayer)
        asBoolean(FNeedsPlayer);
    else if (name == payload::kVersion)
        FVersion.assign(data);
    else if (name == payload::kPublisher)
        FPublisher.assign(data);
    else if (name == payload::kEula)
        FEULA.assign(data);
    else if (name == payload::kReadMe)
        Append(FReadMeData, data);
    else if (name == payload::kScr)
        Append(FSCRData, data);
}

std::size_t TPayloadSettings::DigestedLength() const {
    return std::min<std::size_t>(FDigestLength, FSCRData.size());
}

std::string TPayloadSettings::ComputedDigest() const {
    return PayloadDigestText(FSCRData.data(), DigestedLength());
}

bool TPayloadSettings::IsPayloadIntact() const {
    return ComputedDigest() == FExpectedDigest;
}

bool TPayloadSettings::HasUnsafeName() const {
    const TNameFault fault = CheckScreenSaverName(FSCRName).Fault;
    return fault != TNameFault::None && fault != TNameFault::Empty;
}

bool TPayloadSettings::SignedUninstallerFits() const {
    if (FSignedUninstaller.empty()) return true;
    const std::vector<std::uint8_t>& file = FSignedUninstaller;
    const itemlayout::TContainerPlace place = itemlayout::LocateContainerInMemory(file.data(), file.size());
    if (place.Place != itemlayout::TPlace::Found) return false;
    const auto start = file.begin() + static_cast<std::ptrdiff_t>(place.BlockStart);
    const std::vector<std::uint8_t> container(
        start, start + static_cast<std::ptrdiff_t>(place.BlockLength + kContainerTailSize));
    TItemTypes items;
    try {
        ParseItems(container, items);
    } catch (const std::exception&) {
        return false;
    }
    const auto guid = std::find_if(items.rbegin(), items.rend(),
                                   [](const TItemType& i) { return i.Name == payload::kGuid; });
    return guid != items.rend() && std::string(guid->Data.begin(), guid->Data.end()) == FGUID;
}

namespace {
// ERROR_NOT_ENOUGH_MEMORY: the cause the user is told when the container cannot be held.
constexpr unsigned long kOutOfMemoryCode = 8;
} // namespace

TStartupVerdict TPayloadSettings::IntegrityVerdict() const {
    if (FOutOfMemory) return {TInstallResult::Unexpected, {}, "container: memory ran out", kOutOfMemoryCode};
    const std::string span =
        std::to_string(DigestedLength()) + " of " + std::to_string(FSCRData.size()) + " bytes";
    if (FScreenSaverLoaded) {
        const std::string computed = ComputedDigest();
        if (computed != FExpectedDigest)
            return {TInstallResult::InvalidPayload,
                    {},
                    "digest: FAIL (expected \"" + FExpectedDigest + "\", computed \"" + computed +
                        "\" over " + span + ")"};
    }
    if (HasUnsafeName())
        return {TInstallResult::InvalidPayload, {}, "SCRName: FAIL (not one plain file name)"};
    if (!SignedUninstallerFits())
        return {TInstallResult::InvalidPayload,
                {},
                std::string(payload::kSignedUninstaller) + ": FAIL (its container does not carry this GUID)"};
    if (!FScreenSaverLoaded) return {TInstallResult::Installed, {}, "digest: left to the machine-wide step"};
    return {TInstallResult::Installed, {}, "digest: pass (" + span + " covered)"};
}

TStartupVerdict TPayloadSettings::StartupVerdict(IPlayerProbe& probe) const {
    return PlayerVerdict(IntegrityVerdict(), probe);
}

TStartupVerdict TPayloadSettings::PlayerVerdict(TStartupVerdict verdict, IPlayerProbe& probe) const {
    if (!verdict.Welcome()) return verdict;
    if (!FNeedsPlayer) {
        verdict.Why += "; player not needed";
    } else if (PlayerGatePasses(probe, FFlashVersion, FVerCheck)) {
        verdict.Why += "; player present";
    } else {
        verdict = {TInstallResult::PlayerMissing, FFlashVersion,
                   verdict.Why + "; player missing or older than \"" + FFlashVersion + "\""};
    }
    return verdict;
}

bool PlayerGatePasses(IPlayerProbe& probe, const std::string& requiredVersion, bool verCheck) {
    const std::optional<std::string> installed = probe.InstalledVersion();
    if (!installed) return false;
    return !verCheck || IsVersionAtLeast(*installed, requiredVersion);
}

std::string FormatMessageText(std::string_view messageTemplate, std::string_view arg) {
    std::size_t pos = Find932(messageTemplate, "%s");
    if (pos == std::string_view::npos) return std::string(messageTemplate);
    std::string out(messageTemplate.substr(0, pos));
    out += arg;
    out += messageTemplate.substr(pos + 2);
    return out;
}
