// The setup program copies in 16 KiB blocks and lets window events run between blocks, so that
// its progress window stays responsive. Target: CopyOneFile of a 64 MiB file within 1.5 times
// the time of cp on the same file, with a real Qt event pump between the blocks.
//
// BM_CopyAgainstCp times both in the same run, taking turns, and reports the ratio of their
// medians; BM_EventPump the cost of one pump (Qt's processEvents with nothing pending, and the
// scripted stand-in's).
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include "platform/machine.h"
#include "platform/message_box.h"
#include "setup/module1.h"
#include "setup/scripted_windows.h"
#include "setup/support_library.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace plenova;

namespace {

constexpr std::int64_t kFileBytes = 64 << 20;

// The scripted windows with Qt's own event pump between the blocks.
class QtPumpWindows : public setup::ScriptedWindows {
public:
    void PumpEvents() override {
        QCoreApplication::processEvents();
        ScriptedWindows::PumpEvents();
    }
};

struct CopyBench {
    fs::path root;
    std::unique_ptr<platform::ScopedMachine> machine;
    QtPumpWindows windows;
    setup::SupportLibrary supportLibrary;
    std::unique_ptr<setup::Module1> module;
    fs::path source;
    fs::path destination;
    fs::path cpDestination;

    CopyBench() {
        std::string pattern = (fs::temp_directory_path() / "plenova-copy-bench-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        machine = std::make_unique<platform::ScopedMachine>(root);
        auto& m = platform::CurrentMachine();
        fs::copy_file(PLENOVA_TAVORIN, *m.ToHost("C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL"));
        m.MakeFolders("C:\\SRC");
        m.MakeFolders("C:\\DST");
        source = *m.ToHost("C:\\SRC\\big.bin");
        destination = *m.ToHost("C:\\DST") / "big.bin";
        cpDestination = *m.ToHost("C:\\DST") / "cp.bin";
        std::vector<char> bytes(1 << 20);
        std::mt19937 random(7);
        std::ofstream out(source, std::ios::binary);
        for (std::int64_t written = 0; written < kFileBytes; written += bytes.size()) {
            for (char& b : bytes) b = static_cast<char>(random());
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        out.close();
        module = std::make_unique<setup::Module1>(windows, supportLibrary);
        module->winDir = m.WindowsFolder();
        module->sysDir = m.SystemFolder();
        windows.ShowCopy([] {});
    }
    ~CopyBench() {
        module.reset();
        machine.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    double TimeCopyOneFile() {
        fs::remove(destination);
        const auto start = std::chrono::steady_clock::now();
        if (module->CopyOneFile("C:\\SRC\\big.bin", "C:\\DST\\big.bin") != setup::kCopyDone)
            throw std::runtime_error("CopyOneFile failed");
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    double TimeCp() {
        fs::remove(cpDestination);
        std::string cp = "cp", from = source.string(), to = cpDestination.string();
        char* argv[] = {cp.data(), from.data(), to.data(), nullptr};
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = -1;
        if (::posix_spawnp(&pid, "cp", nullptr, nullptr, argv, environ) != 0)
            throw std::runtime_error("cannot start cp");
        int status = 0;
        ::waitpid(pid, &status, 0);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("cp failed");
        return seconds;
    }
};

void BM_CopyAgainstCp(benchmark::State& state) {
    CopyBench bench;
    bench.TimeCp();  // both read the source from the page cache from here on
    std::vector<double> copyTimes;
    std::vector<double> cpTimes;
    bool cpFirst = true;
    for (auto _ : state) {
        // Each goes first every other time, so that neither always meets the other's dirty
        // pages being written back.
        double cp = 0;
        double copy = 0;
        if (cpFirst) {
            cp = bench.TimeCp();
            copy = bench.TimeCopyOneFile();
        } else {
            copy = bench.TimeCopyOneFile();
            cp = bench.TimeCp();
        }
        cpFirst = !cpFirst;
        cpTimes.push_back(cp);
        copyTimes.push_back(copy);
        state.SetIterationTime(copy);
    }
    // Medians: on a shared machine a single run of either can be held up by other work.
    auto median = [](std::vector<double> times) {
        std::sort(times.begin(), times.end());
        const std::size_t n = times.size();
        return n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    };
    const double n = static_cast<double>(state.iterations());
    state.counters["CopyOneFile_ms"] = median(copyTimes) * 1000;
    state.counters["cp_ms"] = median(cpTimes) * 1000;
    state.counters["ratio"] = median(copyTimes) / median(cpTimes);
    state.counters["blocks"] = static_cast<double>(kFileBytes / setup::kCopyBlockBytes);
    state.SetBytesProcessed(static_cast<std::int64_t>(n) * kFileBytes);
}
BENCHMARK(BM_CopyAgainstCp)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

void BM_EventPump(benchmark::State& state) {
    const bool qt = state.range(0) == 1;
    QtPumpWindows qtWindows;
    setup::ScriptedWindows scripted;
    setup::SetupWindows& windows = qt ? static_cast<setup::SetupWindows&>(qtWindows) : scripted;
    for (auto _ : state) windows.PumpEvents();
    state.SetLabel(qt ? "QCoreApplication::processEvents" : "scripted stand-in");
}
BENCHMARK(BM_EventPump)->Arg(1)->Arg(0)->Unit(benchmark::kNanosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
