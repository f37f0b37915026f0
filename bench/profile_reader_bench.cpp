// The setup script reader on a script with the longest list the setup program reads (32767
// Copy entries of Japanese and ASCII names, about 1 MB). Reading the whole list one value at a
// time must not parse the file once per value: through ProfileCache a read costs a stat and a
// hash lookup, where loading the file for every read makes the whole list quadratic.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "platform/text_conversion.h"
#include "setup/profile_reader.h"

namespace fs = std::filesystem;
using namespace plenova::setup;

namespace {

std::string Script(int entries) {
    std::string text = "[SETUP]\r\nTitle=Plenova Saver\r\n";
    for (int n = 1; n <= entries; ++n) {
        text += "Copy" + std::to_string(n) + "=" + (n % 2 ? "背景" : "Ani") +
                std::to_string(n) + ".bmp,,$WIN\\Data\r\n";
    }
    return plenova::platform::ToShiftJis(text);
}

struct ScriptFile {
    fs::path folder;
    fs::path path;
    explicit ScriptFile(int entries) {
        std::string pattern = (fs::temp_directory_path() / "plenova-bench-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        path = folder / "SETUP.ini";
        std::ofstream(path, std::ios::binary) << Script(entries);
    }
    ~ScriptFile() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

void BM_Parse(benchmark::State& state) {
    const std::string bytes = Script(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ProfileFile::Parse(bytes));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_Parse)->Arg(1000)->Arg(32767)->Unit(benchmark::kMillisecond);

// One value of a parsed file, converted to UTF-8 (half of the names are Japanese).
void BM_ValueOfParsedFile(benchmark::State& state) {
    const ProfileFile file = ProfileFile::Parse(Script(32767));
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(file.Value("SETUP", "Copy" + std::to_string(n % 32767 + 1)));
        ++n;
    }
}
BENCHMARK(BM_ValueOfParsedFile);

// One value through the cache: what each read of a numbered list costs.
void BM_ValueThroughCache(benchmark::State& state) {
    const ScriptFile script(32767);
    ProfileCache cache;
    int n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            cache.Get(script.path).Value("SETUP", "Copy" + std::to_string(n % 32767 + 1)));
        ++n;
    }
}
BENCHMARK(BM_ValueThroughCache);

// One value with the file loaded and parsed for it alone.
void BM_ValueLoadingTheFile(benchmark::State& state) {
    const ScriptFile script(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ProfileFile::Load(script.path).Value("SETUP", "Copy1"));
    }
}
BENCHMARK(BM_ValueLoadingTheFile)->Arg(1000)->Arg(32767)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
