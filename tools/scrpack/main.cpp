// Entry point: hands the UTF-8 arguments to RunScrPack.
#include "ScrPack.h"

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {
std::string WideToUtf8(const wchar_t* w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    s.resize(static_cast<std::size_t>(n - 1));
    return s;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    // Extracted items go to stdout byte for byte; text is UTF-8 on a console too.
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(WideToUtf8(argv[i]));
    return RunScrPack(args, std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return RunScrPack(args, std::cout, std::cerr);
}
#endif
