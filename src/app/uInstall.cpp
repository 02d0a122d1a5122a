#include "app/uInstall.h"

#include "platform/uVersionRecord.h"
#include "store/uText.h"

#include <cstdint>
#include <utility>

TNameCheck CheckScreenSaverName(std::string_view name) {
    if (name.empty()) return {TNameFault::Empty};
    if (name.size() > kMaxScreenSaverName) return {TNameFault::TooLong};
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(name[i]);
        if (IsLeadByte932(b)) {
            const std::uint8_t t = i + 1 < name.size() ? static_cast<std::uint8_t>(name[i + 1]) : 0;
            if (t < 0x40 || t == 0x7F || t > 0xFC) return {TNameFault::BadByte};
            ++i;
        } else if (b < 0x20) {
            return {TNameFault::ControlChar, name[i]};
        } else if (b >= 0x80 && (b < 0xA1 || b > 0xDF)) { // only half-width katakana stand alone
            return {TNameFault::BadByte};
        } else if (std::string_view("\\/:*?\"<>|").find(name[i]) != std::string_view::npos) {
            return {TNameFault::ForbiddenChar, name[i]};
        }
    }
    if (name == "." || name == "..") return {TNameFault::DotName};
    // Neither '.' nor ' ' is ever a trail byte.
    if (name.back() == '.' || name.back() == ' ') return {TNameFault::TrailingDotOrSpace};
    // The system takes "CON", "con.txt" and "CON .txt" alike for the device.
    std::string stem = UpperAscii932(name.substr(0, FindChar932(name, '.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : kDevices) {
        if (stem == device) return {TNameFault::DeviceName};
    }
    if (stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '1' &&
        stem[3] <= '9')
        return {TNameFault::DeviceName};
    return {};
}

bool IsLocalDrivePath(std::wstring_view path) {
    if (path.size() < 3) return false;
    const wchar_t drive = path[0];
    if (!((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z'))) return false;
    if (path[1] != L':' || (path[2] != L'\\' && path[2] != L'/')) return false;
    return path.find_first_of(L"*?\"<>|:", 2) == std::wstring_view::npos;
}

TInstallPaths InstallPaths(std::string_view destination, std::string_view scrName) {
    TInstallPaths p;
    p.Folder = IncludeTrailingBackslash932(destination);
    std::string base = p.Folder + std::string(scrName);
    p.SCRPath = base + payload::kScrSuffix;
    p.ReadMePath = base + payload::kReadMeSuffix;
    p.Uninstaller = base + payload::kUninstallerSuffix;
    return p;
}

TUninstallEntry UninstallEntry(std::string_view scrName, std::string_view uninstallerPath) {
    std::string key = kUninstallRoot + std::string(scrName) + "\\";
    return {{key + payload::kUninstallString, "\"" + std::string(uninstallerPath) + "\""},
            {key + payload::kDisplayName, std::string(scrName) + kScreenSaverWord}};
}

TListedIdentity ListedIdentity(const TPayloadSettings& settings) {
    TListedIdentity identity{settings.FVersion, settings.FPublisher};
    if (identity.Version.empty() || identity.Publisher.empty()) {
        const TVersionRecord record = VersionRecordOf(settings.FSCRData.data(), settings.FSCRData.size());
        if (identity.Version.empty()) identity.Version = record.ProductVersion;
        if (identity.Publisher.empty()) identity.Publisher = record.CompanyName;
    }
    // Shown in the list of programs and logged: no value may break a line there.
    identity.Version = EscapeControls932(identity.Version);
    identity.Publisher = EscapeControls932(identity.Publisher);
    return identity;
}

std::vector<TUninstallValue> UninstallDetailValues(std::string_view scrName, const TInstallPaths& paths,
                                                   const TUninstallDetails& details) {
    const std::string key = kUninstallRoot + std::string(scrName) + "\\";
    auto text = [&](const char* name, std::string data) {
        return TUninstallValue{key + name, std::move(data)};
    };
    auto number = [&](const char* name, std::uint32_t n) { return TUninstallValue{key + name, {}, true, n}; };
    std::vector<TUninstallValue> values;
    values.push_back(text(payload::kDisplayIcon, paths.SCRPath));
    if (!details.Version.empty()) values.push_back(text(payload::kDisplayVersion, details.Version));
    if (!details.Publisher.empty()) values.push_back(text(payload::kPublisherValue, details.Publisher));
    values.push_back(text(payload::kInstallLocation, paths.Folder));
    const std::uint64_t kib = details.FileBytes / 1024 + (details.FileBytes % 1024 ? 1 : 0);
    values.push_back(
        number(payload::kEstimatedSize, kib > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kib)));
    values.push_back(number(payload::kNoModify, 1));
    values.push_back(number(payload::kNoRepair, 1));
    values.push_back(text(payload::kQuietUninstallString, "\"" + paths.Uninstaller + "\" /S"));
    std::string date;
    for (auto [n, digits] : {std::pair{details.Year, 4}, {details.Month, 2}, {details.Day, 2}})
        for (int unit = digits == 4 ? 1000 : 10; unit > 0; unit /= 10) date += char('0' + (n / unit) % 10);
    values.push_back(text(payload::kInstallDate, date));
    values.push_back(number(payload::kReadMeInstalled, details.ReadMe ? 1 : 0));
    return values;
}
