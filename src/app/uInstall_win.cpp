#include "app/uInstall.h"

#include "app/uInstallLog.h"
#include "store/uPayloadFormat.h"

#include "components/uFileEmbedder.h"
#include "platform/uChangeLock.h"
#include "platform/uShellUtils.h"
#include "platform/uWinHandles.h"
#include "store/uChangeNames.h"
#include "store/uErrors.h"
#include "store/uExeAdder.h"
#include "store/uStreams.h"
#include "store/uText.h"

#include <windows.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

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
    return code ? " (system error " + std::to_string(code) + ": " + SystemErrorText(code) + ")"
                : std::string();
}

// Fails the step on the file at path with the system's code behind it, so the message can
// tell a full disk from a file in use, and logs it.
[[noreturn]] void FileFailed(const std::string& path, unsigned long code) {
    const TInstallResult result = WriteFailure(code);
    installlog::Line("file " + path + ": FAILED, " + OutcomeRule(result).LogName + SystemErrorNote(code));
    throw TStepFailure{Failure(result, path, code)};
}

std::wstring FileNameOf(const std::wstring& path) {
    return path.substr(path.find_last_of(L'\\') + 1);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Deletes a file of ours; one in use (a running screensaver's image can be renamed but not
// deleted) goes at the next restart, which the elevated step may arrange. A link is deleted
// as itself. False when neither could be done; *later tells the second way.
bool DeleteOrSchedule(const std::wstring& path, bool* later) {
    if (DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    if (!MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return false;
    *later = true;
    return true;
}

// An empty mark of the change (uPayloadFormat.h), created exclusively and flushed, so that
// a run that dies finds it again.
void CreateMark(const std::wstring& path, const std::string& shownPath) {
    UniqueHandle mark(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!mark) FileFailed(shownPath, GetLastError());
    FlushFileBuffers(mark.Get());
}

// The change to the destination folder, all or nothing. Every new file is staged in full
// beside its target ("<file>.~<id>.tmp") before any existing file is touched; then, behind
// a pending mark, each earlier file is moved aside ("<file>.~<id>.old", or a fresh mark
// "<file>.~<id>.new" where there was none) and the new one moved in. Commit (after the
// uninstall entry is complete) removes the pending mark first, then the earlier files;
// Undo puts everything back in reverse. A run that dies leaves the marks, from which
// RecoverFolder finishes the job.
class TFolderChange {
public:
    TFolderChange(const TInstallPaths& paths, std::string_view name)
        : FId(NewChangeId()),
          FPending(MarkedSibling(ToWide(paths.Folder + std::string(name)), FId, payload::kPendingSuffix)) {
        if (FId.empty()) throw TStepFailure{Failure(TInstallResult::Unexpected, {}, GetLastError())};
    }
    TFolderChange(const TFolderChange&) = delete;
    TFolderChange& operator=(const TFolderChange&) = delete;

    // Writes the new file for target in full and flushes it; nothing under the target's own
    // name changes yet. A read-only file or a folder in the way is refused first.
    template <typename F> void Stage(const std::string& target, F write) {
        const std::wstring wide = ToWide(target);
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
            FileFailed(target, ERROR_ACCESS_DENIED);
        TFileSwap swap{target, wide, nullptr};
        try {
            swap.Staged =
                std::make_unique<TTemporaryFile>(wide, MarkedSibling(wide, FId, payload::kStagedSuffix));
            write(*swap.Staged);
            swap.Staged->Flush();
        } catch (const TStepFailure&) {
            throw;
        } catch (...) {
            FileFailed(target, SystemErrorOf(std::current_exception()));
        }
        installlog::Line("file " + target + ": " + std::to_string(swap.Staged->Size()) + " bytes written");
        FFiles.push_back(std::move(swap));
    }

    // Puts every staged file in place.
    void Swap() {
        CreateMark(FPending, FromWide(FPending));
        FPendingMade = true;
        for (TFileSwap& f : FFiles) {
            const bool earlier = Exists(f.Wide);
            const std::wstring aside =
                MarkedSibling(f.Wide, FId, earlier ? payload::kSetAsideSuffix : payload::kFreshSuffix);
            if (!earlier)
                CreateMark(aside, f.Target);
            else if (!MoveFileExW(f.Wide.c_str(), aside.c_str(), 0))
                FileFailed(f.Target, GetLastError());
            f.Aside = aside;
            f.Fresh = !earlier;
            try {
                f.Staged->MoveIn();
            } catch (...) {
                FileFailed(f.Target, SystemErrorOf(std::current_exception()));
            }
            f.In = true;
        }
    }

    // The change is complete: the pending mark goes first (from then on a later run keeps
    // the new files), then the earlier files.
    void Commit() {
        if (FPendingMade && !DeleteFileW(FPending.c_str())) {
            const DWORD code = GetLastError();
            installlog::Line("file " + FromWide(FPending) + ": FAILED to remove" + SystemErrorNote(code));
            throw TStepFailure{Failure(TInstallResult::Unexpected, {}, code)};
        }
        FPendingMade = false;
        for (TFileSwap& f : FFiles) {
            f.Staged->Keep();
            if (f.Aside.empty()) continue;
            bool later = false;
            if (!DeleteOrSchedule(f.Aside, &later))
                installlog::Line("file " + FromWide(f.Aside) + ": in use, left for the next run" +
                                 SystemErrorNote(GetLastError()));
            else if (later)
                installlog::Line("file " + FromWide(f.Aside) + ": in use, removed at the next restart");
            FRestartPending = FRestartPending || later;
        }
        FFiles.clear();
    }

    // Puts the folder back as it was, in reverse; false when something could not be.
    bool Undo() {
        bool whole = true;
        for (auto f = FFiles.rbegin(); f != FFiles.rend(); ++f) {
            if (f->In) {
                f->Staged->Discard();
                whole = whole && !Exists(f->Wide);
            }
            if (f->Aside.empty()) continue;
            const bool back =
                f->Fresh ? DeleteFileW(f->Aside.c_str()) : MoveFileExW(f->Aside.c_str(), f->Wide.c_str(), 0);
            whole = whole && back;
        }
        FFiles.clear(); // the staged files not moved in go with their objects
        if (FPendingMade && !DeleteFileW(FPending.c_str())) whole = false;
        FPendingMade = false;
        return whole;
    }

    bool RestartPending() const { return FRestartPending; }

private:
    struct TFileSwap {
        std::string Target;
        std::wstring Wide;
        std::unique_ptr<TTemporaryFile> Staged; // the new file; in place once In
        std::wstring Aside = {};                // the earlier file moved aside, or the fresh mark
        bool Fresh = false;                     // Aside is the mark: there was no earlier file
        bool In = false;
    };
    std::string FId;
    std::wstring FPending;
    bool FPendingMade = false;
    bool FRestartPending = false;
    std::vector<TFileSwap> FFiles;
};

// What a run that died left of a change in this folder: the names of one change to this
// installation, by change id. A change whose pending mark is there and one of whose new
// files is still staged had not put its whole new set in place: its earlier files come
// back, and the files it created go. Any other (its new set complete, or nothing swapped
// yet) leaves the files as they are. Then its pending mark goes, first (from then on what
// is left is only leftovers), then its other names. Only names of the installation's own
// files are looked at; folders are passed over, and a link is moved or deleted as itself.
// An earlier file that cannot be put back (or a pending mark that cannot go) fails the step
// with everything of that change left as it is: another change over it would let a later
// run put those earlier files back over the newer ones.
void RecoverFolder(const TInstallPaths& paths, std::string_view name) {
    const std::wstring folder = ToWide(paths.Folder);
    const std::wstring own[] = {FileNameOf(ToWide(paths.SCRPath)), FileNameOf(ToWide(paths.ReadMePath)),
                                FileNameOf(ToWide(paths.Uninstaller)), ToWide(name)};
    const auto same = SameFileName;
    struct TChange {
        std::vector<std::pair<changenames::TKind, std::wstring>> Names; // kind, file name
        bool Pending = false, Staged = false;
    };
    std::map<std::wstring, TChange> changes;
    WIN32_FIND_DATAW found;
    const HANDLE search =
        FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::wstring fileName = found.cFileName;
        const auto leftover = changenames::ParseLeftover<wchar_t>(fileName);
        if (leftover.Kind == changenames::TKind::None) continue;
        const bool pending = leftover.Kind == changenames::TKind::Pending;
        if (!(pending ? same(leftover.File, own[3])
                      : same(leftover.File, own[0]) || same(leftover.File, own[1]) ||
                            same(leftover.File, own[2])))
            continue;
        TChange& change = changes[std::wstring(leftover.Id)];
        change.Names.emplace_back(leftover.Kind, fileName);
        change.Pending = change.Pending || pending;
        change.Staged = change.Staged || leftover.Kind == changenames::TKind::Staged;
    } while (FindNextFileW(search, &found));
    FindClose(search);

    for (auto& [id, change] : changes) {
        const std::string shownId = FromWide(id);
        const auto fail = [&](const std::wstring& path) {
            const DWORD code = GetLastError();
            installlog::Line("recovery: change " + shownId + " could not be finished");
            FileFailed(FromWide(path), code);
        };
        if (change.Pending && change.Staged) {
            for (const auto& [kind, fileName] : change.Names) {
                if (kind != changenames::TKind::SetAside && kind != changenames::TKind::Fresh) continue;
                const std::wstring target =
                    folder + std::wstring(changenames::ParseLeftover<wchar_t>(fileName).File);
                if (Exists(target) && !DeleteFileW(target.c_str())) fail(target);
                if (kind == changenames::TKind::SetAside &&
                    !MoveFileExW((folder + fileName).c_str(), target.c_str(), 0))
                    fail(target);
            }
            installlog::Line("recovery: change " + shownId +
                             " had not put its files in place: the earlier files are back");
        }
        bool whole = true;
        for (const auto& [kind, fileName] : change.Names)
            if (kind == changenames::TKind::Pending && !DeleteFileW((folder + fileName).c_str()))
                fail(folder + fileName);
        for (const auto& [kind, fileName] : change.Names) {
            const std::wstring path = folder + fileName;
            bool later = false;
            if (kind != changenames::TKind::Pending && Exists(path) && !DeleteOrSchedule(path, &later))
                whole = false;
        }
        installlog::Line("recovery: leftovers of change " + shownId +
                         (whole ? " removed" : " not all removed"));
    }
}

// The destination folder held open from its checks to the end of the change: not shared for
// deleting, so that it cannot be renamed or removed (nor, on Windows, any folder above it),
// and opened as itself, never through a link. Held only when it is no link and the system's
// own path of it is the path it was reached by (long forms, any case): no junction or other
// link anywhere on the way.
class TPinnedFolder {
public:
    explicit TPinnedFolder(const std::string& folder)
        : FFolder(CreateFileW(ToWide(folder).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)) {
        if (!FFolder) {
            FError = GetLastError();
            return;
        }
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!GetFileInformationByHandleEx(FFolder.Get(), FileAttributeTagInfo, &tag, sizeof tag) ||
            (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            !(tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return;
        FHeld = SameFolder(FromWide(LongPathOf(FinalPathOf(FFolder.Get()))),
                           FromWide(LongPathOf(ToWide(folder))));
    }
    bool Held() const { return FHeld; }
    unsigned long Error() const { return FError; }

private:
    UniqueHandle FFolder;
    bool FHeld = false;
    unsigned long FError = 0;
};

// The uninstall entry, all or nothing: the values of an earlier entry are kept until the
// new ones are all written; those the new version no longer has go last. Undo restores
// the earlier values exactly (types and data), or removes the key it created.
class TEntryChange {
public:
    TEntryChange(TInstallScope scope, std::string key)
        : FRoot(ScopeRoot(scope)), FRootName(ScopeRootName(scope)), FKey(std::move(key)),
          FWideKey(ToWide(FKey)) {
        UniqueHKey existing;
        FExisted =
            RegOpenKeyExW(FRoot, FWideKey.c_str(), 0, KEY_QUERY_VALUE, existing.Put()) == ERROR_SUCCESS;
        if (!FExisted) return;
        DWORD count = 0, longestName = 0, longestData = 0;
        RegQueryInfoKeyW(existing.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longestName, &longestData, nullptr, nullptr);
        for (DWORD i = 0; i < count; ++i) {
            TSavedValue v;
            std::wstring nameBuffer(longestName + 1, L'\0');
            v.Data.resize(longestData);
            DWORD nameLength = longestName + 1, dataLength = longestData;
            if (RegEnumValueW(existing.Get(), i, nameBuffer.data(), &nameLength, nullptr, &v.Type,
                              v.Data.data(), &dataLength) != ERROR_SUCCESS)
                continue;
            v.Name.assign(nameBuffer.data(), nameLength);
            v.Data.resize(dataLength);
            FSaved.push_back(std::move(v));
        }
    }

    void Write(const std::vector<TUninstallValue>& values) {
        FWritten = true;
        for (const TUninstallValue& value : values) {
            WriteValue(value);
            FNames.push_back(ToWide(value.ValuePath.substr(FKey.size() + 1)));
        }
        for (const TSavedValue& old : FSaved) {
            if (Named(FNames, old.Name)) continue;
            const std::string shown = FRootName + FKey + "\\" + FromWide(old.Name);
            const LSTATUS status = RegDeleteKeyValueW(FRoot, FWideKey.c_str(), old.Name.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
                installlog::Line("registry " + shown + ": FAILED to remove" + SystemErrorNote(status));
                throw TStepFailure{
                    Failure(TInstallResult::RegistrationFailed, shown, static_cast<unsigned long>(status))};
            }
            installlog::Line("registry " + shown + ": removed (the earlier version's)");
        }
    }

    bool Undo() {
        if (!FWritten) return true;
        if (!FExisted) {
            const LSTATUS status = RegDeleteTreeW(FRoot, FWideKey.c_str());
            return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
        }
        bool whole = true;
        for (const std::wstring& name : FNames) {
            bool earlier = false;
            for (const TSavedValue& old : FSaved) earlier = earlier || SameFileName(old.Name, name);
            if (!earlier) {
                const LSTATUS status = RegDeleteKeyValueW(FRoot, FWideKey.c_str(), name.c_str());
                whole = whole && (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
            }
        }
        for (const TSavedValue& old : FSaved)
            whole =
                whole && RegSetKeyValueW(FRoot, FWideKey.c_str(), old.Name.c_str(), old.Type, old.Data.data(),
                                         static_cast<DWORD>(old.Data.size())) == ERROR_SUCCESS;
        return whole;
    }

private:
    struct TSavedValue {
        std::wstring Name;
        DWORD Type = REG_NONE;
        std::vector<BYTE> Data;
    };
    static bool Named(const std::vector<std::wstring>& names, const std::wstring& name) {
        for (const std::wstring& n : names)
            if (SameFileName(n, name)) return true;
        return false;
    }

    // Writes one value and logs it; a value that cannot be written fails the step with the
    // registry's code.
    void WriteValue(const TUninstallValue& value) const {
        LONG status = ERROR_SUCCESS;
        const bool ok = value.IsNumber ? WriteRegistryDword(FRoot, value.ValuePath, value.Number, &status)
                                       : WriteRegistryString(FRoot, value.ValuePath, value.Data, &status);
        const std::string shown = FRootName + value.ValuePath;
        const std::string data = value.IsNumber ? std::to_string(value.Number) : "\"" + value.Data + "\"";
        if (ok) {
            installlog::Line("registry " + shown + " = " + data + ": written");
            return;
        }
        const auto code = static_cast<unsigned long>(status);
        installlog::Line("registry " + shown + " = " + data + ": FAILED" + SystemErrorNote(code));
        throw TStepFailure{Failure(TInstallResult::RegistrationFailed, shown, code)};
    }

    HKEY FRoot;
    std::string FRootName;
    std::string FKey;
    std::wstring FWideKey;
    bool FExisted = false, FWritten = false;
    std::vector<TSavedValue> FSaved;
    std::vector<std::wstring> FNames; // the values written
};

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

// The files of the installation, staged in order.
void StageFiles(TFolderChange& change, const TPayloadSettings& settings, const TInstallRequest& request,
                const TInstallPaths& paths) {
    const auto whole = [](const std::vector<std::uint8_t>& data) {
        return [&data](TStream& file) { file.WriteBuffer(data.data(), data.size()); };
    };
    change.Stage(paths.SCRPath, whole(settings.FSCRData));
    if (!settings.FReadMeData.empty()) change.Stage(paths.ReadMePath, whole(settings.FReadMeData));
    // A publisher's signed uninstaller already carries its container; a signature covers
    // every byte, so it is written exactly as it came. Otherwise the program gets this
    // installation's "GUID" container, so that it knows what it belongs to.
    if (!settings.FSignedUninstaller.empty()) {
        change.Stage(paths.Uninstaller, whole(settings.FSignedUninstaller));
    } else {
        if (request.Uninstaller.empty()) throw TStepFailure{Failure(TInstallResult::Unexpected, {}, 0)};
        change.Stage(paths.Uninstaller, [&](TStream& file) {
            file.WriteBuffer(request.Uninstaller.data(), request.Uninstaller.size());
            TWriteHelper helper;
            helper.AddString(payload::kGuid, settings.FGUID);
            helper.AppendToStream(file);
        });
    }
}

} // namespace

TInstallResult ResolveDestination(std::wstring_view typed, std::string& folder) {
    folder.clear();
    const std::wstring full = IsLocalDrivePath(typed) ? FullPathOf(std::wstring(typed)) : std::wstring();
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

// Whether the file carries a "GUID" container; *error the system's code when it cannot be
// opened at all (in use, access denied), which tells nothing about whose it is.
bool CarriesInstallationGuid(const std::string& path, unsigned long* error) {
    {
        const UniqueHandle file(CreateFileW(ToWide(path).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            *error = GetLastError();
            return false;
        }
    }
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

} // namespace

bool SameFolder(std::string_view a, std::string_view b) {
    return SameFileName(ToWide(IncludeTrailingBackslash932(a)), ToWide(IncludeTrailingBackslash932(b)));
}

TRegisteredEntry InspectUninstallEntry(std::string_view scrName, TInstallScope scope) {
    const HKEY root = ScopeRoot(scope);
    TRegisteredEntry entry;
    const std::string key = kUninstallRoot + std::string(scrName);
    HKEY raw = nullptr;
    const LSTATUS opened = RegOpenKeyExW(root, ToWide(key).c_str(), 0, KEY_QUERY_VALUE, &raw);
    if (opened == ERROR_FILE_NOT_FOUND) return entry;
    if (opened != ERROR_SUCCESS) {
        entry.Owner = TEntryOwner::Unreadable;
        entry.Unread = ScopeRootName(scope) + key;
        entry.Error = static_cast<unsigned long>(opened);
        return entry;
    }
    RegCloseKey(raw);
    entry.Owner = TEntryOwner::Foreign;
    const std::string uninstaller =
        QuotedPath(ReadRegistryString(root, key + "\\" + payload::kUninstallString));
    const std::size_t slash = FindLastOf932(uninstaller, "\\");
    const TInstallPaths expected =
        InstallPaths(slash == std::string::npos ? std::string() : uninstaller.substr(0, slash + 1), scrName);
    if (slash == std::string::npos || !SameFolder(uninstaller, expected.Uninstaller)) return entry;
    unsigned long unreadable = 0;
    const bool ours = FileExists932(uninstaller)
                          ? CarriesInstallationGuid(uninstaller, &unreadable)
                          : ReadRegistryString(root, key + "\\" + payload::kDisplayName) ==
                                UninstallEntry(scrName, uninstaller).DisplayName.Data;
    if (unreadable) {
        entry.Owner = TEntryOwner::Unreadable;
        entry.Unread = uninstaller;
        entry.Error = unreadable;
        return entry;
    }
    if (!ours) return entry;
    entry.Owner = TEntryOwner::Ours;
    entry.Folder = ReadRegistryString(root, key + "\\" + payload::kInstallLocation);
    if (entry.Folder.empty()) entry.Folder = expected.Folder;
    entry.Folder = IncludeTrailingBackslash932(entry.Folder);
    DWORD readMe = 0, size = sizeof readMe;
    if (RegGetValueW(root, ToWide(key).c_str(), payload::kReadMeInstalledW, RRF_RT_REG_DWORD, nullptr,
                     &readMe, &size) != ERROR_SUCCESS)
        readMe = payload::kReadMeInstalledUnread;
    entry.ReadMe = readMe != 0;
    return entry;
}

TInstallOutcome CheckInstallTarget(const TPayloadSettings& settings, const std::string& destination,
                                   TInstallScope scope, TRegisteredEntry* found) {
    TInstallOutcome outcome;
    // Files named ".scr" and "Uninst.exe" and a registration named after nothing are
    // worse than no installation.
    if (settings.FSCRName.empty()) return Failure(TInstallResult::NoName, {}, 0);
    const TInstallPaths paths = InstallPaths(destination, settings.FSCRName);
    if (!DirectoryExists932(paths.Folder)) return Failure(TInstallResult::NoDestination, paths.Folder, 0);
    const TRegisteredEntry entry = InspectUninstallEntry(settings.FSCRName, scope);
    if (found) *found = entry;
    if (entry.Owner == TEntryOwner::Unreadable)
        return Failure(TInstallResult::ReadFailed, entry.Unread, entry.Error);
    if (entry.Owner == TEntryOwner::Foreign)
        return Failure(TInstallResult::EntryConflict, settings.FSCRName, 0);
    // Another folder would leave the first installation without an entry that removes it.
    if (entry.Owner == TEntryOwner::Ours && !SameFolder(entry.Folder, paths.Folder))
        return Failure(TInstallResult::InstalledElsewhere, entry.Folder, 0);
    return outcome;
}

TInstallOutcome CheckOtherScope(const TPayloadSettings& settings, TInstallScope scope) {
    const TInstallScope other =
        scope == TInstallScope::AllUsers ? TInstallScope::CurrentUser : TInstallScope::AllUsers;
    const TRegisteredEntry entry = InspectUninstallEntry(settings.FSCRName, other);
    if (entry.Owner == TEntryOwner::Ours)
        return Failure(TInstallResult::InstalledOtherScope, entry.Folder, 0);
    return {};
}

std::string PerUserFolder(std::string_view scrName) {
    const std::string base = GetSpecialFolderPath(TSpecialFolder::LocalAppData);
    return base.empty() ? std::string()
                        : IncludeTrailingBackslash932(base) + "Programs\\" + std::string(scrName);
}

bool CreatePerUserFolder(std::string_view scrName) {
    const std::string folder = PerUserFolder(scrName);
    if (folder.empty()) return false;
    const std::size_t slash = FindLastOf932(folder, "\\");
    CreateDirectoryW(ToWide(folder.substr(0, slash)).c_str(), nullptr); // "...\Programs", made once
    CreateDirectoryW(ToWide(folder).c_str(), nullptr);
    return DirectoryExists932(folder);
}

std::vector<std::uint8_t> CarriedUninstaller() {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC resource = FindResourceW(module, L"TFRMMAIN", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    const HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {};
    return EmbeddedFileOf(static_cast<const std::uint8_t*>(data), SizeofResource(module, resource));
}

bool HasOwnReadMe(const TPayloadSettings& settings, const TInstallPaths& paths) {
    return !settings.FReadMeData.empty() && FileExists932(paths.ReadMePath);
}

TInstallOutcome InstallScreenSaver(const TPayloadSettings& settings, const TInstallRequest& request) {
    // The lock first: what is found below stays true until the change is done.
    const TInstallPaths paths = InstallPaths(request.Destination, settings.FSCRName);
    const TChangeLock lock((payload::kChangeLockPrefixW + ToWide(settings.FSCRName)).c_str());
    if (!lock.Held()) {
        installlog::Line("file " + paths.Folder +
                         ": another installation or removal of this screensaver is running");
        return Failure(TInstallResult::FileInUse, paths.Folder, ERROR_SHARING_VIOLATION);
    }
    TRegisteredEntry earlier;
    TInstallOutcome outcome = CheckInstallTarget(settings, request.Destination, request.Scope, &earlier);
    if (outcome.Result != TInstallResult::Installed) return outcome;
    // Every name below is taken in this very folder: it is held so that neither it nor a
    // folder above it can be renamed or replaced meanwhile, and refused when its path leads
    // through a link (a junction could point the step's names anywhere).
    const TPinnedFolder pinned(paths.Folder);
    if (!pinned.Held()) {
        installlog::Line("folder " + paths.Folder + ": refused (a link, or not the folder its path names)" +
                         SystemErrorNote(pinned.Error()));
        return Failure(TInstallResult::BadDestination, paths.Folder, pinned.Error());
    }
    // A ReadMe an earlier installation of ours left in this folder stays its own.
    const bool earlierReadMe =
        earlier.Owner == TEntryOwner::Ours && earlier.ReadMe && FileExists932(paths.ReadMePath);
    std::unique_ptr<TFolderChange> files;
    std::unique_ptr<TEntryChange> entry;
    try {
        RecoverFolder(paths, settings.FSCRName);
        files = std::make_unique<TFolderChange>(paths, settings.FSCRName);
        StageFiles(*files, settings, request, paths);
        files->Swap();
        outcome.ReadMePresent = HasOwnReadMe(settings, paths);
        TUninstallDetails details = Details(settings, paths, outcome.ReadMePresent);
        details.ReadMe = outcome.ReadMePresent || earlierReadMe;
        const TUninstallEntry names = UninstallEntry(settings.FSCRName, paths.Uninstaller);
        std::vector<TUninstallValue> values{names.UninstallString, names.DisplayName};
        for (TUninstallValue& value : UninstallDetailValues(settings.FSCRName, paths, details))
            values.push_back(std::move(value));
        entry = std::make_unique<TEntryChange>(request.Scope, kUninstallRoot + settings.FSCRName);
        entry->Write(values);
        files->Commit();
        if (files->RestartPending()) {
            outcome.Result = TInstallResult::InstalledRestartPending;
            outcome.Message = OutcomeText(outcome.Result);
        }
        return outcome;
    } catch (const TStepFailure& failure) {
        outcome = failure.Outcome;
    } catch (...) {
        outcome = Failure(TInstallResult::Unexpected, {}, SystemErrorOf(std::current_exception()));
    }
    // Back to how it was, the entry first (its values name the files), then the files.
    const bool entryBack = !entry || entry->Undo();
    const bool filesBack = !files || files->Undo();
    const bool back = entryBack && filesBack;
    installlog::Line(back ? "undone: the folder and the uninstall entry are as they were"
                          : "undone in part: a later run of the installer puts back the rest");
    outcome.Message += "\r\n" + LoadResString(back ? SRolledBack : SNotRolledBack);
    return outcome;
}
