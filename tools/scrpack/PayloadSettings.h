#pragma once
// The installer's settings as it takes them out of its container: each item whose name
// is a known key is converted, in container order (a later item replaces an earlier
// string, number or Boolean; "SCR" and "InstallerReadme" data are appended). Items too
// short for their conversion (a Boolean without data, "mxl" under four bytes) count as
// absent.
#include "store/uExeAdder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TPayloadSettings {
    std::vector<std::uint8_t> SCRData;
    std::vector<std::uint8_t> ReadMeData;
    std::string SCRName;
    std::string EULA;
    std::string GUID;
    std::string ExpectedDigest;
    std::uint32_t DigestLength = 0;
    std::optional<std::string> Title; // absent: the installer's designed caption
    std::string FlashVersion;
    bool ForceSet = false;
    bool VerCheck = true;
    std::vector<std::uint8_t> LeftImage; // last non-empty item
    std::vector<std::uint8_t> TopImage;
};

TPayloadSettings ApplyPayloadItems(const TItemTypes& items);

// The integrity check: digest over the first min(DigestLength, SCRData size) bytes,
// compared with ExpectedDigest exactly.
struct TDigestVerdict {
    bool Pass = false;
    std::size_t Covered = 0;
    std::string Computed;
};
TDigestVerdict CheckPayloadDigest(const TPayloadSettings& settings);
