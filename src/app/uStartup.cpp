#include "app/uStartup.h"

#include "app/uDigest.h"
#include "app/uInstall.h"
#include "platform/uText.h"
#include "store/uErrors.h"
#include "store/uImageBinding.h"
#include "store/uZCompress.h"

#include <algorithm>
#include <exception>
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
    FSCRData.clear();
    FReadMeData.clear();
    FSCRName.clear();
    FEULA.clear();
    FReadMePath.clear();
    FSCRPath.clear();
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
}

bool TPayloadSettings::LoadPayloadSettings(const TPathName& exePath, const std::string& designedCaption,
                                           std::string* error, const TSha256& binding) {
    ResetSettings(designedCaption);
    TItemTypes items;
    try {
        std::vector<std::uint8_t> container = ReadContainerBytes(exePath);
        if (!imagebinding::IsUnbound(binding.data()) && Sha256(container.data(), container.size()) != binding)
            throw ECorruptData("The item container is not the one this program was built with");
        ParseItems(container, items);
        container.clear();
        container.shrink_to_fit();
        ApplyItems(std::move(items));
    } catch (const std::exception& e) {
        // ECorruptData, EZLibError, EReadError, std::bad_alloc, ...: a container that
        // cannot be trusted or held as a whole is not used at all.
        FreeItems(items);
        ResetSettings(designedCaption);
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
        if (item.Name == "SCR" && FSCRData.empty()) {
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
    if (name == "GUID")
        FGUID.assign(data);
    else if (name == "mxf")
        FExpectedDigest.assign(data);
    else if (name == "mxl") {
        if (data.size() >= 4) {
            const auto* p = reinterpret_cast<const std::uint8_t*>(data.data());
            FDigestLength = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                            std::uint32_t(p[3]) << 24;
        }
    } else if (name == "FlashVersion")
        FFlashVersion.assign(data);
    else if (name == "SCRName")
        FSCRName.assign(data);
    else if (name == "InstallerTitle")
        FTitle.assign(data);
    else if (name == "InstallerLeftImage") {
        if (!data.empty()) FLeftImage.assign(data.begin(), data.end());
    } else if (name == "InstallerTopImage") {
        if (!data.empty()) FTopImage.assign(data.begin(), data.end());
    } else if (name == "InstallerForceSet")
        asBoolean(FForceSet);
    else if (name == "InstallerVerCheck")
        asBoolean(FVerCheck);
    else if (name == "InstallerNeedsPlayer")
        asBoolean(FNeedsPlayer);
    else if (name == "InstallerVersion")
        FVersion.assign(data);
    else if (name == "InstallerPublisher")
        FPublisher.assign(data);
    else if (name == "InstallerEULA")
        FEULA.assign(data);
    else if (name == "InstallerReadme")
        Append(FReadMeData, data);
    else if (name == "SCR")
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

TStartupVerdict TPayloadSettings::IntegrityVerdict() const {
    if (!IsPayloadIntact() || HasUnsafeName()) return TStartupVerdict::Failure(SInvalidData, {}, false);
    return TStartupVerdict::WelcomePage();
}

TStartupVerdict TPayloadSettings::StartupVerdict(IPlayerProbe& probe) const {
    if (const TStartupVerdict integrity = IntegrityVerdict(); !integrity.Welcome) return integrity;
    if (FNeedsPlayer && !PlayerGatePasses(probe, FFlashVersion, FVerCheck))
        return TStartupVerdict::Failure(SFlashMissing, FFlashVersion, true);
    return TStartupVerdict::WelcomePage();
}

bool PlayerGatePasses(IPlayerProbe& probe, const std::string& requiredVersion, bool verCheck) {
    if (!probe.IsFlashPlayerInstalled()) return false;
    if (probe.IsFlashVersionOK(requiredVersion)) return true;
    return !verCheck;
}

std::string FormatMessageText(std::string_view messageTemplate, std::string_view arg) {
    std::size_t pos = Find932(messageTemplate, "%s");
    if (pos == std::string_view::npos) return std::string(messageTemplate);
    std::string out(messageTemplate.substr(0, pos));
    out += arg;
    out += messageTemplate.substr(pos + 2);
    return out;
}
