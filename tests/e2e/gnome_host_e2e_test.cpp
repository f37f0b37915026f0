// End-to-end: the screen-saver host on GNOME's compositor, a headless mutter (Wayland only, one
// virtual monitor) on a session bus of the test's own. GNOME offers no Wayland idle protocol: the
// host takes the idle time from org.gnome.Mutter.IdleMonitor, starts the chosen saver, and the
// saver's window takes the whole monitor (fullscreen: a window that mutter places gets its
// decorations and less room), until SIGTERM ends the host and its saver.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/host_machine.h"
#include "tests/e2e/host_session_bus.h"
#include "tests/support/temp_folder.h"

namespace plenova::e2e {
namespace {

constexpr int kMonitorWidth = 1280;
constexpr int kMonitorHeight = 720;

// Starts `argv` with exactly `env`, standard output and error into `log`; -1 when it cannot.
pid_t SpawnLogged(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  const fs::path& log) {
    std::vector<char*> args = CStrings(argv);
    std::vector<char*> envp = CStrings(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

TEST(GnomeHostE2E, IdleFromMuttersMonitorStartsTheSaverFullscreen) {
    constexpr int kTimeoutSeconds = 2;
    const HackInstall install;
    const PrivateBus bus;
    ASSERT_FALSE(bus.Address().empty()) << "dbus-daemon did not start";
    const std::string display = "plenova-mutter-" + std::to_string(::getpid());
    // Settings in memory: the test leaves the user's GNOME settings alone.
    const std::vector<std::string> session{"HOME=" + install.home.string(),
                                           "XDG_RUNTIME_DIR=" + install.run.string(),
                                           "DBUS_SESSION_BUS_ADDRESS=" + bus.Address(),
                                           "GSETTINGS_BACKEND=memory",
                                           "PATH=/usr/bin:/bin",
                                           "LANG=C.UTF-8"};
    std::vector<std::string> mutterArgv{"env", "-i"};
    mutterArgv.insert(mutterArgv.end(), session.begin(), session.end());
    mutterArgv.insert(mutterArgv.end(),
                      {"mutter", "--headless", "--wayland", "--no-x11", "--wayland-display",
                       display, "--virtual-monitor",
                       std::to_string(kMonitorWidth) + "x" + std::to_string(kMonitorHeight)});
    const pid_t mutter = SpawnLogged(mutterArgv, {}, install.folder.Path() / "mutter.log");
    ASSERT_GT(mutter, 0) << "mutter cannot be started";
    EndedAtExit endMutter{mutter};
    ASSERT_TRUE(WaitUntil(
        [&] {
            return RunToEnd(
                       {"dbus-send", "--bus=" + bus.Address(), "--print-reply",
                        "--dest=org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                        "org.gnome.Mutter.IdleMonitor.GetIdletime"},
                       {}, 5s) == 0 &&
                   fs::exists(install.run / display);
        },
        20s, 100ms))
        << "mutter does not come up: " << testing::ReadAll(install.folder.Path() / "mutter.log");

    const ChosenSaver chosen = ChooseSaverForHost(install, ::getuid(), ::getgid(), kTimeoutSeconds);
    ASSERT_FALSE(chosen.tool.empty());
    std::vector<std::string> hostArgv{"env", "-i"};
    hostArgv.insert(hostArgv.end(), session.begin(), session.end());
    hostArgv.insert(
        hostArgv.end(),
        {"WAYLAND_DISPLAY=" + display, "XDG_SESSION_TYPE=wayland",
         "PLENOVA_MACHINE=" + install.machine.string(), "PLENOVA_AUDIO=test",
         "PLENOVA_FRAME_DUMP=" + install.frames.string(), chosen.tool.string(), "host"});
    const fs::path hostLog = install.folder.Path() / "host.log";
    const auto since = Clock::now();
    const pid_t host = SpawnLogged(hostArgv, {}, hostLog);
    ASSERT_GT(host, 0);
    EndedAtExit endHost{host};

    // Some frames in, the compositor has long configured the window: the frames are drawn at
    // the window's size, which is the monitor's.
    ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(install.frames) >= 20; }, 20s, 20ms))
        << "the host started no saver: " << testing::ReadAll(hostLog);
    EXPECT_GE(MillisecondsSince(since), kTimeoutSeconds * 1000 - 100)
        << "started before the idle time";
    EXPECT_NE(testing::ReadAll(hostLog).find("idle time from org.gnome.Mutter.IdleMonitor"),
              std::string::npos)
        << testing::ReadAll(hostLog);
    const long long newest = NewestComposedFrame(install.frames);
    const std::optional<ComposedFrame> frame =
        ReadComposedFrame(install.frames / ("frame-" + std::to_string(newest) + ".plfr"));
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->width, static_cast<std::uint32_t>(kMonitorWidth));
    EXPECT_EQ(frame->height, static_cast<std::uint32_t>(kMonitorHeight));

    ::kill(host, SIGTERM);
    const std::optional<int> status = WaitExit(host, 10s);
    ASSERT_TRUE(status.has_value()) << "the host does not end on SIGTERM";
    endHost.pid = -1;
    EXPECT_EQ(*status, 0);
    EXPECT_TRUE(WaitUntil([&] { return ProcessesOf(chosen.saver).empty(); }, 5s, 20ms))
        << "the saver outlived the host";
}

}  // namespace
}  // namespace plenova::e2e

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
