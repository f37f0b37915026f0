// Several processes on one hive: none of their writes may be lost, and a writer killed at any
// moment leaves the old or the new file, never a torn one.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::testing::Capture;
using plenova::testing::ReadToEnd;
using plenova::testing::Start;
using plenova::testing::Started;
using plenova::testing::TempFolder;
using plenova::testing::WaitForExit;

namespace {

// Starts the writer helper; with `out` its standard output goes to a pipe read end returned
// there.
pid_t StartWriter(const std::vector<std::string>& args, int* out = nullptr) {
    std::vector<std::string> all{PLENOVA_WRITER_HELPER};
    all.insert(all.end(), args.begin(), args.end());
    const Started started = Start(std::move(all), out ? Capture::kOutputOnly : Capture::kNothing);
    if (out) *out = started.out;
    return started.pid;
}

// The first line the writer reports ("" when it ends first), read without waiting for more.
std::string FirstLine(int fd) {
    std::string line;
    char c = 0;
    while (::read(fd, &c, 1) == 1) {
        line.push_back(c);
        if (c == '\n') break;
    }
    return line;
}

TEST(RegistryProcesses, TwoWritersAtOnceLoseNothing) {
    TempFolder temp;
    const fs::path hive = temp.Path() / "user.reg";
    const pid_t a = StartWriter({hive.string(), "Software\\Race", "a", "1", "500"});
    const pid_t b = StartWriter({hive.string(), "Software\\Race", "b", "1", "500"});
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(WaitForExit(a), 0);
    EXPECT_EQ(WaitForExit(b), 0);

    Registry reg(hive, temp.Path() / "system.reg");
    auto values = reg.Values(Hive::CurrentUser, "Software\\Race");
    ASSERT_TRUE(values);
    EXPECT_EQ(values->size(), 1000u);
    int missing = 0;
    for (const char* prefix : {"a", "b"}) {
        for (int i = 1; i <= 500; ++i) {
            const auto v = reg.QueryString(Hive::CurrentUser, "Software\\Race", prefix + std::to_string(i));
            if (v != "value " + std::to_string(i)) ++missing;
        }
    }
    EXPECT_EQ(missing, 0);
}

TEST(RegistryProcesses, KilledWriterLeavesTheOldOrTheNewFile) {
    TempFolder temp;
    const fs::path hive = temp.Path() / "user.reg";
    Registry reg(hive, temp.Path() / "system.reg");
    reg.SetString(Hive::CurrentUser, "Software\\Kill", "v0", "value 0");
    // Written after the values' key in the file: a cut-off file would lose it.
    reg.SetString(Hive::CurrentUser, "Software\\Tail", "end", "here");

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayMicros(0, 20000);
    long next = 1;
    int kills = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < deadline && kills < 200) {
        int out = -1;
        const pid_t pid = StartWriter({hive.string(), "Software\\Kill", "v", std::to_string(next), "1000000", "report"}, &out);
        ASSERT_GT(pid, 0);
        // Killed while writing, not while starting: how long a start takes (a sanitizer's is
        // several times longer) must not decide whether any write gets done.
        const std::string first = FirstLine(out);
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(random)));
        ::kill(pid, SIGKILL);
        WaitForExit(pid);
        ++kills;
        long reported = next - 1;
        std::istringstream lines(first + ReadToEnd(out));
        for (long i; lines >> i;) reported = i;

        // Every line of the file must parse: a damaged file would throw here.
        auto values = reg.Values(Hive::CurrentUser, "Software\\Kill");
        ASSERT_TRUE(values);
        ASSERT_EQ(reg.QueryString(Hive::CurrentUser, "Software\\Tail", "end"), "here");
        const long count = static_cast<long>(values->size()) - 1;  // v0 .. v<count>
        // Every write that returned is there; at most the one in flight besides.
        ASSERT_GE(count, reported);
        ASSERT_LE(count, reported + 1);
        for (long i = 0; i <= count; ++i) {
            const std::string number = std::to_string(i);
            ASSERT_EQ((*values)[static_cast<std::size_t>(i)].name, "v" + number);
            ASSERT_EQ((*values)[static_cast<std::size_t>(i)].text, "value " + number);
        }
        next = count + 1;
    }
    EXPECT_GT(kills, 10);
    EXPECT_GT(next, 2);  // the writers did get some writes done between the kills
    for (const auto& e : fs::directory_iterator(temp.Path()))
        EXPECT_EQ(e.path().filename().string().find("damaged"), std::string::npos) << e.path();
}

}  // namespace
