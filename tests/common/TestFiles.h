#pragma once
// A temporary folder per test, removed afterwards, and small file helpers.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

class TempDir {
public:
    TempDir() {
        std::random_device rd;
        FPath = std::filesystem::temp_directory_path() /
                ("scrtest-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(FPath);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(FPath, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return FPath; }
    std::filesystem::path operator/(const std::string& name) const { return FPath / name; }

private:
    std::filesystem::path FPath;
};

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void WriteBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& data) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// A file's bytes as text (a log, a manifest).
inline std::string ReadText(const std::filesystem::path& p) {
    const std::vector<std::uint8_t> bytes = ReadBytes(p);
    return std::string(bytes.begin(), bytes.end());
}

inline bool IsEmptyFolder(const std::filesystem::path& dir) {
    return std::filesystem::is_directory(dir) && std::filesystem::is_empty(dir);
}

inline std::vector<std::uint8_t> Bytes(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}
