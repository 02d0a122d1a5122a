// scrpack winget: the three files of the Windows Package Manager manifest of an installer,
// every value taken from the installer as it registers itself and checked against the schema.
#include "Args.h"
#include "Errors.h"
#include "InstallerFile.h"
#include "ScrPack.h"
#include "Text.h"
#include "Verbs.h"
#include "Yaml.h"

#include "app/uInstall.h"
#include "app/uOutcomes.h"
#include "platform/uPeImage.h"
#include "platform/uSha256.h"
#include "store/uHexText.h"
#include "store/uStreams.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace scrpack {

namespace {

const char* const kWingetHelp =
    "usage: scrpack winget INSTALLER --id ID --url URL --license L --description D\n"
    "                      [--moniker M] -o DIR\n"
    "\n"
    "Writes the three files of a multi-file Windows Package Manager manifest (version\n"
    "1.10.0) for INSTALLER into DIR: ID.yaml, ID.installer.yaml, ID.locale.ja-JP.yaml.\n"
    "\n"
    "  --id ID            package identifier, Publisher.Package\n"
    "  --url URL          where INSTALLER will be downloaded from (http or https)\n"
    "  --license L        the licence, such as Freeware or Proprietary\n"
    "  --description D    a short description (3 to 256 characters)\n"
    "  --moniker M        the package's short name\n"
    "  -o DIR             the folder to write to (made when missing)\n"
    "\n"
    "Taken from INSTALLER: its SHA-256, its architecture, the version, publisher and\n"
    "name it registers in the list of installed programs (\"InstallerVersion\", else\n"
    "the screensaver's version record; the entry's name is the uninstall key), its\n"
    "switches (/S, /D=, /LOG=) and every exit code of an unattended run. One installer\n"
    "entry per install scope: machine (/ALLUSERS; it elevates itself) and user\n"
    "(/CURRENTUSER; no elevation). Sign INSTALLER before: the hash is of the file as\n"
    "it will be downloaded. A value the schema forbids (too long, wrong form) is an\n"
    "error, and nothing is written.\n";

// Characters (code points) of UTF-8 text, as the schema counts them.
std::size_t Characters(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<std::uint8_t>(c) & 0xC0) != 0x80; }));
}

void CheckLength(const std::string& utf8, std::size_t min, std::size_t max, const std::string& what) {
    if (InvalidUtf8At(utf8) != std::string::npos) throw TInputError(what + " is not valid UTF-8");
    const std::size_t n = Characters(utf8);
    if (n < min || n > max)
        throw TInputError(what + " must have " + std::to_string(min) + " to " + std::to_string(max) +
                          " characters, not " + std::to_string(n) + " (\"" + utf8 + "\")");
}

// No \ / : * ? " < > | and no control character: the schema's pattern of versions.
bool HasForbiddenVersionChar(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        return static_cast<std::uint8_t>(c) < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr;
    });
}

// Publisher.Package: 2 to 8 parts of 1 to 32 characters, none a dot, a blank or one of the
// version's forbidden characters.
void CheckPackageIdentifier(const std::string& id) {
    CheckLength(id, 1, 128, "--id");
    std::size_t parts = 0;
    for (std::size_t start = 0;;) {
        const std::size_t dot = id.find('.', start);
        const std::string part = id.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        const bool blank = std::any_of(part.begin(), part.end(),
                                       [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
        if (part.empty() || Characters(part) > 32 || blank || HasForbiddenVersionChar(part))
            throw TUsageError("--id must be Publisher.Package: 2 to 8 parts separated by dots, each 1 to 32 "
                              "characters without blanks or \\ / : * ? \" < > |");
        ++parts;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts < 2 || parts > 8)
        throw TUsageError("--id must be Publisher.Package: 2 to 8 parts separated by dots");
}

bool IsHttpUrl(const std::string& url) {
    const std::size_t colon = url.find("://");
    if (colon == std::string::npos || url.size() <= colon + 3) return false;
    std::string scheme = url.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return (scheme == "http" || scheme == "https") && url.find_first_of("\r\n", colon) == std::string::npos;
}

std::string ArchitectureOf(const Bytes& installer, const std::string& what) {
    const std::optional<std::uint16_t> machine = peimage::Machine(installer.data(), installer.size());
    if (!machine) throw TInputError(what + " is not a Windows program");
    switch (*machine) {
    case peimage::kMachineI386:
        return "x86";
    case peimage::kMachineAmd64:
        return "x64";
    case peimage::kMachineArm64:
        return "arm64";
    }
    throw TInputError(what + " is built for a machine the package manager does not know (" +
                      std::to_string(*machine) + ")");
}

// The three files of the manifest, as text; every value checked against the schema first.
struct TManifest {
    std::string Version, Installer, Locale;
};

constexpr char kManifestVersion[] = "1.10.0";
constexpr char kManifestLocale[] = "ja-JP";

// The installer's install scopes, each chosen by its switch: for all users (the elevated step, the
// installer's own default, so listed first) and for the current user only (no administrator; its
// own folder and uninstall entry).
struct TScopeEntry {
    const char* Scope;
    const char* Switch;
    const char* Elevation;
};
constexpr TScopeEntry kScopeEntries[] = {
    {"machine", "/ALLUSERS", "elevatesSelf"},
    {"user", "/CURRENTUSER", "elevationProhibited"},
};

std::string ManifestHeader(const char* type) {
    return std::string("# Written by scrpack winget\n# yaml-language-server: "
                       "$schema=https://aka.ms/winget-manifest.") +
           type + "." + kManifestVersion + ".schema.json\n\n";
}

int Winget(const TArgs& a, std::ostream& out, std::ostream&) {
    ExpectPositional(a, 1, "INSTALLER");
    const std::string installerPath = a.Positional[0];
    const std::string id = a.Required("--id"), url = a.Required("--url"), license = a.Required("--license"),
                      description = a.Required("--description"), dir = a.Required("-o");
    const std::optional<std::string> moniker = a.Get("--moniker");
    CheckPackageIdentifier(id);
    if (!IsHttpUrl(url) || Characters(url) > 2048)
        throw TUsageError("--url must be an http:// or https:// address of at most 2048 characters");
    CheckLength(license, 3, 512, "--license");
    CheckLength(description, 3, 256, "--description");
    if (moniker) CheckLength(*moniker, 1, 40, "--moniker");
    if (dir.empty()) throw TUsageError("-o is empty");

    // The installer as the installer itself would take it.
    const TInstallerFile file = ReadInstaller(installerPath, "INSTALLER");
    const Bytes& installer = file.Data;
    const TPayloadSettings s = SettingsOf(ItemsOf(file));
    const TStartupVerdict verdict = s.IntegrityVerdict();
    // The binding is looked at once the data passes.
    const TBindingCheck binding = verdict.Welcome() ? BindingOf(file) : TBindingCheck{};
    if (!verdict.Welcome() || !binding.Holds)
        throw TInputError("\"" + installerPath + "\" fails the installer's own check (" +
                          AsUtf8(verdict.Why) + "; " + binding.Line + ")");

    // What the list of installed programs will show, by the entry's own rules.
    const TListedIdentity identity = ListedIdentity(s);
    if (identity.Version.empty())
        throw TInputError("\"" + installerPath +
                          "\" registers no version: build it with --version, or give the "
                          "screensaver a version record");
    if (identity.Publisher.empty())
        throw TInputError("\"" + installerPath +
                          "\" registers no publisher: build it with --publisher, or give the "
                          "screensaver a version record with a company name");
    const std::string version = Utf8Of(identity.Version, "the version");
    const std::string publisher = Utf8Of(identity.Publisher, "the publisher");
    const std::string displayName = Utf8Of(UninstallEntry(s.FSCRName, {}).DisplayName.Data, "the name");
    const std::string productCode = Utf8Of(s.FSCRName, "SCRName");
    CheckLength(version, 1, 128, "the version \"" + version + "\"");
    if (HasForbiddenVersionChar(version))
        throw TInputError("the version \"" + version +
                          "\" holds a character a package version cannot: \\ / : * ? \" < > |");
    CheckLength(publisher, 2, 256, "the publisher");
    CheckLength(displayName, 2, 256, "the name in the list of installed programs");
    CheckLength(productCode, 1, 255, "the uninstall key's name");
    const std::string architecture = ArchitectureOf(installer, "\"" + installerPath + "\"");

    const std::string head =
        "PackageIdentifier: " + YamlQuoted(id) + "\nPackageVersion: " + YamlQuoted(version) + "\n";
    const std::string tail = std::string("ManifestVersion: ") + kManifestVersion + "\n";
    TManifest m;
    m.Version = ManifestHeader("version") + head + "DefaultLocale: " + kManifestLocale +
                "\nManifestType: version\n" + tail;

    std::string codes;
    for (TSetupExit code : kFailureExits)
        codes += "- InstallerReturnCode: " + std::to_string(static_cast<int>(code)) +
                 "\n  ReturnResponse: " + PackageManagerResponse(code) + "\n";
    // One entry per install scope, all the same file: the switches at the root serve every entry,
    // and each entry adds its scope's switch as Custom.
    const std::string sha256 = YamlQuoted(
        hextext::Text<std::string>(Sha256(installer.data(), installer.size()), hextext::TLetters::Upper));
    std::string installers;
    // The lines of the document as they are written.
    // clang-format off
    for (const TScopeEntry& scope : kScopeEntries)
        installers += "- Architecture: " + architecture + "\n"
                      "  InstallerUrl: " + YamlQuoted(url) + "\n"
                      "  InstallerSha256: " + sha256 + "\n"
                      "  Scope: " + scope.Scope + "\n"
                      "  InstallerSwitches:\n"
                      "    Custom: " + scope.Switch + "\n"
                      "  ElevationRequirement: " + scope.Elevation + "\n";
    m.Installer = ManifestHeader("installer") + head +
                  "InstallerType: exe\n"
                  "InstallModes:\n- interactive\n- silent\n- silentWithProgress\n"
                  "InstallerSwitches:\n"
                  "  Silent: /S\n"
                  "  SilentWithProgress: /S\n"
                  "  InstallLocation: /D=<INSTALLPATH>\n"
                  "  Log: /LOG=\"<LOGPATH>\"\n"
                  "ExpectedReturnCodes:\n" + codes +
                  "AppsAndFeaturesEntries:\n"
                  "- DisplayName: " + YamlQuoted(displayName) + "\n"
                  "  Publisher: " + YamlQuoted(publisher) + "\n"
                  "  DisplayVersion: " + YamlQuoted(version) + "\n"
                  "  ProductCode: " + YamlQuoted(productCode) + "\n"
                  "Installers:\n" + installers +
                  "ManifestType: installer\n" + tail;
    // clang-format on
    m.Locale = ManifestHeader("defaultLocale") + head + "PackageLocale: " + kManifestLocale + "\n" +
               "Publisher: " + YamlQuoted(publisher) + "\n" + "PackageName: " + YamlQuoted(displayName) +
               "\n" + "License: " + YamlQuoted(license) + "\n" +
               "ShortDescription: " + YamlQuoted(description) + "\n" +
               (moniker ? "Moniker: " + YamlQuoted(*moniker) + "\n" : std::string()) +
               "ManifestType: defaultLocale\n" + tail;

    // The folders this run makes go again when it fails, innermost first (a folder that
    // holds anything stays).
    struct TMadeFolders {
        std::vector<fs::path> Paths;
        bool Keep = false;
        ~TMadeFolders() {
            std::error_code e;
            if (!Keep)
                for (const fs::path& p : Paths)
                    if (fs::is_directory(fs::symlink_status(p, e))) fs::remove(p, e);
        }
    } made;
    const fs::path folder = PathArg(dir);
    std::error_code ec;
    for (fs::path p = folder; !p.empty() && fs::symlink_status(p, ec).type() == fs::file_type::not_found;
         p = p.parent_path()) {
        made.Paths.push_back(p);
        if (p == p.parent_path()) break;
    }
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec))
        throw TInputError("-o: \"" + dir + "\" is not a folder that can be made");
    // All three or none: a package manager would take a new version file beside an old
    // installer file.
    const std::pair<fs::path, const std::string*> files[] = {
        {folder / PathArg(id + ".yaml"), &m.Version},
        {folder / PathArg(id + ".installer.yaml"), &m.Installer},
        {folder / PathArg(id + ".locale." + kManifestLocale + ".yaml"), &m.Locale},
    };
    std::vector<TFileWrite> writes;
    for (const auto& [path, text] : files) writes.push_back({path, text->data(), text->size()});
    WriteFilesTogether(writes);
    made.Keep = true;
    for (const auto& [path, text] : files) out << Shown(Utf8Path(path)) << "\n";
    out << Shown(id) << " " << Shown(version) << ": " << architecture << ", " << std::size(kFailureExits)
        << " exit codes\n";
    return kExitOk;
}

} // namespace

const TVerb kWingetVerb = {
    "winget", kWingetHelp, {"--id", "--url", "--license", "--description", "--moniker", "-o"}, {}, Winget};

} // namespace scrpack
