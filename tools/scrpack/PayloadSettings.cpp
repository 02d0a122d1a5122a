#include "PayloadSettings.h"

#include "app/uDigest.h"

#include <algorithm>

namespace {

std::string AsString(const TItemType& item) {
    return std::string(item.Data.begin(), item.Data.end());
}

void Append(std::vector<std::uint8_t>& buffer, const TItemType& item) {
    buffer.insert(buffer.end(), item.Data.begin(), item.Data.end());
}

} // namespace

TPayloadSettings ApplyPayloadItems(const TItemTypes& items) {
    TPayloadSettings s;
    for (const TItemType& item : items) {
        const std::string& key = item.Name;
        if (key == "GUID")
            s.GUID = AsString(item);
        else if (key == "mxf")
            s.ExpectedDigest = AsString(item);
        else if (key == "mxl") {
            if (item.Data.size() >= 4)
                s.DigestLength = std::uint32_t(item.Data[0]) | std::uint32_t(item.Data[1]) << 8 |
                                 std::uint32_t(item.Data[2]) << 16 | std::uint32_t(item.Data[3]) << 24;
        } else if (key == "FlashVersion")
            s.FlashVersion = AsString(item);
        else if (key == "SCRName")
            s.SCRName = AsString(item);
        else if (key == "InstallerTitle")
            s.Title = AsString(item);
        else if (key == "InstallerLeftImage") {
            if (!item.Data.empty()) s.LeftImage = item.Data;
        } else if (key == "InstallerTopImage") {
            if (!item.Data.empty()) s.TopImage = item.Data;
        } else if (key == "InstallerForceSet") {
            if (!item.Data.empty()) s.ForceSet = item.Data[0] != 0;
        } else if (key == "InstallerVerCheck") {
            if (!item.Data.empty()) s.VerCheck = item.Data[0] != 0;
        } else if (key == "InstallerEULA")
            s.EULA = AsString(item);
        else if (key == "InstallerReadme")
            Append(s.ReadMeData, item);
        else if (key == "SCR")
            Append(s.SCRData, item);
    }
    return s;
}

TDigestVerdict CheckPayloadDigest(const TPayloadSettings& settings) {
    TDigestVerdict v;
    v.Covered = std::min<std::size_t>(settings.DigestLength, settings.SCRData.size());
    v.Computed = PayloadDigestText(settings.SCRData.data(), v.Covered);
    v.Pass = v.Computed == settings.ExpectedDigest;
    return v;
}
