// The screen-saver host's decisions on a clock of the test's own: idle time, inhibitors, the
// saver's run and the settings are all the test's to set.
#include "tools/plenova_machine/host_logic.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace plenova::machine_tool {
namespace {

using namespace std::chrono_literals;

class FakeDesktop : public HostServices {
public:
    Milliseconds Now() override { return now; }
    SaverSettings Settings() override { return settings; }
    std::optional<Milliseconds> IdleTime(Milliseconds) override { return idle; }
    bool Inhibited() override { return inhibited; }
    bool SaverRunning() override { return running; }
    Result<void, std::string> StartSaver(const std::string& program) override {
        started.push_back(program);
        if (failStart) return Failure{std::string("cannot start")};
        running = true;
        return {};
    }
    void Report(const std::string& message) override { reports.push_back(message); }

    // Time passes without input.
    void Pass(Milliseconds span) {
        now += span;
        idle += span;
    }

    Milliseconds now{100000};
    SaverSettings settings{true, 3s, "C:\\WINDOWS\\PlenovaSaver.scr"};
    Milliseconds idle{0};
    bool inhibited = false;
    bool running = false;
    bool failStart = false;
    std::vector<std::string> started;
    std::vector<std::string> reports;
};

// Checks every half second for `span`; the number of saver starts.
int RunFor(HostLogic& logic, FakeDesktop& desktop, Milliseconds span) {
    int starts = 0;
    for (Milliseconds t{0}; t < span; t += 500ms) {
        desktop.Pass(500ms);
        if (logic.Check()) ++starts;
    }
    return starts;
}

TEST(HostLogic, StartsAfterTheTimeoutAndNeverTwoSaversAtOnce) {
    FakeDesktop desktop;
    HostLogic logic(desktop);
    EXPECT_EQ(RunFor(logic, desktop, 2500ms), 0);
    EXPECT_EQ(RunFor(logic, desktop, 500ms), 1);
    // The saver runs and the desktop stays idle: no second one, however long.
    EXPECT_EQ(RunFor(logic, desktop, 60s), 0);
    EXPECT_EQ(desktop.started.size(), 1u);
}

TEST(HostLogic, CountsAgainFromTheSaversEndEvenWithoutInput) {
    FakeDesktop desktop;
    HostLogic logic(desktop);
    ASSERT_EQ(RunFor(logic, desktop, 3s), 1);
    RunFor(logic, desktop, 10s);
    // It ends by itself (crashed, or closed by another program): the idle time is still long.
    desktop.running = false;
    EXPECT_EQ(RunFor(logic, desktop, 2500ms), 0);
    EXPECT_EQ(RunFor(logic, desktop, 500ms), 1);
}

TEST(HostLogic, NoSaverWhileInhibitedAndAFullTimeoutAfterIt) {
    FakeDesktop desktop;
    HostLogic logic(desktop);
    desktop.inhibited = true;
    EXPECT_EQ(RunFor(logic, desktop, 20s), 0);
    desktop.inhibited = false;
    EXPECT_EQ(RunFor(logic, desktop, 2500ms), 0);
    EXPECT_EQ(RunFor(logic, desktop, 500ms), 1);
}

TEST(HostLogic, FollowsSettingChangesWithoutARestart) {
    FakeDesktop desktop;
    desktop.settings.active = false;
    HostLogic logic(desktop);
    EXPECT_EQ(RunFor(logic, desktop, 10s), 0);
    // A longer timeout, then switched on: nothing before the new timeout.
    desktop.settings = ParseSaverSettings("1", " 600 ", "C:\\WINDOWS\\Other.scr");
    EXPECT_EQ(RunFor(logic, desktop, 10s), 0);
    // Shortened below the idle time already passed: the next check starts the chosen saver.
    desktop.settings.timeout = 5s;
    EXPECT_EQ(RunFor(logic, desktop, 500ms), 1);
    EXPECT_EQ(desktop.started.back(), "C:\\WINDOWS\\Other.scr");
    desktop.running = false;
    // A timeout that is no number turns the saver off rather than starting it at once.
    desktop.settings = ParseSaverSettings("1", "3x", "C:\\WINDOWS\\Other.scr");
    EXPECT_FALSE(desktop.settings.Usable());
    EXPECT_EQ(RunFor(logic, desktop, 20s), 0);
    EXPECT_FALSE(ParseSaverSettings("1", "99999999999", "C:\\A.scr").Usable());
    EXPECT_FALSE(ParseSaverSettings("0", "60", "C:\\A.scr").Usable());
    EXPECT_FALSE(ParseSaverSettings(std::nullopt, "60", "C:\\A.scr").Usable());
}

TEST(HostLogic, ABrokenSaverIsTriedOncePerTimeoutAndReported) {
    FakeDesktop desktop;
    desktop.failStart = true;
    HostLogic logic(desktop);
    RunFor(logic, desktop, 9s);
    EXPECT_EQ(desktop.started.size(), 3u);
    EXPECT_EQ(desktop.reports.back(), "cannot start");
}

}  // namespace
}  // namespace plenova::machine_tool
