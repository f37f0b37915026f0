// The settings store reads the hive file on every call (no cache), so a read's cost is a lock,
// a file read and a parse. Target: a ReadSetting in a few hundred microseconds at most, on a
// hive far larger than this system ever writes.
#include <stdlib.h>

#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/settings_store.h"

namespace fs = std::filesystem;
using namespace plenova::platform;

namespace {

struct BenchMachine {
    fs::path root;
    std::unique_ptr<ScopedMachine> machine;
    explicit BenchMachine(int extraKeys) {
        std::string pattern = (fs::temp_directory_path() / "plenova-bench-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        machine = std::make_unique<ScopedMachine>(root);
        Registry reg(**machine);
        WriteSetting("PlenovaSaver", "App", "Dir", "C:\\Program Files\\Plenova");
        WriteSetting("PlenovaSaver", "Set", "Mouse", "3");
        WriteSetting("PlenovaSaver", "User", "Usepassword", "1");
        WriteSetting("PlenovaSaver", "User", "Pass", "パスワード");
        // Other software's keys, and an uninstall log, in the same hive.
        for (int k = 0; k < extraKeys; ++k)
            for (int v = 0; v < 10; ++v)
                reg.SetString(Hive::CurrentUser, "Software\\Vendor" + std::to_string(k) + "\\Settings",
                              "Value" + std::to_string(v), "C:\\Some\\Path\\" + std::to_string(v));
    }
    ~BenchMachine() {
        machine.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

void BM_ReadSetting(benchmark::State& state) {
    BenchMachine bench(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ReadSetting("PlenovaSaver", "User", "Pass", ""));
    state.counters["hive_bytes"] = static_cast<double>(fs::file_size(bench.root / "user.reg"));
}
BENCHMARK(BM_ReadSetting)->Arg(0)->Arg(20)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_ReadMissingSetting(benchmark::State& state) {
    BenchMachine bench(20);
    for (auto _ : state) benchmark::DoNotOptimize(ReadSetting("ZEVRA6", "Set", "Mute", "0"));
}
BENCHMARK(BM_ReadMissingSetting)->Unit(benchmark::kMicrosecond);

// Includes two fsyncs, so it measures the disk as much as the code.
void BM_WriteSetting(benchmark::State& state) {
    BenchMachine bench(20);
    int i = 0;
    for (auto _ : state) WriteSetting("PlenovaSaver", "Set", "Mouse", std::to_string(++i % 10));
}
BENCHMARK(BM_WriteSetting)->Unit(benchmark::kMicrosecond);

void BM_PathToHost(benchmark::State& state) {
    BenchMachine bench(0);
    for (auto _ : state) benchmark::DoNotOptimize(CurrentMachine().ToHost("c:\\windows\\system\\tavorin.dll"));
}
BENCHMARK(BM_PathToHost)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
