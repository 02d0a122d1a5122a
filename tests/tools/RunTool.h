#pragma once
// Runs a built tool as a separate process and collects its exit code and output.
#include <filesystem>
#include <string>
#include <vector>

struct TRunResult {
    int ExitCode = -1;
    std::string Out; // standard output, byte for byte
    std::string Err;
};

// Runs scrpack (beside the test program's build output) with UTF-8 arguments.
TRunResult RunScrpack(const std::vector<std::string>& args);

// A path argument as UTF-8.
inline std::string Arg(const std::filesystem::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}
