// Loading a hive of 1, 16 and 64 MiB in three shapes: deep (keys 512 levels deep, the most the
// registry allows, each with its own header as the registry writes them, one chain after the
// other), wide (sibling keys under one key) and many values in one key. Each iteration reads
// the whole file through the registry (a read of the root key keeps every value).
// Targets: time and memory grow linearly with the size; 64 MiB of any shape loads in under 2 s
// and with a peak memory growth under 4 times the file's size.
//
// Counters: MiB (file size), MiB_per_s, peak_growth_MiB (highest resident memory during one
// load above what the process held before it, from VmHWM after resetting it) and
// peak_per_file (that growth divided by the file size).
#include <malloc.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>

#include "platform/registry.h"

namespace fs = std::filesystem;
using namespace plenova::platform;

namespace {

enum Shape : int { kDeep, kWide, kValues };

constexpr std::size_t kMiB = 1u << 20;

// Writes a hive of about `bytes` (never more than the registry reads) in the given shape.
void WriteHive(const fs::path& path, Shape shape, std::size_t bytes) {
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    const std::size_t limit = bytes - 64;
    char number[32];
    if (shape == kDeep) {
        for (int chain = 0;; ++chain) {
            std::string key = "HKEY_CURRENT_USER\\Chain" + std::to_string(chain);
            std::string block;
            for (int level = 1; level < 512; ++level) {
                key += "\\Level";
                block += "[" + key + "]\n";
                std::snprintf(number, sizeof number, "\"Depth\"=dword:%08x\n\n", level);
                block += number;
            }
            if (text.size() + block.size() > limit) break;
            text += block;
        }
        if (text.size() < limit / 2) throw std::logic_error("hive too small for one chain");
    } else if (shape == kWide) {
        for (int i = 0;; ++i) {
            std::snprintf(number, sizeof number, "%07d", i);
            const std::string line =
                "[HKEY_CURRENT_USER\\Software\\Wide\\Key" + std::string(number) + "]\n\n";
            if (text.size() + line.size() > limit) break;
            text += line;
        }
    } else {
        text += "[HKEY_CURRENT_USER\\Software\\Many]\n";
        for (int i = 0;; ++i) {
            char line[64];
            if (i % 2 == 0)
                std::snprintf(line, sizeof line, "\"Value%07d\"=dword:%08x\n", i,
                              static_cast<unsigned>(i));
            else
                std::snprintf(line, sizeof line, "\"Name%07d\"=\"text %07d\"\n", i, i);
            if (text.size() + std::strlen(line) > limit) break;
            text += line;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS").
double StatusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) return std::stod(line.substr(prefix.size()));
    return 0;
}

// Gives freed memory back to the system, so that the next load cannot reuse it unseen, and
// resets VmHWM to the current resident size (Linux 4.0 and later).
void ResetPeak() {
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_LoadHive(benchmark::State& state) {
    const auto shape = static_cast<Shape>(state.range(0));
    const std::size_t bytes = static_cast<std::size_t>(state.range(1)) * kMiB;
    std::string pattern = (fs::temp_directory_path() / "plenova-hive-bench-XXXXXX").string();
    const fs::path folder = ::mkdtemp(pattern.data());
    const fs::path hive = folder / "user.reg";
    WriteHive(hive, shape, bytes);
    const double fileBytes = static_cast<double>(fs::file_size(hive));
    Registry reg(hive, folder / "system.reg");

    double peakGrowth = 0;
    for (auto _ : state) {
        ResetPeak();
        const double before = StatusKiB("VmRSS");
        auto values = reg.Values(Hive::CurrentUser, "");
        benchmark::DoNotOptimize(values);
        peakGrowth = std::max(peakGrowth, (StatusKiB("VmHWM") - before) * 1024.0);
    }
    // What was loaded is what was written.
    if (shape == kWide && reg.SubKeys(Hive::CurrentUser, "Software\\Wide")->empty())
        state.SkipWithError("no keys read");
    if (shape == kValues && reg.Values(Hive::CurrentUser, "Software\\Many")->empty())
        state.SkipWithError("no values read");
    if (shape == kDeep && !reg.KeyExists(
                              Hive::CurrentUser, "Chain0" + [] {
                                  std::string s;
                                  for (int level = 1; level < 512; ++level) s += "\\Level";
                                  return s;
                              }()))
        state.SkipWithError("no deep key read");

    state.counters["MiB"] = fileBytes / kMiB;
    state.counters["MiB_per_s"] =
        benchmark::Counter(fileBytes / kMiB, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peak_growth_MiB"] = peakGrowth / kMiB;
    state.counters["peak_per_file"] = peakGrowth / fileBytes;
    std::error_code ec;
    fs::remove_all(folder, ec);
}
BENCHMARK(BM_LoadHive)
    ->ArgNames({"shape", "MiB"})
    ->ArgsProduct({{kDeep, kWide, kValues}, {1, 16, 64}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
