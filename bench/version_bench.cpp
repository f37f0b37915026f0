// The version reader on the worst file a setup medium can hand it: an ELF file whose 65535
// section headers and 65535 program headers all name one area of 60000 notes over 16 MiB, none
// of them the version note. Read naively, every header walks every note again (hours); the
// reader must answer in under 50 ms. memcpy of the 16 MiB area in the same run is the physical
// reference: the ratio says how the answer compares with merely touching the file's notes once.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "setup/tavorin/file_version.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned kHeaders = 65535;
constexpr unsigned kNotes = 60000;
constexpr std::size_t kAreaBytes = 16 << 20;

void Put(std::string& b, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

std::string HostileElf() {
    const std::size_t stride = kAreaBytes / kNotes & ~std::size_t{3};
    const std::size_t phoff = 64, shoff = phoff + kHeaders * 56;
    const std::size_t area = (shoff + kHeaders * 64 + 7) & ~std::size_t{7};
    const std::size_t size = kNotes * stride;
    std::string b(area + size, '\0');
    b.replace(0, 7, "\x7F" "ELF\x02\x01\x01");
    Put(b, 0x20, phoff, 8);
    Put(b, 0x28, shoff, 8);
    Put(b, 0x36, 56, 2);
    Put(b, 0x38, kHeaders, 2);
    Put(b, 0x3A, 64, 2);
    Put(b, 0x3C, kHeaders, 2);
    for (std::size_t i = 0; i < kHeaders; ++i) {
        const std::size_t ph = phoff + i * 56, sh = shoff + i * 64;
        Put(b, ph, 4, 4);  // PT_NOTE
        Put(b, ph + 8, area, 8);
        Put(b, ph + 32, size, 8);
        Put(b, ph + 48, 4, 8);
        Put(b, sh + 4, 7, 4);  // SHT_NOTE
        Put(b, sh + 24, area, 8);
        Put(b, sh + 32, size, 8);
        Put(b, sh + 48, 4, 8);
    }
    for (std::size_t n = 0; n < kNotes; ++n) {
        Put(b, area + n * stride + 4, stride - 12, 4);  // no name, a filler description
        Put(b, area + n * stride + 8, 1, 4);
    }
    return b;
}

struct HostileFile {
    fs::path folder;
    fs::path path;
    HostileFile() {
        std::string pattern = (fs::temp_directory_path() / "plenova-bench-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        path = folder / "HOSTILE.DLL";
        std::ofstream(path, std::ios::binary) << HostileElf();
    }
    ~HostileFile() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    return n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

template <class Body>
double Seconds(Body body) {
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ReadFileVersionOfHostileElf(benchmark::State& state) {
    const HostileFile file;
    std::vector<char> from(kAreaBytes, 1), to(kAreaBytes, 0);
    std::vector<double> readTimes, copyTimes;
    bool found = false;
    for (auto _ : state) {
        const double read = Seconds([&] {
            found = plenova::tavorin::ReadFileVersion(file.path).has_value() || found;
        });
        const double copy = Seconds([&] {
            std::memcpy(to.data(), from.data(), kAreaBytes);
            benchmark::DoNotOptimize(to.data());
            benchmark::ClobberMemory();
        });
        readTimes.push_back(read);
        copyTimes.push_back(copy);
        state.SetIterationTime(read);
    }
    if (found) state.SkipWithError("a version in a file that has none");
    const double read = Median(readTimes), copy = Median(copyTimes);
    state.counters["ReadFileVersion_ms"] = read * 1000;
    state.counters["memcpy_16MiB_ms"] = copy * 1000;
    state.counters["ratio"] = read / copy;
    if (read > 0.050) state.SkipWithError("over the 50 ms bound");
}
BENCHMARK(BM_ReadFileVersionOfHostileElf)
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
