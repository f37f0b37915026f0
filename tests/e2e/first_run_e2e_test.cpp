// End-to-end: a new user's first minutes, as an ordinary user on an X server with a window
// manager (openbox), the saver laid out as the package installs it. On a fresh machine, and
// again after an installation and uninstallation through the setup program: the plenova-saver
// command alone opens the scene in a window, and `plenova-saver --xscreensaver-install` (run
// twice) gives ~/.xscreensaver one line that the real XScreenSaver daemon runs and that draws.
// The setup's Start-menu entries validate and show an icon that the package installs. And the
// saver's box about a data folder without its pictures stays until it is answered, however the
// pointer moves.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/hack_install.h"
#include "tests/e2e/scene_shots.h"
#include "tests/support/temp_folder.h"
#include "tests/support/x_server.h"

namespace plenova::e2e {
namespace {

testing::XServer* xServer = nullptr;  // 1280 x 800, openbox

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

// The window shows a scene of many colours at its size, and it moves. (That each shot is a frame
// the saver composed is the hack test's business.)
void ExpectSceneIn(const fs::path& frames, Window window, int width, int height) {
    ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(frames) >= 3; }, 15s))
        << "no frames shown";
    const WindowShot first = ShootWindow(window);
    ASSERT_EQ(first.width, width);
    ASSERT_EQ(first.height, height);
    std::set<std::uint32_t> colours(first.pixels.begin(), first.pixels.end());
    EXPECT_GT(colours.size(), 50u) << "no scene";
    EXPECT_TRUE(WaitUntil([&] { return ChangedShare(first, ShootWindow(window)) > 0.1; }, 5s))
        << "the scene does not move";
}

class FirstRunE2E : public ::testing::TestWithParam<bool> {
protected:
    void TearDown() override {
        for (const fs::path& program : {install_.program, install_.command})
            for (const pid_t pid : ProcessesOf(program)) ::kill(pid, SIGKILL);
    }

    // The environment of the user's programs.
    std::vector<std::string> Environment() const {
        std::vector<std::string> env = install_.Environment();
        env.push_back("DISPLAY=" + xServer->Display());
        env.push_back("PATH=/usr/bin:/bin");
        env.push_back(std::string("PLENOVA_MACHINE_TOOL=") + PLENOVA_MACHINE_TOOL);
        // A sanitizer build keeps its options, but the user's programs go without the leak
        // check, whose suppression file the user may not be able to read.
        if (const char* value = std::getenv("ASAN_OPTIONS"))
            env.push_back(std::string("ASAN_OPTIONS=") + value + ":detect_leaks=0");
        if (const char* value = std::getenv("UBSAN_OPTIONS"))
            env.push_back(std::string("UBSAN_OPTIONS=") + value);
        return env;
    }

    int RunAs(const DaemonUser& user, const std::vector<std::string>& argv,
              std::vector<std::string> extraEnv = {}) const {
        std::vector<std::string> env = Environment();
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        return RunToEnd(user.Command(argv, env), {}, 60s);
    }

    void ClearFrames() const {
        for (const auto& entry : fs::directory_iterator(install_.frames)) fs::remove(entry.path());
    }

    // Installs and uninstalls the saver through the setup program from the medium (its windows
    // answered by an answers file), checking the Start-menu entries it leaves meanwhile.
    void InstallAndUninstall(const DaemonUser& user) {
        const fs::path answers = install_.home / "answers";
        std::ofstream(answers) << "path start\n";
        const std::vector<std::string> answered{"PLENOVA_SETUP_ANSWERS=" + answers.string()};
        const std::string tool = PLENOVA_MACHINE_TOOL;
        ASSERT_EQ(RunAs(user, {tool, "drive", "add", "A:", install_.medium.string(), "removable"}),
                  0);
        ASSERT_EQ(RunAs(user, {tool, "run", "A:\\PlenovaSetup.exe"}, answered), 0);
        ExpectMenuEntriesValidWithTheirIcon();
        ASSERT_EQ(RunAs(user, {tool, "uninstall", "Plenova Saver"}, answered), 0);
    }

    void ExpectMenuEntriesValidWithTheirIcon() const {
        int entries = 0;
        const fs::path share = install_.home / ".local" / "share";
        for (const char* folder : {"applications", "desktop-directories"}) {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(share / folder, ec)) {
                const fs::path path = entry.path();
                if (!path.filename().string().starts_with("plenova-")) continue;
                if (path.extension() != ".desktop" && path.extension() != ".directory") continue;
                ++entries;
                const testing::Finished validation =
                    testing::RunToEnd({"desktop-file-validate", path.string()});
                EXPECT_EQ(validation.exitCode, 0) << path << "\n" << validation.output;
                EXPECT_EQ(validation.output, "") << path;
                const std::string text = testing::ReadAll(path);
                EXPECT_NE(text.find("\nIcon=plenova\n"), std::string::npos) << text;
            }
        }
        EXPECT_GE(entries, 3) << "two shortcuts and their folder";
        EXPECT_TRUE(fs::is_regular_file(fs::path(PLENOVA_ICON_DIR) / "48x48/apps/plenova.png"));
    }

    HackInstall install_;
};

TEST_P(FirstRunE2E, TheCommandOpensTheSceneAndXScreenSaverRunsTheHack) {
    const DaemonUser user;
    install_.GiveTo(user.Uid(), user.Gid());
    if (GetParam()) {
        ASSERT_NO_FATAL_FAILURE(InstallAndUninstall(user));
    }

    // The command alone: the scene in a window of its own.
    const pid_t window = Spawn(user.Command({install_.command.string()}, Environment()), {});
    ASSERT_GT(window, 0);
    const std::optional<Window> shown = WaitForWindow("PlenovaSaver", 20s);
    ASSERT_TRUE(shown.has_value()) << "no window";
    // Framed and placed by the window manager, at the size it asked for.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const Rect r = RootGeometry(*shown);
            return r.width == 960 && r.height == 600;
        },
        10s));
    ASSERT_NO_FATAL_FAILURE(ExpectSceneIn(install_.frames, *shown, 960, 600));
    // Ended as a desktop ends a program (the saver itself, not the runuser around it).
    for (const pid_t pid : ProcessesOf(install_.command)) ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(window, 10s), 0);
    ClearFrames();

    // Hooked up with XScreenSaver by the command, twice: one line.
    const std::vector<std::string> install{install_.command.string(), "--xscreensaver-install"};
    ASSERT_EQ(RunAs(user, install), 0);
    ASSERT_EQ(RunAs(user, install), 0);
    const std::string file = testing::ReadAll(install_.home / ".xscreensaver");
    std::istringstream lines(file);
    int ours = 0;
    for (std::string line; std::getline(lines, line);)
        if (line.find(install_.program.string() + " --root") != std::string::npos) ++ours;
    EXPECT_EQ(ours, 1) << file;
    // The daemon runs the first of the programs, without delays.
    std::ofstream(install_.home / ".xscreensaver")
        << "mode: one\nselected: 0\ntimeout: 1:00:00\nlock: False\nfade: False\n"
           "unfade: False\nsplash: False\ndpmsEnabled: False\n"
        << file;

    const std::vector<std::string> env = Environment();
    const RunningDaemon daemon(user, env);
    ASSERT_TRUE(daemon.Started());
    const auto command = [&](const std::string& what) { return daemon.Command(what); };
    ASSERT_TRUE(WaitUntil([&] { return command("-version") == 0; }, 20s, 100ms));
    ASSERT_EQ(command("-activate"), 0);
    ASSERT_TRUE(WaitUntil([&] { return ProcessesOf(install_.program).size() == 1; }, 15s))
        << "the daemon did not start the hack";
    ASSERT_NO_FATAL_FAILURE(
        ExpectSceneIn(install_.frames, DefaultRootWindow(display), kScreenWidth, kScreenHeight));
    // Still the same hack: it did not end (a crash would show the daemon's error box instead).
    EXPECT_EQ(ProcessesOf(install_.program).size(), 1u);
    ASSERT_EQ(command("-deactivate"), 0);
}

INSTANTIATE_TEST_SUITE_P(Machines, FirstRunE2E, ::testing::Values(false, true), [](const auto& info) {
    return std::string(info.param ? "AfterSetupInstallAndUninstall" : "Fresh");
});

TEST(FirstRunBoxE2E, TheMissingPictureBoxStaysWhileThePointerMovesUntilAnswered) {
    const HackInstall install;
    std::vector<std::string> env = install.Environment();
    env.push_back("DISPLAY=" + xServer->Display());
    fs::create_directories(install.machine / "drive_c" / "Empty");
    ASSERT_EQ(RunToEnd({PLENOVA_MACHINE_TOOL, "reg", "add", "HKCU\\Software\\PlenovaSaver\\App",
                        "/v", "Dir", "/d", "C:\\Empty", "/f"},
                       env),
              0);
    const pid_t saver = Spawn({install.command.string(), "/s"}, env);
    ASSERT_GT(saver, 0);
    const std::optional<Window> box = WaitForWindow("PlenovaSaver", 20s);
    ASSERT_TRUE(box.has_value()) << "no box";
    for (int step = 0; step < 10; ++step) {
        Xdotool({"mousemove", std::to_string(100 + 60 * step), std::to_string(80 + 40 * step)});
        std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(300ms);
    XSync(display, False);
    EXPECT_FALSE(ViewableWindows("PlenovaSaver").empty()) << "the box went by itself";
    EXPECT_FALSE(WaitExit(saver, 0ms).has_value()) << "the saver ended by itself";
    // Answered (the picture's reader and the saver each have their say), it ends.
    std::optional<int> status;
    for (int box = 0; box < 3 && !status; ++box) {
        const std::optional<Window> shownBox = WaitForWindow("PlenovaSaver", 5s);
        if (!shownBox) break;
        Xdotool({"windowactivate", "--sync", std::to_string(*shownBox)});
        Xdotool({"key", "Return"});
        status = WaitExit(saver, 2s);
    }
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace plenova::e2e

int main(int argc, char** argv) {
    return plenova::e2e::RunTestsOnOwnXServer(argc, argv, "1280x800x24", true,
                                              [](plenova::testing::XServer& server) {
                                                  plenova::e2e::xServer = &server;
                                                  return true;
                                              });
}
