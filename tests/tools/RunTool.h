#pragma once
// Runs a built tool as a separate process and collects its exit code and output.
#include <string>
#include <vector>

struct TRunResult {
    int ExitCode = -1;
    std::string Out; // standard output, byte for byte
    std::string Err;
};

// Runs scrpack (beside the test program's build output) with UTF-8 arguments.
TRunResult RunScrpack(const std::vector<std::string>& args);
