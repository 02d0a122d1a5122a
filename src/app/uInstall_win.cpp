#include "app/uInstall.h"

#include "components/uFileEmbedder.h"
#include "platform/uShellUtils.h"
#include "platform/uText.h"
#include "platform/uVersionRecord.h"
#include "store/uErrors.h"
#include "store/uExeAdder.h"
#include "store/uStreams.h"
#include "toolkit/uForms.h"

#include <windows.h>


TModalResult ShowMessageBox(const std::string& text, TMsgDlgType kind, unsigned buttons,
                            unsigned extraFlags) {
    HWND owner = GetActiveWindow();
    if (!owner) owner = GetForegroundWindow();
    int answer = MessageBoxW(owner, ToWide(text).c_str(), ToWide(Application.Title).c_str(),
                             MessageBoxStyle(kind, buttons) | extraFlags | MB_TOPMOST | MB_SETFOREGROUND);
    return ModalResultFromAnswer(answer);
}

void ShowErrorMessage(const std::string& text) {
    ShowMessageBox(text, TMsgDlgType::mtError, mbOK, 0);
}

namespace {

// A failed step, with the text the user is shown.
class EInstallFailed : public Exception {
public:
    using Exception::Exception;
};

// Runs one write of the file at path; whatever goes wrong there is reported as that file
// not being writable (the file layer's own message is English). A read-only target is
// refused first: the rename over it would replace it on some systems and not on others.
template <typename F> void WriteStep(const std::string& path, F write) {
    try {
        DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            throw EFCreateError("Read-only file");
        write();
    } catch (const std::exception&) {
        throw EInstallFailed(FormatMessageText(LoadResString(SWriteFailed), path));
    }
}

void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& data) {
    WriteStep(path, [&] { WriteFileAtomically(PathFromCp932(path), data.data(), data.size()); });
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
        helper.AddString("GUID", guid);
        helper.AppendToStream(tmp);
        tmp.Commit();
    });
}

// The files, in order. Sets the paths in settings; returns whether a ReadMe was written.
bool WriteFiles(TPayloadSettings& settings, const TInstallRequest& request, const TInstallPaths& paths) {
    settings.FReadMePath = paths.ReadMePath;
    settings.FSCRPath = paths.SCRPath;
    WriteWholeFile(paths.SCRPath, settings.FSCRData);
    if (!settings.FReadMeData.empty()) WriteWholeFile(paths.ReadMePath, settings.FReadMeData);
    // Only a ReadMe of this installation is offered: an older one left in the folder is not.
    const bool readMe = !settings.FReadMeData.empty() && FileExists932(paths.ReadMePath);
    if (!request.Uninstaller) throw Exception("No uninstaller to write");
    WriteUninstaller(*request.Uninstaller, paths.Uninstaller, settings.FGUID);
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
    d.Version = settings.FVersion;
    d.Publisher = settings.FPublisher;
    if (d.Version.empty() || d.Publisher.empty()) {
        const TVersionRecord record = ReadVersionRecord(paths.SCRPath);
        if (d.Version.empty()) d.Version = record.ProductVersion;
        if (d.Publisher.empty()) d.Publisher = record.CompanyName;
    }
    d.FileBytes = FileSize932(paths.SCRPath) + (readMe ? FileSize932(paths.ReadMePath) : 0) +
                  FileSize932(paths.Uninstaller);
    SYSTEMTIME now;
    GetLocalTime(&now);
    d.Year = now.wYear;
    d.Month = now.wMonth;
    d.Day = now.wDay;
    return d;
}

void WriteUninstallValue(const TUninstallValue& value) {
    if (value.IsNumber)
        WriteRegistryDword(HKEY_LOCAL_MACHINE, value.ValuePath, value.Number);
    else
        WriteRegistryString(HKEY_LOCAL_MACHINE, value.ValuePath, value.Data);
}

} // namespace

bool ResolveDestination(std::wstring_view typed, std::string& folder, std::string* message) {
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
    if (!IsLocalDrivePath(full)) {
        if (message) *message = LoadResString(SDestinationNotLocal);
        return false;
    }
    if (!FromWideExact(full, folder)) {
        folder.clear();
        if (message) *message = LoadResString(SDestinationNotRepresentable);
        return false;
    }
    return true;
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
        if (item.Name == "GUID") return true;
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
    const std::string uninstaller = QuotedPath(ReadRegistryString(HKEY_LOCAL_MACHINE, key + "\\UninstallString"));
    const std::size_t slash = FindLastOf932(uninstaller, "\\");
    const TInstallPaths expected =
        InstallPaths(slash == std::string::npos ? std::string() : uninstaller.substr(0, slash + 1), scrName);
    if (slash == std::string::npos || !SameFolder(uninstaller, expected.Uninstaller)) return entry;
    const bool ours = FileExists932(uninstaller)
                          ? CarriesInstallationGuid(uninstaller)
                          : ReadRegistryString(HKEY_LOCAL_MACHINE, key + "\\DisplayName") ==
                                UninstallEntry(scrName, uninstaller).DisplayName.Data;
    if (!ours) return entry;
    entry.Owner = TEntryOwner::Ours;
    entry.Folder = ReadRegistryString(HKEY_LOCAL_MACHINE, key + "\\InstallLocation");
    if (entry.Folder.empty()) entry.Folder = expected.Folder;
    entry.Folder = IncludeTrailingBackslash932(entry.Folder);
    DWORD readMe = 1, size = sizeof readMe;
    RegGetValueW(HKEY_LOCAL_MACHINE, ToWide(key).c_str(), L"ReadMeInstalled", RRF_RT_REG_DWORD, nullptr, &readMe,
                 &size);
    entry.ReadMe = readMe != 0;
    return entry;
}

TInstallOutcome CheckInstallTarget(const TPayloadSettings& settings, const std::string& destination,
                                   TRegisteredEntry* found) {
    TInstallOutcome outcome;
    // Files named ".scr" and "Uninst.exe" and a registration named after nothing are
    // worse than no installation.
    if (settings.FSCRName.empty()) {
        outcome.Result = TInstallResult::NoName;
        outcome.Message = LoadResString(SNoScreenSaverName);
        return outcome;
    }
    const TInstallPaths paths = InstallPaths(destination, settings.FSCRName);
    if (!DirectoryExists932(paths.Folder)) {
        outcome.Result = TInstallResult::NoDestination;
        return outcome;
    }
    const TRegisteredEntry entry = InspectUninstallEntry(settings.FSCRName);
    if (found) *found = entry;
    if (entry.Owner == TEntryOwner::Foreign) {
        outcome.Result = TInstallResult::EntryConflict;
        outcome.Message = FormatMessageText(LoadResString(SEntryConflict), settings.FSCRName);
    } else if (entry.Owner == TEntryOwner::Ours && !SameFolder(entry.Folder, paths.Folder)) {
        // Another folder would leave the first installation without an entry that removes it.
        outcome.Result = TInstallResult::InstalledElsewhere;
        outcome.Message = FormatMessageText(LoadResString(SInstalledElsewhere), entry.Folder);
    }
    return outcome;
}

TInstallOutcome InstallScreenSaver(TPayloadSettings& settings, const TInstallRequest& request) {
    TRegisteredEntry earlier;
    TInstallOutcome outcome = CheckInstallTarget(settings, request.Destination, &earlier);
    if (outcome.Result != TInstallResult::Installed) return outcome;
    const TInstallPaths paths = InstallPaths(request.Destination, settings.FSCRName);
    // A ReadMe an earlier installation of ours left in this folder stays its own.
    const bool earlierReadMe = earlier.Owner == TEntryOwner::Ours && earlier.ReadMe && FileExists932(paths.ReadMePath);
    try {
        outcome.ReadMePresent = WriteFiles(settings, request, paths);
    } catch (const EInstallFailed& e) {
        outcome.Result = TInstallResult::WriteFailed;
        outcome.Message = e.what();
        return outcome;
    } catch (const std::exception& e) {
        outcome.Result = TInstallResult::WriteFailed;
        outcome.Message = FormatMessageText(LoadResString(SInstallError), e.what());
        return outcome;
    }
    // The whole key afresh: no value of an earlier version survives. Not checked: a value
    // that cannot be written is skipped.
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, ToWide(kUninstallRoot + settings.FSCRName).c_str());
    TUninstallDetails details = Details(settings, paths, outcome.ReadMePresent);
    details.ReadMe = outcome.ReadMePresent || earlierReadMe;
    const TUninstallEntry entry = UninstallEntry(settings.FSCRName, paths.Uninstaller);
    WriteRegistryString(HKEY_LOCAL_MACHINE, entry.UninstallString.ValuePath, entry.UninstallString.Data);
    WriteRegistryString(HKEY_LOCAL_MACHINE, entry.DisplayName.ValuePath, entry.DisplayName.Data);
    for (const TUninstallValue& value :
         UninstallDetailValues(settings.FSCRName, paths, details))
        WriteUninstallValue(value);
    return outcome;
}
