// The setup program on the longest list its script may hold. An installation of N entries must
// take time in proportion to N: the script is parsed once and the uninstall log is written in
// batches, so the cost of an entry does not grow with the entries before it.
//
// BM_InstallList installs N one-line files from a removable medium and reports the time per
// entry beside `cp -r` of the same medium folder in the same run (the physical reference; the
// installation also syncs each file to disk, cp does not). BM_OversizeScript shows that a 64 MB
// script is refused before it is read.
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>

#include "platform/machine.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "setup/module1.h"
#include "setup/scripted_windows.h"
#include "setup/support_library.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace plenova;

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A fresh machine with the support library, and a medium folder as drive A:.
struct SetupBench {
    fs::path root;
    std::unique_ptr<platform::ScopedMachine> machine;
    platform::ScopedScriptedMessageBoxes boxes;
    platform::ScopedThrowingProcessEnd processEnd;
    fs::path medium;

    SetupBench() {
        std::string pattern = (fs::temp_directory_path() / "plenova-setup-bench-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        machine = std::make_unique<platform::ScopedMachine>(root / "machine");
        auto& m = platform::CurrentMachine();
        fs::copy_file(PLENOVA_TAVORIN, *m.ToHost("C:\\WINDOWS\\SYSTEM\\TAVORIN.DLL"));
        m.SetProgramPath("C:\\WINDOWS\\PlenovaSetup.exe");
        medium = root / "medium";
        fs::create_directories(medium);
        m.AddDrive('A', medium, platform::kDriveRemovable);
    }
    ~SetupBench() {
        machine.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // Runs the setup program's Main with this command line to its end.
    static void Run(const std::string& commandLine) {
        setup::ScriptedWindows windows;
        setup::SupportLibrary supportLibrary;
        setup::Module1 module(windows, supportLibrary);
        try {
            module.Main(commandLine);
        } catch (const platform::ProcessEnded& ended) {
            if (ended.exitCode != 0 && commandLine != "A:")
                throw std::runtime_error("the setup program failed");
        }
    }
};

double TimeCp(const fs::path& from, const fs::path& to) {
    std::string cp = "cp", r = "-r", a = from.string(), b = to.string();
    char* argv[] = {cp.data(), r.data(), a.data(), b.data(), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (::posix_spawnp(&pid, "cp", nullptr, nullptr, argv, environ) != 0)
        throw std::runtime_error("cannot start cp");
    int status = 0;
    ::waitpid(pid, &status, 0);
    return Seconds(start);
}

void BM_InstallList(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    double install = 0;
    double cp = 0;
    for (auto _ : state) {
        SetupBench bench;
        std::string script = "[SETUP]\r\nTitle=Bench\r\nDstDir=Bench\r\n";
        for (int n = 1; n <= entries; ++n) {
            // Built up in steps: GCC 12 warns falsely about "f" + std::to_string(n).
            std::string name(1, 'f');
            name += std::to_string(n);
            name += ".bin";
            script += "Copy" + std::to_string(n) + "=" + name + "\r\n";
            std::ofstream(bench.medium / name, std::ios::binary) << n;
        }
        std::ofstream(bench.medium / "SETUP.ini", std::ios::binary) << script;
        cp += TimeCp(bench.medium, bench.root / "cp");
        const auto start = std::chrono::steady_clock::now();
        SetupBench::Run("A:");
        const double seconds = Seconds(start);
        install += seconds;
        state.SetIterationTime(seconds);
        if (!platform::CurrentMachine().FileExists("C:\\Bench\\f" + std::to_string(entries) +
                                                   ".bin"))
            throw std::runtime_error("the installation did not finish");
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["per_entry_us"] = install / n / entries * 1e6;
    state.counters["cp_per_entry_us"] = cp / n / entries * 1e6;
    state.counters["ratio_to_cp"] = install / cp;
}
BENCHMARK(BM_InstallList)
    ->Arg(2048)
    ->Arg(8192)
    ->Arg(32767)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_OversizeScript(benchmark::State& state) {
    SetupBench bench;
    {
        std::ofstream(bench.medium / "SETUP.ini", std::ios::binary)
            << "[SETUP]\r\nTitle=Bench\r\n";
    }
    fs::resize_file(bench.medium / "SETUP.ini", 64u << 20);
    for (auto _ : state) SetupBench::Run("A:");
    state.SetLabel("64 MB script: refused as missing");
}
BENCHMARK(BM_OversizeScript)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
