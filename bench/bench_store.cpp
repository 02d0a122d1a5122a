// ReadItems against plain zlib uncompress of the same stream, and DecompressBuffer's time
// against its output size (it must grow linearly).
#include "store/uExeAdder.h"
#include "store/uZCompress.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <malloc.h>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Data shaped like a small Windows program: x86 instruction sequences with varying
// operands, import and resource strings, tables of addresses and zero padding. It
// deflates to roughly 40 % of its size, as real screensavers do.
Bytes ScreensaverLike(std::size_t size) {
    static const Bytes kOps[] = {{0x55},       {0x8B, 0xEC}, {0x83, 0xEC}, {0x89, 0x45}, {0x8B, 0x45},
                                 {0xE8},       {0xFF, 0x15}, {0x6A},       {0x50},       {0x5D, 0xC3},
                                 {0x85, 0xC0}, {0x74},       {0x0F, 0x84}, {0x33, 0xC0}, {0xC7, 0x45}};
    static const char* const kStrings[] = {"GetModuleHandleA",
                                           "CreateWindowExA",
                                           "BitBlt",
                                           "SelectObject",
                                           "ShockwaveFlash.ShockwaveFlash",
                                           "Control Panel\\Desktop",
                                           "ScreenSaveActive",
                                           "kernel32.dll",
                                           "user32.dll",
                                           "gdi32.dll"};
    std::mt19937 rng(2024);
    Bytes out;
    out.reserve(size);
    while (out.size() < size) {
        const auto kind = rng() % 100;
        if (kind < 70) { // a run of instructions
            for (int i = 0; i < 12; ++i) {
                const Bytes& op = kOps[rng() % 15];
                out.insert(out.end(), op.begin(), op.end());
                const auto operands = rng() % 3;
                for (unsigned k = 0; k < operands; ++k) out.push_back(static_cast<std::uint8_t>(rng() % 64));
            }
        } else if (kind < 85) { // an address table
            const std::uint32_t base = 0x00401000u + (rng() % 0x10000u);
            for (int i = 0; i < 8; ++i) {
                const std::uint32_t a = base + static_cast<std::uint32_t>(rng() % 0x400);
                for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(a >> (8 * k)));
            }
        } else if (kind < 95) { // a string
            const std::string s = kStrings[rng() % 10];
            out.insert(out.end(), s.begin(), s.end());
            out.push_back(0);
        } else { // section padding
            out.insert(out.end(), 16 + rng() % 112, 0);
        }
    }
    out.resize(size);
    return out;
}

// One file with a stub and a container holding a 1 MB "SCR" item; shared by the pair of
// benchmarks below so both inflate the very same stream.
struct TFixture {
    std::filesystem::path Path;
    Bytes Original;
    Bytes Stream;
    TFixture() {
        Original = ScreensaverLike(1 << 20);
        Stream = CompressBuffer(Original.data(), Original.size());
        Path = std::filesystem::temp_directory_path() /
               ("bench_store_" + std::to_string(std::random_device()()));
        std::FILE* f = std::fopen(Path.string().c_str(), "wb");
        std::fwrite("MZ-stub-", 1, 8, f);
        std::fclose(f);
        TItemType item;
        item.Name = "SCR";
        item.Data = Original;
        item.Size = static_cast<std::int32_t>(Original.size());
        item.Compressed = true;
        WriteItemsWithKey(Path, {item}, 99);
    }
    ~TFixture() {
        std::error_code ec;
        std::filesystem::remove(Path, ec);
    }
};

TFixture& Fixture() {
    static TFixture fixture;
    return fixture;
}

// Returns the freed heap to the system so the next iteration starts on fresh pages, as
// the installer's single read at start-up does.
void ColdHeap(benchmark::State& state) {
    state.PauseTiming();
    malloc_trim(0);
    state.ResumeTiming();
}

void BM_ReadItems_1MB(benchmark::State& state) {
    TFixture& f = Fixture();
    TItemTypes items;
    for (auto _ : state) {
        if (state.range(0)) ColdHeap(state);
        ReadItems(f.Path, items);
        benchmark::DoNotOptimize(items.data());
        if (items.size() != 1 || items[0].Data.size() != f.Original.size()) state.SkipWithError("bad read");
        FreeItems(items);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(f.Original.size()));
    state.counters["ratio_pct"] =
        100.0 * static_cast<double>(f.Stream.size()) / static_cast<double>(f.Original.size());
}
BENCHMARK(BM_ReadItems_1MB)->ArgName("cold")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same stream with zlib's one-call uncompress into a buffer of the known size, which
// is allocated afresh each time as ReadItems must.
void BM_ZlibUncompress_1MB(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        if (state.range(0)) ColdHeap(state);
        Bytes out(f.Original.size());
        uLongf n = static_cast<uLongf>(out.size());
        if (uncompress(out.data(), &n, f.Stream.data(), static_cast<uLong>(f.Stream.size())) != Z_OK)
            state.SkipWithError("uncompress failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(f.Original.size()));
}
BENCHMARK(BM_ZlibUncompress_1MB)->ArgName("cold")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Highly compressible data: a 4 KB block of text repeated (about 1:300).
const Bytes& Compressible(std::size_t size) {
    static std::vector<std::pair<std::size_t, Bytes>> cache;
    for (auto& [s, stream] : cache)
        if (s == size) return stream;
    Bytes block;
    for (int i = 0; block.size() < 4096; ++i) {
        const std::string line = "frame " + std::to_string(i) + ": draw the next star at (x, y)\n";
        block.insert(block.end(), line.begin(), line.end());
    }
    block.resize(4096);
    Bytes data;
    data.reserve(size);
    while (data.size() < size) data.insert(data.end(), block.begin(), block.end());
    data.resize(size);
    cache.emplace_back(size, CompressBuffer(data.data(), data.size()));
    return cache.back().second;
}

void BM_DecompressBuffer(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0)) << 20;
    const Bytes& stream = Compressible(size);
    for (auto _ : state) {
        Bytes out = DecompressBuffer(stream.data(), stream.size());
        if (out.size() != size) state.SkipWithError("bad size");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
    state.counters["stream_KB"] = static_cast<double>(stream.size()) / 1024.0;
}
BENCHMARK(BM_DecompressBuffer)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMillisecond);

} // namespace
