#pragma once
// Byte streams: the abstract stream, a growable memory stream and file streams.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

// A file name as the system takes it: UTF-16 on Windows, bytes elsewhere. A plain string
// rather than std::filesystem::path keeps the programs small (a static build that
// constructs one path object grows by most of a megabyte); std::filesystem::path values
// convert to it implicitly.
#ifdef _WIN32
using TPathName = std::wstring;
#else
using TPathName = std::string;
#endif

// Small file-system operations on native names; false (or nothing) when they fail.
bool FileExistsName(const TPathName& fileName);      // an existing file, not a folder
bool DirectoryExistsName(const TPathName& fileName); // an existing folder
bool ResizeFileName(const TPathName& fileName, std::int64_t size);
// The system's own text for an error code (a Win32 code, code page 932 text, on Windows;
// an errno elsewhere), without its line break.
std::string SystemErrorText(unsigned long code);
// The system's code behind an error: Exception::SystemError(), "not enough memory" for
// std::bad_alloc, 0 for anything else.
unsigned long SystemErrorOf(std::exception_ptr error);

enum class TSeekOrigin { Begin, Current, End };

class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Transfers up to count bytes; returns how many were transferred.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // Moves the position; returns the new position. Seeking before the start clamps to 0.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size();

    std::int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::Begin); }
    // Bytes from the position to the end (never negative).
    std::int64_t Remaining();

    // Exactly count bytes, or EReadError / EWriteError carrying LastError().
    void ReadBuffer(void* buffer, std::size_t count);
    void WriteBuffer(const void* buffer, std::size_t count);
    // Copies count bytes from source (all of it from its start when count is 0);
    // returns the number copied.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
    // The system's code of the last failed transfer of a file stream; 0 for memory.
    virtual unsigned long LastError() const { return 0; }
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> data) : FData(std::move(data)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }

    void SetSize(std::size_t size);
    void Clear();
    const std::uint8_t* Memory() const { return FData.data(); }
    std::uint8_t* Memory() { return FData.data(); }
    const std::vector<std::uint8_t>& Bytes() const { return FData; }
    std::vector<std::uint8_t>& Bytes() { return FData; }

    void LoadFromStream(TStream& source);
    void LoadFromFile(const TPathName& fileName);
    void SaveToStream(TStream& dest) const;
    void SaveToFile(const TPathName& fileName) const;

private:
    std::vector<std::uint8_t> FData;
    std::size_t FPos = 0;
};

// A stream over an open file handle; the file is closed when the stream is destroyed.
class THandleStream : public TStream {
public:
    ~THandleStream() override;
    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override;
    bool IsOpen() const;
    unsigned long LastError() const override { return FLastError; }

protected:
    THandleStream() = default;
    std::intptr_t FHandle = -1; // a HANDLE on Windows, a file descriptor elsewhere
    unsigned long FLastError = 0;
};

enum class TFileMode {
    Create,       // create or truncate, read/write, no sharing for writers
    OpenRead,     // existing file, read only, others may read
    OpenWrite,    // existing file, write only, no sharing, content kept
    OpenReadWrite // existing file, read/write, no sharing, content kept
};

class TFileStream : public THandleStream {
public:
    // Raises EFOpenError (EFCreateError for Create) naming the file when it cannot be opened.
    TFileStream(const TPathName& fileName, TFileMode mode);
};

// Read-only stream over a file that other processes, and the running program itself,
// may hold open: shares reading and writing with everybody. A file that cannot be opened
// gives a stream without a file: every read transfers nothing and the size is 0.
class TFileReadStream : public THandleStream {
public:
    explicit TFileReadStream(const TPathName& fileName);
};

// A new file beside a target, to be renamed over it once complete: the one way the programs
// write a file that must never be seen half-written. Its name, "<target>.~<32 hex>.tmp",
// comes from the system's random generator, and it is created exclusively (CREATE_NEW;
// O_CREAT | O_EXCL | O_NOFOLLOW): whatever already stands under such a name (a file, a
// link planted by someone else) is never opened, followed or overwritten; another random
// name is tried instead. The file is written through this stream only, never reopened by
// name. Unless committed it is deleted when the object goes away.
class TTemporaryFile : public THandleStream {
public:
    // Raises EFCreateError naming the target when no such file can be created.
    explicit TTemporaryFile(const TPathName& target);
    // The same with the names to try given by nameFor(target, attempt) (tests plant files
    // under the names it gives).
    using TNameSource = TPathName (*)(const TPathName& target, int attempt);
    TTemporaryFile(const TPathName& target, TNameSource nameFor);
    // The file under exactly name, created exclusively, once: the files of one change to an
    // installation share one id in their names, so a later run can tell them apart.
    TTemporaryFile(const TPathName& target, const TPathName& name);
    ~TTemporaryFile() override;
    const TPathName& Path() const { return FPath; }
    // Flushes the data to the disk (so a power loss cannot leave an empty file under the
    // real name), then renames the file over the target. Raises EFCreateError naming the
    // target; the temporary file is then deleted.
    void Commit();

    // The steps of Commit for a caller that must be able to take the file back out:
    // Flush, then MoveIn renames it to the target, which must not exist (nothing is
    // replaced), keeping it open, so that until Keep the object still deletes it (through
    // its handle) when it goes away or on Discard. Each raises EWriteError / EFCreateError
    // naming the target; the file stays as it was.
    void Flush();
    void MoveIn();
    void Keep();
    // Deletes the file, wherever it stands now.
    void Discard();

private:
    bool Rename(bool replace);
    TPathName FTarget, FPath;
};

// 32 lowercase hex digits from the system's random generator, the id of one change to an
// installation (uPayloadFormat.h); empty when the generator fails.
std::string NewChangeId();
// "<fileName>.~<id><suffix>": a name of that change beside fileName.
TPathName MarkedSibling(const TPathName& fileName, std::string_view id, std::string_view suffix);

// Whole-file helpers built on the streams above.
std::vector<std::uint8_t> ReadWholeFile(const TPathName& fileName);

// Writes data to a TTemporaryFile in the target's folder and renames it over the target,
// so a failed or interrupted write never leaves a truncated file under the real name.
// Raises EFCreateError / EWriteError naming the target.
void WriteFileAtomically(const TPathName& fileName, const void* data, std::size_t size);

// One file for WriteFilesTogether: its name and the bytes it is to hold.
struct TFileWrite {
    TPathName FileName;
    const void* Data;
    std::size_t Size;
};
// Writes the files all or none. Each is written and flushed under a TTemporaryFile beside
// it (with a copy of the bytes it holds now, when it is a file) before the first is put in
// place; when one cannot be put in place, those put in place before it are undone: a file
// that was there gets its earlier bytes back, a new one is deleted. Raises the error of the
// file that failed (EFOpenError, EFCreateError, EWriteError naming it).
void WriteFilesTogether(const std::vector<TFileWrite>& files);
