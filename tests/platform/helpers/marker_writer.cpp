// Test helper started through a file association: proves that it ran and what it was given
// by writing "<argument count>\n<first argument as UTF-8>" to "<first argument>.marker".
// The text goes to a temporary name first, so a waiting test never sees half a marker.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring marker = std::wstring(argv[1]) + L".marker";
    const std::wstring partial = marker + L".partial";
    std::string text = std::to_string(argc - 1) + "\n";
    int n = WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, arg.data(), n, nullptr, nullptr);
    text += arg;

    HANDLE f = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
    if (!ok || !MoveFileExW(partial.c_str(), marker.c_str(), MOVEFILE_REPLACE_EXISTING)) return 4;
    return 0;
}
