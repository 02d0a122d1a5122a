// Entry point: hands the UTF-8 arguments to RunScrPack.
#include "ScrPack.h"

#include "store/uText.h"

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

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
