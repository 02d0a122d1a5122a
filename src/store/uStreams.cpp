#include "store/uStreams.h"

#include "store/uErrors.h"
#include "store/uHexText.h"
#include "store/uPayloadFormat.h"
#include "store/uText.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include <ntsecapi.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32
bool FileExistsName(const TPathName& fileName) {
    DWORD a = GetFileAttributesW(fileName.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
bool DirectoryExistsName(const TPathName& fileName) {
    DWORD a = GetFileAttributesW(fileName.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
bool ResizeFileName(const TPathName& fileName, std::int64_t size) {
    HANDLE h = CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER pos;
    pos.QuadPart = size;
    bool ok = SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    return ok;
}
#else
bool FileExistsName(const TPathName& fileName) {
    struct stat st;
    return ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
bool DirectoryExistsName(const TPathName& fileName) {
    struct stat st;
    return ::stat(fileName.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool ResizeFileName(const TPathName& fileName, std::int64_t size) {
    return ::truncate(fileName.c_str(), static_cast<off_t>(size)) == 0;
}
#endif

namespace {

// The code of the last failed system call, read before any other call can replace it.
unsigned long LastSystemError() {
#ifdef _WIN32
    return GetLastError();
#else
    return static_cast<unsigned long>(errno);
#endif
}

// "<what> file "<name>". <the system's text>", the message of a failed open or write.
std::string FileErrorText(const char* what, const TPathName& fileName, unsigned long code) {
    return std::string(what) + " file \"" + PathToCp932(fileName) + "\". " + SystemErrorText(code);
}

} // namespace

unsigned long SystemErrorOf(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.SystemError();
    } catch (const std::bad_alloc&) {
#ifdef _WIN32
        return ERROR_NOT_ENOUGH_MEMORY;
#else
        return ENOMEM;
#endif
    } catch (...) {
    }
    return 0;
}

#ifndef _WIN32
std::string SystemErrorText(unsigned long code) {
    return std::generic_category().message(static_cast<int>(code));
}
#else
std::string SystemErrorText(unsigned long code) {
    wchar_t* buf = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::string text;
    if (n != 0 && buf) {
        while (n > 0 && (buf[n - 1] == L'\r' || buf[n - 1] == L'\n' || buf[n - 1] == L' ')) --n;
        text = FromWide(std::wstring_view(buf, n));
    }
    if (buf) LocalFree(buf);
    if (text.empty()) text = "Error " + std::to_string(code) + ".";
    return text;
}
#endif

namespace {

// Fills buffer from the system's random generator; false when it fails.
bool SystemRandom(void* buffer, std::size_t size) {
#ifdef _WIN32
    return RtlGenRandom(buffer, static_cast<ULONG>(size)) != FALSE;
#else
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t n = ::getrandom(p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
#endif
}

} // namespace

std::string NewChangeId() {
    std::uint8_t random[16];
    static_assert(sizeof random * 2 == payload::kChangeIdDigits);
    if (!SystemRandom(random, sizeof random)) return {};
    std::string id(payload::kChangeIdDigits, '\0');
    hextext::Write(random, sizeof random, id.data());
    return id;
}

TPathName MarkedSibling(const TPathName& fileName, std::string_view id, std::string_view suffix) {
    TPathName name = fileName;
    for (std::string_view part : {std::string_view(payload::kChangeMark), id, suffix})
        for (char c : part) name += static_cast<TPathName::value_type>(c);
    return name;
}

namespace {

// "<fileName>.~<32 hex digits>.tmp", the digits from the system's random generator; empty
// when it fails.
TPathName RandomSibling(const TPathName& fileName) {
    const std::string id = NewChangeId();
    return id.empty() ? TPathName() : MarkedSibling(fileName, id, payload::kStagedSuffix);
}

// Repeats a partial transfer, step(done, left) -> bytes moved, until count bytes have
// moved or a step moves nothing (end of file or an error).
template <typename Step> std::size_t TransferAll(std::size_t count, Step step) {
    std::size_t total = 0;
    while (total < count) {
        std::size_t n = step(total, count - total);
        if (n == 0) break;
        total += n;
    }
    return total;
}

} // namespace

// ---- TStream ----

std::int64_t TStream::Size() {
    std::int64_t pos = Seek(0, TSeekOrigin::Current);
    std::int64_t end = Seek(0, TSeekOrigin::End);
    Seek(pos, TSeekOrigin::Begin);
    return end;
}

std::int64_t TStream::Remaining() {
    return std::max<std::int64_t>(0, Size() - Position());
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error", LastError());
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error", LastError());
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::int64_t>(count, 1 << 16)));
    std::int64_t left = count;
    while (left > 0) {
        auto n =
            static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(buf.size())));
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        left -= static_cast<std::int64_t>(n);
    }
    return count;
}

// ---- TMemoryStream ----

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (FPos >= FData.size()) return 0;
    std::size_t n = std::min(count, FData.size() - FPos);
    std::memcpy(buffer, FData.data() + FPos, n);
    FPos += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    if (FPos + count > FData.size()) FData.resize(FPos + count);
    std::memcpy(FData.data() + FPos, buffer, count);
    FPos += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = origin == TSeekOrigin::Begin     ? 0
                        : origin == TSeekOrigin::Current ? static_cast<std::int64_t>(FPos)
                                                         : static_cast<std::int64_t>(FData.size());
    std::int64_t pos = base + offset;
    FPos = static_cast<std::size_t>(std::max<std::int64_t>(pos, 0));
    return static_cast<std::int64_t>(FPos);
}

void TMemoryStream::SetSize(std::size_t size) {
    FData.resize(size);
    if (FPos > size) FPos = size;
}

void TMemoryStream::Clear() {
    FData.clear();
    FPos = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    std::int64_t size = source.Size();
    FData.assign(static_cast<std::size_t>(size), 0);
    FPos = 0;
    source.ReadBuffer(FData.data(), FData.size());
}

void TMemoryStream::LoadFromFile(const TPathName& fileName) {
    TFileStream f(fileName, TFileMode::OpenRead);
    LoadFromStream(f);
}

void TMemoryStream::SaveToStream(TStream& dest) const {
    dest.WriteBuffer(FData.data(), FData.size());
}

void TMemoryStream::SaveToFile(const TPathName& fileName) const {
    TFileStream f(fileName, TFileMode::Create);
    SaveToStream(f);
}

// ---- THandleStream and the file streams ----

#ifdef _WIN32

static HANDLE H(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

THandleStream::~THandleStream() {
    if (IsOpen()) CloseHandle(H(FHandle));
}

bool THandleStream::IsOpen() const {
    return H(FHandle) != INVALID_HANDLE_VALUE;
}

// ReadFile and WriteFile take 32-bit counts: large transfers go in 1 GiB slices.
constexpr std::size_t kMaxSlice = std::size_t(1) << 30;

std::size_t THandleStream::Read(void* buffer, std::size_t count) {
    if (!IsOpen()) return 0;
    auto* p = static_cast<std::uint8_t*>(buffer);
    return TransferAll(count, [&](std::size_t done, std::size_t left) -> std::size_t {
        DWORD got = 0;
        DWORD slice = static_cast<DWORD>(std::min(left, kMaxSlice));
        if (ReadFile(H(FHandle), p + done, slice, &got, nullptr)) return got;
        FLastError = GetLastError();
        return 0;
    });
}

std::size_t THandleStream::Write(const void* buffer, std::size_t count) {
    if (!IsOpen()) return 0;
    auto* p = static_cast<const std::uint8_t*>(buffer);
    return TransferAll(count, [&](std::size_t done, std::size_t left) -> std::size_t {
        DWORD put = 0;
        DWORD slice = static_cast<DWORD>(std::min(left, kMaxSlice));
        if (WriteFile(H(FHandle), p + done, slice, &put, nullptr)) return put;
        FLastError = GetLastError();
        return 0;
    });
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    if (!IsOpen()) return 0;
    DWORD method = origin == TSeekOrigin::Begin     ? FILE_BEGIN
                   : origin == TSeekOrigin::Current ? FILE_CURRENT
                                                    : FILE_END;
    LARGE_INTEGER dist, result;
    dist.QuadPart = offset;
    if (!SetFilePointerEx(H(FHandle), dist, &result, method)) {
        // Before the start: clamp to 0 like the memory stream.
        dist.QuadPart = 0;
        SetFilePointerEx(H(FHandle), dist, &result, FILE_BEGIN);
    }
    return result.QuadPart;
}

std::int64_t THandleStream::Size() {
    if (!IsOpen()) return 0;
    LARGE_INTEGER size;
    return GetFileSizeEx(H(FHandle), &size) ? size.QuadPart : 0;
}

TFileStream::TFileStream(const TPathName& fileName, TFileMode mode) {
    DWORD access = 0, share = 0, disposition = 0;
    switch (mode) {
    case TFileMode::Create:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    case TFileMode::OpenRead:
        access = GENERIC_READ;
        share = FILE_SHARE_READ;
        disposition = OPEN_EXISTING;
        break;
    case TFileMode::OpenWrite:
        access = GENERIC_WRITE;
        disposition = OPEN_EXISTING;
        break;
    case TFileMode::OpenReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = OPEN_EXISTING;
        break;
    }
    HANDLE h =
        CreateFileW(fileName.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const unsigned long code = LastSystemError();
        if (mode == TFileMode::Create)
            throw EFCreateError(FileErrorText("Cannot create", fileName, code), code);
        throw EFOpenError(FileErrorText("Cannot open", fileName, code), code);
    }
    FHandle = reinterpret_cast<std::intptr_t>(h);
}

TFileReadStream::TFileReadStream(const TPathName& fileName) {
    HANDLE h =
        CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    FHandle = reinterpret_cast<std::intptr_t>(h);
}

#else

THandleStream::~THandleStream() {
    if (IsOpen()) ::close(static_cast<int>(FHandle));
}

bool THandleStream::IsOpen() const {
    return FHandle >= 0;
}

std::size_t THandleStream::Read(void* buffer, std::size_t count) {
    if (!IsOpen()) return 0;
    auto* p = static_cast<std::uint8_t*>(buffer);
    return TransferAll(count, [&](std::size_t done, std::size_t left) -> std::size_t {
        ssize_t got;
        do got = ::read(static_cast<int>(FHandle), p + done, left);
        while (got < 0 && errno == EINTR);
        if (got < 0) FLastError = static_cast<unsigned long>(errno);
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    });
}

std::size_t THandleStream::Write(const void* buffer, std::size_t count) {
    if (!IsOpen()) return 0;
    auto* p = static_cast<const std::uint8_t*>(buffer);
    return TransferAll(count, [&](std::size_t done, std::size_t left) -> std::size_t {
        ssize_t put;
        do put = ::write(static_cast<int>(FHandle), p + done, left);
        while (put < 0 && errno == EINTR);
        if (put < 0) FLastError = static_cast<unsigned long>(errno);
        return put > 0 ? static_cast<std::size_t>(put) : 0;
    });
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    if (!IsOpen()) return 0;
    int whence = origin == TSeekOrigin::Begin     ? SEEK_SET
                 : origin == TSeekOrigin::Current ? SEEK_CUR
                                                  : SEEK_END;
    off_t r = ::lseek(static_cast<int>(FHandle), static_cast<off_t>(offset), whence);
    if (r < 0) r = ::lseek(static_cast<int>(FHandle), 0, SEEK_SET); // before the start: clamp to 0
    return static_cast<std::int64_t>(r);
}

std::int64_t THandleStream::Size() {
    if (!IsOpen()) return 0;
    struct stat st;
    return ::fstat(static_cast<int>(FHandle), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

TFileStream::TFileStream(const TPathName& fileName, TFileMode mode) {
    int flags = O_CLOEXEC;
    switch (mode) {
    case TFileMode::Create:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    case TFileMode::OpenRead:
        flags |= O_RDONLY;
        break;
    case TFileMode::OpenWrite:
        flags |= O_WRONLY;
        break;
    case TFileMode::OpenReadWrite:
        flags |= O_RDWR;
        break;
    }
    int fd = ::open(fileName.c_str(), flags, 0644);
    if (fd >= 0) {
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            fd = -1;
            errno = EISDIR;
        }
    }
    if (fd < 0) {
        const unsigned long code = LastSystemError();
        if (mode == TFileMode::Create)
            throw EFCreateError(FileErrorText("Cannot create", fileName, code), code);
        throw EFOpenError(FileErrorText("Cannot open", fileName, code), code);
    }
    FHandle = fd;
}

TFileReadStream::TFileReadStream(const TPathName& fileName) {
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st;
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            fd = -1;
        }
    }
    FHandle = fd;
}

#endif

std::vector<std::uint8_t> ReadWholeFile(const TPathName& fileName) {
    TFileStream f(fileName, TFileMode::OpenRead);
    std::int64_t size = f.Size();
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    f.ReadBuffer(data.data(), data.size());
    return data;
}

// ---- TTemporaryFile ----

TTemporaryFile::TTemporaryFile(const TPathName& target)
    : TTemporaryFile(target, [](const TPathName& t, int) { return RandomSibling(t); }) {}

namespace {
// Creates path exclusively (CREATE_NEW; O_CREAT | O_EXCL | O_NOFOLLOW): whatever stands
// there is never opened. -1 when it cannot; *exists tells a name taken from other failures.
std::intptr_t CreateExclusively(const TPathName& path, bool* exists) {
#ifdef _WIN32
    // DELETE: the file is renamed and, on failure, deleted through this handle.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return reinterpret_cast<std::intptr_t>(h);
    const DWORD error = GetLastError();
    *exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    return -1;
#else
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    *exists = fd < 0 && errno == EEXIST;
    return fd;
#endif
}
} // namespace

TTemporaryFile::TTemporaryFile(const TPathName& target, TNameSource nameFor) : FTarget(target) {
    // A clash with 128 random bits means a name was planted or guessed: try afresh, a few
    // times only.
    for (int attempt = 0; attempt < 16; ++attempt) {
        FPath = nameFor(target, attempt);
        if (FPath.empty()) break;
        bool exists = false;
        FHandle = CreateExclusively(FPath, &exists);
        if (FHandle != -1) return;
        if (!exists) break;
    }
    const unsigned long code = LastSystemError();
    FPath.clear();
    throw EFCreateError(FileErrorText("Cannot create", target, code), code);
}

TTemporaryFile::TTemporaryFile(const TPathName& target, const TPathName& name)
    : FTarget(target), FPath(name) {
    bool exists = false;
    FHandle = CreateExclusively(FPath, &exists);
    if (FHandle != -1) return;
    const unsigned long code = LastSystemError();
    FPath.clear();
    throw EFCreateError(FileErrorText("Cannot create", target, code), code);
}

TTemporaryFile::~TTemporaryFile() {
    Discard();
}

void TTemporaryFile::Discard() {
    if (!IsOpen()) return;
#ifdef _WIN32
    // The file this handle holds, whatever now stands under its name.
    FILE_DISPOSITION_INFO dispose{TRUE};
    SetFileInformationByHandle(H(FHandle), FileDispositionInfo, &dispose, sizeof dispose);
    CloseHandle(H(FHandle));
#else
    // Removed by name only while the name still is this very file.
    struct stat held, named;
    if (::fstat(static_cast<int>(FHandle), &held) == 0 && ::lstat(FPath.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        ::unlink(FPath.c_str());
    ::close(static_cast<int>(FHandle));
#endif
    FHandle = -1;
}

#ifndef _WIN32
namespace {

// rename() that fails with EEXIST instead of replacing an existing file. renameat2 does it
// in one step; where the system or the file system lacks it (NFS), a hard link under the
// new name does, the old name going afterwards.
bool RenameNoReplace(const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
    if (::link(from, to) != 0) return false;
    ::unlink(from);
    return true;
}

} // namespace
#endif

// Renames the file to the target through its handle: the very file written, not what its
// name may stand for now. The handle stays open.
bool TTemporaryFile::Rename(bool replace) {
#ifdef _WIN32
    const std::size_t nameBytes = FTarget.size() * sizeof(wchar_t);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, FTarget.c_str(), nameBytes);
    if (!SetFileInformationByHandle(H(FHandle), FileRenameInfo, rename, static_cast<DWORD>(buffer.size())))
        return false;
#else
    if (replace ? ::rename(FPath.c_str(), FTarget.c_str()) != 0
                : !RenameNoReplace(FPath.c_str(), FTarget.c_str()))
        return false;
#endif
    FPath = FTarget;
    return true;
}

void TTemporaryFile::Flush() {
    if (!IsOpen()) throw EFCreateError("Cannot create file \"" + PathToCp932(FTarget) + "\".");
#ifdef _WIN32
    const bool ok = FlushFileBuffers(H(FHandle));
#else
    const bool ok = ::fsync(static_cast<int>(FHandle)) == 0;
#endif
    if (ok) return;
    const unsigned long code = LastSystemError();
    throw EWriteError(FileErrorText("Cannot write", FTarget, code), code);
}

void TTemporaryFile::MoveIn() {
    if (!IsOpen()) throw EFCreateError("Cannot create file \"" + PathToCp932(FTarget) + "\".");
    if (Rename(false)) return;
    const unsigned long code = LastSystemError();
    throw EFCreateError(FileErrorText("Cannot create", FTarget, code), code);
}

void TTemporaryFile::Keep() {
    if (!IsOpen()) return;
#ifdef _WIN32
    CloseHandle(H(FHandle));
#else
    ::close(static_cast<int>(FHandle));
#endif
    FHandle = -1;
}

void TTemporaryFile::Commit() {
#ifdef _WIN32
    const bool ok = IsOpen() && FlushFileBuffers(H(FHandle)) && Rename(true);
#else
    const bool ok = IsOpen() && ::fsync(static_cast<int>(FHandle)) == 0 && Rename(true);
#endif
    if (ok) {
        Keep();
        return;
    }
    const unsigned long code = LastSystemError();
    Discard();
    throw EFCreateError(FileErrorText("Cannot create", FTarget, code), code);
}

namespace {

// Writes all of data to a fresh temporary file; raises EWriteError naming its target.
void WriteAll(TTemporaryFile& tmp, const TPathName& target, const void* data, std::size_t size) {
    if (size != 0 && tmp.Write(data, size) != size)
        throw EWriteError(FileErrorText("Cannot write", target, tmp.LastError()), tmp.LastError());
}

} // namespace

void WriteFileAtomically(const TPathName& fileName, const void* data, std::size_t size) {
    // The temporary file sits beside the target, so the rename never crosses volumes.
    TTemporaryFile tmp(fileName);
    WriteAll(tmp, fileName, data, size);
    tmp.Commit();
}

void WriteFilesTogether(const std::vector<TFileWrite>& files) {
    const auto stage = [](const TPathName& target, const void* data, std::size_t size) {
        auto tmp = std::make_unique<TTemporaryFile>(target);
        WriteAll(*tmp, target, data, size);
        tmp->Flush();
        return tmp;
    };
    // Every file's new bytes, and the bytes it holds now when it is a file, are on the disk
    // before anything under a real name changes; the undo itself is then a rename.
    struct TStaged {
        std::unique_ptr<TTemporaryFile> New, Earlier;
    };
    std::vector<TStaged> staged;
    staged.reserve(files.size());
    for (const TFileWrite& f : files) {
        TStaged s;
        s.New = stage(f.FileName, f.Data, f.Size);
        if (FileExistsName(f.FileName)) {
            const std::vector<std::uint8_t> earlier = ReadWholeFile(f.FileName);
            s.Earlier = stage(f.FileName, earlier.data(), earlier.size());
        }
        staged.push_back(std::move(s));
    }
    // A file that was not there is only moved in, never put over one that appeared in the
    // meantime, and stays open until all are in: taking it out again deletes this very file.
    std::size_t placed = 0;
    try {
        for (; placed < staged.size(); ++placed) {
            if (staged[placed].Earlier)
                staged[placed].New->Commit();
            else
                staged[placed].New->MoveIn();
        }
    } catch (...) {
        // Undone newest first, each as far as it goes: the error reported is the one that
        // stopped the writing.
        while (placed-- > 0) {
            try {
                if (staged[placed].Earlier)
                    staged[placed].Earlier->Commit();
                else
                    staged[placed].New->Discard();
            } catch (...) {
            }
        }
        throw;
    }
    for (TStaged& s : staged) s.New->Keep();
}
