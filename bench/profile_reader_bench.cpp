// The setup script reader on a script with the longest list the setup program reads (32767
// Copy entries of Japanese and ASCII names, about 1 MB). The setup program parses its script
// once; each value of a numbered list is then a hash lookup and a conversion.
#include <string>

#include <benchmark/benchmark.h>

#include "platform/text_conversion.h"
#include "setup/profile_reader.h"

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

}  // namespace

BENCHMARK_MAIN();
