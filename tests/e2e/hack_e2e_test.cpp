// End-to-end: the saver as a hack. The real XScreenSaver daemon runs it on an X server of the
// test's own, and the saver draws inside a window that the test made (--window-id). The saver is
// laid out as a package installs it (program in libexec/xscreensaver, data in
// share/plenova/data, no "App"/"Dir" setting), so it finds its data from its own place.
//
// The daemon refuses to run hacks as root: run as root, the test makes a throwaway ordinary
// user for it (and removes it at the end).
#include <grp.h>
#include <pwd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/hack_install.h"
#include "tests/e2e/scene_shots.h"
#include "tests/support/x_server.h"

namespace plenova::e2e {
namespace {

namespace fs = std::filesystem;

testing::XServer* xServer = nullptr;  // the X server of this test program (800 x 600)

class HackE2E : public ::testing::Test {
protected:
    void TearDown() override {
        for (const pid_t pid : ProcessesOf(install_.program)) ::kill(pid, SIGKILL);
    }

    void ExpectSceneMovesIn(Window window, int width, int height) {
        ExpectSceneMovesInWindow(install_.frames, window, width, height);
    }

    HackInstall install_;
};

// ----- XScreenSaver -----

TEST_F(HackE2E, XScreenSaverRunsTheHackWhenActivatedAndEndsItWhenDeactivated) {
    const DaemonUser user;
    install_.GiveTo(user.Uid(), user.Gid());
    {
        std::ofstream config(install_.home / ".xscreensaver");
        config << "mode: one\n"
                  "selected: 0\n"
                  "timeout: 1:00:00\n"
                  "lock: False\n"
                  "fade: False\n"
                  "unfade: False\n"
                  "splash: False\n"
                  "dpmsEnabled: False\n"
                  "programs: "
               << install_.program.string() << " --root \\n\n";
    }
    ASSERT_EQ(::chown((install_.home / ".xscreensaver").c_str(), user.Uid(), user.Gid()), 0);

    std::vector<std::string> env = install_.Environment();
    env.push_back("DISPLAY=" + xServer->Display());
    env.push_back("PATH=/usr/bin:/bin");
    // A sanitizer build keeps its options (suppression files aside, which the user may not
    // be able to read; the hack ends without a leak check anyway).
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    const RunningDaemon daemon(user, env);
    ASSERT_TRUE(daemon.Started());
    const auto command = [&](const std::string& what) { return daemon.Command(what); };
    ASSERT_TRUE(WaitUntil([&] { return command("-version") == 0; }, 20s, 100ms))
        << "the daemon does not answer";
    ASSERT_EQ(command("-activate"), 0);
    ASSERT_TRUE(WaitUntil([&] { return ProcessesOf(install_.program).size() == 1; }, 15s))
        << "the daemon did not start the hack";

    // The daemon's window covers the screen, and the hack's scene fills it.
    ASSERT_NO_FATAL_FAILURE(ExpectSceneMovesIn(DefaultRootWindow(display), 800, 600));

    ASSERT_EQ(command("-deactivate"), 0);
    EXPECT_TRUE(WaitUntil([&] { return ProcessesOf(install_.program).empty(); }, 10s))
        << "the hack outlived the deactivation";
    ExpectMusicClosed(install_.MciLogLines());
}

// ----- a window of the test's own -----

struct WindowCase {
    const char* name;
    int width, height;
    int grownWidth, grownHeight;  // after a resize
    bool endByDestroy;            // else by SIGTERM
    bool asXsecurelockModule;     // started as xsecurelock starts it, else with --window-id
};

class HackInWindowE2E : public HackE2E, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(HackInWindowE2E, SceneFillsTheWindowFollowsItsSizeIgnoresInputAndEndsCleanly) {
    const WindowCase& c = GetParam();
    // Magenta, which the scene never shows: any of it left means the scene does not fill.
    const Window host = XCreateSimpleWindow(display, DefaultRootWindow(display), 20, 30,
                                            static_cast<unsigned>(c.width),
                                            static_cast<unsigned>(c.height), 0, 0, 0xFF00FF);
    XMapWindow(display, host);
    XSync(display, False);
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", host);
    std::vector<std::string> env = install_.Environment();
    std::vector<std::string> argv{install_.program.string(), "--window-id", id};
    if (c.asXsecurelockModule) {
        // No arguments; the window comes in the environment.
        argv = {install_.module.string()};
        env.push_back(std::string("XSCREENSAVER_WINDOW=") + id);
    }
    const pid_t pid = Spawn(argv, env, false);
    ASSERT_GT(pid, 0);

    ASSERT_NO_FATAL_FAILURE(ExpectSceneMovesIn(host, c.width, c.height));

    // Keys and pointer moves over the scene belong to the host: the scene goes on.
    ASSERT_NO_FATAL_FAILURE(Xdotool({"mousemove", "60", "70", "mousemove", "200", "150"}));
    ASSERT_NO_FATAL_FAILURE(Xdotool({"key", "a"}));
    ASSERT_NO_FATAL_FAILURE(Xdotool({"click", "1"}));
    const long long afterInput = NewestComposedFrame(install_.frames);
    ASSERT_TRUE(
        WaitUntil([&] { return NewestComposedFrame(install_.frames) >= afterInput + 10; }, 10s));
    EXPECT_FALSE(WaitExit(pid, 0ms).has_value()) << "input ended the hack";

    // The scene follows the window's new size.
    XResizeWindow(display, host, static_cast<unsigned>(c.grownWidth),
                  static_cast<unsigned>(c.grownHeight));
    XSync(display, False);
    ASSERT_TRUE(WaitUntil(
        [&] {
            const WindowShot shot = ShootWindow(host);
            return shot.width == c.grownWidth && std::find(shot.pixels.begin(), shot.pixels.end(),
                                                           0xFF00FFu) == shot.pixels.end();
        },
        10s))
        << "the scene did not grow with the window";
    ASSERT_NO_FATAL_FAILURE(ExpectSceneMovesIn(host, c.grownWidth, c.grownHeight));

    // The end: promptly, with exit status 0 and the music closed.
    if (c.endByDestroy) {
        XDestroyWindow(display, host);
        XSync(display, False);
    } else {
        ::kill(pid, SIGTERM);
    }
    const std::optional<int> status = WaitExit(pid, 3s);
    if (!c.endByDestroy) XDestroyWindow(display, host);
    ASSERT_TRUE(status.has_value()) << "the hack did not end";
    EXPECT_EQ(*status, 0);
    ExpectMusicClosed(install_.MciLogLines());
}

INSTANTIATE_TEST_SUITE_P(Sizes, HackInWindowE2E,
                         ::testing::Values(WindowCase{"Small", 320, 200, 400, 260, true, false},
                                           WindowCase{"Large", 720, 480, 760, 540, false, false},
                                           WindowCase{"XsecurelockModule", 500, 300, 540, 340,
                                                      false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plenova::e2e

int main(int argc, char** argv) {
    return plenova::e2e::RunTestsOnOwnXServer(argc, argv, "800x600x24", false,
                                              [](plenova::testing::XServer& server) {
                                                  plenova::e2e::xServer = &server;
                                                  return true;
                                              });
}
