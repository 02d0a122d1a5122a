#include "app/uInstallLog.h"

#include "platform/uShellUtils.h"
#include "platform/uWinHandles.h"
#include "store/uText.h"

#include <windows.h>

namespace installlog {
namespace {

UniqueHandle gFile;
void (*gRelay)(std::string_view) = nullptr;

} // namespace

bool Open(const std::wstring& path) {
    // Read by others while it is written (an administrator's tail), never shared for writing.
    // The name itself is opened, never what a link there points to (a starter running as an
    // administrator would otherwise write wherever the link leads), and a file that has
    // other names too is left alone: only then is it emptied.
    // A folder on the way may be a link too: the file opened must be the one the path names
    // when the system resolves it (long forms, any case); a file this call made elsewhere
    // goes again.
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return false;
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool itself =
        GetFileInformationByHandle(file.Get(), &info) &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
        info.nNumberOfLinks == 1 && SameFileName(FinalPathOf(file.Get()), LongPathOf(FullPathOf(path)));
    if (!itself) {
        if (created) {
            FILE_DISPOSITION_INFO dispose{TRUE};
            SetFileInformationByHandle(file.Get(), FileDispositionInfo, &dispose, sizeof dispose);
        }
        return false;
    }
    if (!SetEndOfFile(file.Get())) return false;
    gFile = std::move(file);
    return true;
}

void RelayTo(void (*relay)(std::string_view)) {
    gRelay = relay;
}

void Line(std::string_view text) {
    if (gRelay) return gRelay(text);
    if (!gFile) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string stamp;
    auto digits = [&](unsigned value, int count, char after) {
        for (int unit = count == 4 ? 1000 : count == 3 ? 100 : 10; unit > 0; unit /= 10)
            stamp += static_cast<char>('0' + value / unit % 10);
        stamp += after;
    };
    digits(now.wYear, 4, '-');
    digits(now.wMonth, 2, '-');
    digits(now.wDay, 2, ' ');
    digits(now.wHour, 2, ':');
    digits(now.wMinute, 2, ':');
    digits(now.wSecond, 2, '.');
    digits(now.wMilliseconds, 3, ' ');
    // Whatever the line names (a path, a version, a step's text), it stays one line.
    const std::string utf8 = WideToUtf8(ToWide(stamp + EscapeControls932(text) + "\r\n"));
    if (utf8.empty()) return;
    DWORD written = 0;
    // A line that cannot be written is lost; the installation does not depend on its log.
    WriteFile(gFile.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

} // namespace installlog
