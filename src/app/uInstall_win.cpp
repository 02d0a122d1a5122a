#include "app/uInstall.h"

#include "app/uInstallLog.h"
#include "store/uPayloadFormat.h"

#include "components/uFileEmbedder.h"
#include "platform/uShellUtils.h"
#include "platform/uText.h"
#include "store/uErrors.h"
#include "store/uExeAdder.h"
#include "store/uStreams.h"

#include <windows.h>


namespace {

// A failed step of the installation, with its outcome complete.
struct TStepFailure {
    TInstallOutcome Outcome;
};

TInstallOutcome Failure(TInstallResult result, std::string_view subject, unsigned long systemError) {
    TInstallOutcome outcome;
    outcome.Result = result;
    outcome.Message = OutcomeText(result, subject, systemError);
    return outcome;
}

// "(system error N: text)" for the log.
std::string SystemErrorNote(unsigned long code) {
    return code ? " (system error " + std::to_string(code) + ": " + SystemErrorText(code) + ")" : std::string();
}

// Runs one write of the file at path and logs it. Whatever goes wrong there fails the
// step with the system's code behind it, so the message can tell a full disk from a file
// in use. A read-only target is refused first (access denied): the rename over it would
// replace it on some systems and not on others.
template <typename F> void WriteStep(const std::string& path, F write) {
    unsigned long code = 0;
    try {
        const DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
            code = ERROR_ACCESS_DENIED;
        } else {
            const std::uint64_t bytes = write();
            installlog::Line("file " + path + ": " + std::to_string(bytes) + " bytes written");
            return;
        }
    } catch (...) {
        code = SystemErrorOf(std::current_exception());
    }
    const TInstallResult result = WriteFailure(code);
    installlog::Line("file " + path + ": FAILED, " + OutcomeRule(result).LogName + SystemErrorNote(code));
    throw TStepFailure{Failure(result, path, code)};
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& data) {
    WriteStep(path, [&] {
        WriteFileAtomically(PathFromCp932(path), data.data(), data.size());
        return data.size();
    });
}

// The uninstaller with its "GUID" container is put together in a temporary file in the
// destination folder, through the one handle held on it, and renamed over the target only
// when complete, so a failure never leaves a program without its container under the real
// name (it would not know what it belongs to).
void WriteUninstaller(const TFileEmbedder& embedder, const std::string& target, const std::string& guid) {
    WriteStep(target, [&] {
        TTemporaryFile tmp(PathFromCp932(target));
        const auto& bytes = embedder.Data().Bytes();
        tmp.WriteBuffer(bytes.data(), bytes.size());
        TWriteHelper helper;
        helper.AddString(payload::kGuid, guid);
        helper.AppendToStream(tmp);
        const auto size = static_cast<std::uint64_t>(tmp.Size());
        tmp.Commit();
        return size;
    });
}

// The files, in order. Returns whether a ReadMe was written.
bool WriteFiles(const TPayloadSettings& settings, const TInstallRequest& request, const TInstallPaths& paths) {
    WriteWholeFile(paths.SCRPath, settings.FSCRData);
    if (!settings.FReadMeData.empty()) WriteWholeFile(paths.ReadMePath, settings.FReadMeData);
    // Only a ReadMe of this installation is offered: an older one left in the folder is not.
    const bool readMe = !settings.FReadMeData.empty() && FileExists932(paths.ReadMePath);
    // A publisher's signed uninstaller already carries its container; a signature covers
    // every byte, so it is written exactly as it came.
    if (!settings.FSignedUninstaller.empty()) {
        WriteWholeFile(paths.Uninstaller, settings.FSignedUninstaller);
    } else {
        if (!request.Uninstaller) throw TStepFailure{Failure(TInstallResult::Unexpected, {}, 0)};
        WriteUninstaller(*request.Uninstaller, paths.Uninstaller, settings.FGUID);
    }
    return readMe;
}
// The size of a file, 0 when it cannot be read.
std::uint64_t FileSize932(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(ToWide(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return std::uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// What the list of installed programs shows: the payload's own version and publisher, or
// those of the screensaver's version record; the size of what was written; today.
TUninstallDetails Details(const TPayloadSettings& settings, const TInstallPaths& paths, bool readMe) {
    TUninstallDetails d;
    const TListedIdentity identity = ListedIdentity(settings);
    d.Version = identity.Version;
    d.Publisher = identity.Publisher;
    d.FileBytes = FileSize932(paths.SCRPath) + (readMe ? FileSize932(paths.ReadMePath) : 0) +
                  FileSize932(paths.Uninstaller);
    SYSTEMTIME now;
    GetLocalTime(&now);
    d.Year = now.wYear;
    d.Month = now.wMonth;
    d.Day = now.wDay;
    return d;
}

// Writes one value of the registration and logs it; a value that cannot be written fails
// the step with the registry's code.
void WriteUninstallValue(const TUninstallValue& value) {
    LONG status = ERROR_SUCCESS;
    const bool ok = value.IsNumber ? WriteRegistryDword(HKEY_LOCAL_MACHINE, value.ValuePath, value.Number, &status)
                                   : WriteRegistryString(HKEY_LOCAL_MACHINE, value.ValuePath, value.Data, &status);
    const std::string shown = "HKEY_LOCAL_MACHINE\\" + value.ValuePath;
    const std::string data = value.IsNumber ? std::to_string(value.Number) : "\"" + value.Data + "\"";
    if (ok) {
        installlog::Line("registry " + shown + " = " + data + ": written");
        return;
    }
    const auto code = static_cast<unsigned long>(status);
    installlog::Line("registry " + shown + " = " + data + ": FAILED" + SystemErrorNote(code));
    throw TStepFailure{Failure(TInstallResult::RegistrationFailed, shown, code)};
}

} // namespace

TInstallResult ResolveDestination(std::wstring_view typed, std::string& folder) {
    folder.clear();
    std::wstring full;
    if (IsLocalDrivePath(typed)) {
        const std::wstring in(typed);
        full.resize(MAX_PATH);
        DWORD n = GetFullPathNameW(in.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n >= full.size()) {
            full.resize(n);
            n = GetFullPathNameW(in.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        }
        full.resize(n < full.size() ? n : 0);
    }
    if (!IsLocalDrivePath(full)) return TInstallResult::BadDestination;
    if (!FromWideExact(full, folder)) {
        folder.clear();
        return TInstallResult::UnrepresentableDestination;
    }
    return TInstallResult::Installed;
}

namespace {

// The unquoted program path of an "UninstallString" we write: the whole value in quotes.
std::string QuotedPath(const std::string& command) {
    if (command.size() < 2 || command.front() != '"' || command.back() != '"') return {};
    return command.substr(1, command.size() - 2);
}

bool CarriesInstallationGuid(const std::string& path) {
    TItemTypes items;
    try {
        ReadItems(PathFromCp932(path), items);
    } catch (const std::exception&) {
        return false;
    }
    for (const TItemType& item : items)
        if (item.Name == payload::kGuid) return true;
    return false;
}

bool SameFolder(std::string_view a, std::string_view b) {
    const std::wstring wa = ToWide(IncludeTrailingBackslash932(a)), wb = ToWide(IncludeTrailingBackslash932(b));
    return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()),
                                TRUE) == CSTR_EQUAL;
}

} // namespace

TRegisteredEntry InspectUninstallEntry(std::string_view scrName) {
    TRegisteredEntry entry;
    const std::string key = kUninstallRoot + std::string(scrName);
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ToWide(key).c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return entry;
    RegCloseKey(raw);
    entry.Owner = TEntryOwner::Foreign;
    const std::string uninstaller = QuotedPath(ReadRegistryString(HKEY_LOCAL_MACHINE, key + "\\" + payload::kUninstallString));
    const std::size_t slash = FindLastOf932(uninstaller, "\\");
    const TInstallPaths expected =
        InstallPaths(slash == std::string::npos ? std::string() : uninstaller.substr(0, slash + 1), scrName);
    if (slash == std::string::npos || !SameFolder(uninstaller, expected.Uninstaller)) return entry;
    const bool ours = FileExists932(uninstaller)
                          ? CarriesInstallationGuid(uninstaller)
                          : ReadRegistryString(HKEY_LOCAL_MACHINE, key + "\\" + payload::kDisplayName) ==
                                UninstallEntry(scrName, uninstaller).DisplayName.Data;
    if (!ours) return entry;
    entry.Owner = TEntryOwner::Ours;
    entry.Folder = ReadRegistryString(HKEY_LOCAL_MACHINE, key + "\\" + payload::kInstallLocation);
    if (entry.Folder.empty()) entry.Folder = expected.Folder;
    entry.Folder = IncludeTrailingBackslash932(entry.Folder);
    DWORD readMe = 1, size = sizeof readMe;
    RegGetValueW(HKEY_LOCAL_MACHINE, ToWide(key).c_str(), payload::kReadMeInstalledW, RRF_RT_REG_DWORD, nullptr, &readMe,
                 &size);
    entry.ReadMe = readMe != 0;
    return entry;
}

TInstallOutcome CheckInstallTarget(const TPayloadSettings& settings, const std::string& destination,
                                   TRegisteredEntry* found) {
    TInstallOutcome outcome;
    // Files named ".scr" and "Uninst.exe" and a registration named after nothing are
    // worse than no installation.
    if (settings.FSCRName.empty()) return Failure(TInstallResult::NoName, {}, 0);
    const TInstallPaths paths = InstallPaths(destination, settings.FSCRName);
    if (!DirectoryExists932(paths.Folder)) return Failure(TInstallResult::NoDestination, paths.Folder, 0);
    const TRegisteredEntry entry = InspectUninstallEntry(settings.FSCRName);
    if (found) *found = entry;
    if (entry.Owner == TEntryOwner::Foreign) return Failure(TInstallResult::EntryConflict, settings.FSCRName, 0);
    // Another folder would leave the first installation without an entry that removes it.
    if (entry.Owner == TEntryOwner::Ours && !SameFolder(entry.Folder, paths.Folder))
        return Failure(TInstallResult::InstalledElsewhere, entry.Folder, 0);
    return outcome;
}

TInstallOutcome InstallScreenSaver(const TPayloadSettings& settings, const TInstallRequest& request) {
    TRegisteredEntry earlier;
    TInstallOutcome outcome = CheckInstallTarget(settings, request.Destination, &earlier);
    if (outcome.Result != TInstallResult::Installed) return outcome;
    const TInstallPaths paths = InstallPaths(request.Destination, settings.FSCRName);
    const std::string key = kUninstallRoot + settings.FSCRName;
    // A ReadMe an earlier installation of ours left in this folder stays its own.
    const bool earlierReadMe = earlier.Owner == TEntryOwner::Ours && earlier.ReadMe && FileExists932(paths.ReadMePath);
    bool registering = false;
    try {
        outcome.ReadMePresent = WriteFiles(settings, request, paths);
        // The whole key afresh: no value of an earlier version survives.
        registering = true;
        const LONG cleared = RegDeleteTreeW(HKEY_LOCAL_MACHINE, ToWide(key).c_str());
        if (cleared != ERROR_SUCCESS && cleared != ERROR_FILE_NOT_FOUND)
            throw TStepFailure{Failure(TInstallResult::RegistrationFailed, "HKEY_LOCAL_MACHINE\\" + key,
                                       static_cast<unsigned long>(cleared))};
        TUninstallDetails details = Details(settings, paths, outcome.ReadMePresent);
        details.ReadMe = outcome.ReadMePresent || earlierReadMe;
        const TUninstallEntry entry = UninstallEntry(settings.FSCRName, paths.Uninstaller);
        WriteUninstallValue(entry.UninstallString);
        WriteUninstallValue(entry.DisplayName);
        for (const TUninstallValue& value : UninstallDetailValues(settings.FSCRName, paths, details))
            WriteUninstallValue(value);
    } catch (const TStepFailure& failure) {
        outcome = failure.Outcome;
    } catch (...) {
        outcome = Failure(TInstallResult::Unexpected, {}, SystemErrorOf(std::current_exception()));
    }
    // Half an entry is worse than none: without its command the uninstaller refuses to run.
    if (registering && outcome.Result != TInstallResult::Installed)
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, ToWide(key).c_str());
    return outcome;
}
