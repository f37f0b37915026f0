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
#include "tests/e2e/scene_shots.h"
#include "tests/support/x_server.h"

namespace plenova::e2e {
namespace {

namespace fs = std::filesystem;

testing::XServer* xServer = nullptr;  // the X server of this test program (800 x 600)

// ----- processes -----

// Runs a program to its end; its exit status (-1 when it does not end within the time).
int RunToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
             std::chrono::milliseconds timeout = 20s) {
    const pid_t pid = Spawn(argv, env);
    if (pid < 0) return -1;
    const std::optional<int> status = WaitExit(pid, timeout);
    if (!status) {
        Kill(pid);
        return -1;
    }
    return *status;
}

// The processes whose program is `program` (their first argument names it).
std::vector<pid_t> ProcessesOf(const fs::path& program) {
    std::vector<pid_t> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        std::string first;
        std::getline(in, first, '\0');
        if (first == program.string()) found.push_back(std::stoi(name));
    }
    return found;
}

// ----- the installed saver -----

// A private folder under /tmp that another user can enter (the daemon's user reads the program
// and the data, and writes its home, machine, runtime and dump folders).
class SharedFolder {
public:
    SharedFolder() {
        std::string pattern = "/tmp/plenova-hack-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
        path_ = pattern;
        fs::permissions(path_, fs::perms::owner_all | fs::perms::group_exec |
                                   fs::perms::others_exec | fs::perms::group_read |
                                   fs::perms::others_read);
    }
    ~SharedFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    SharedFolder(const SharedFolder&) = delete;
    SharedFolder& operator=(const SharedFolder&) = delete;
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// The saver copied into <prefix>/libexec/xscreensaver/plenova with the build's data files in
// <prefix>/share/plenova/data and the xsecurelock module in <prefix>/libexec/xsecurelock, and
// the folders one run of it writes.
struct HackInstall {
    SharedFolder folder;
    fs::path prefix = folder.Path() / "usr";
    fs::path program = prefix / "libexec" / "xscreensaver" / "plenova";
    fs::path module = prefix / "libexec" / "xsecurelock" / "saver_plenova";
    fs::path home = folder.Path() / "home";
    fs::path machine = folder.Path() / "machine";
    fs::path run = folder.Path() / "run";
    fs::path frames = folder.Path() / "frames";

    HackInstall() {
        const fs::path data = prefix / "share" / "plenova" / "data";
        fs::create_directories(program.parent_path());
        fs::create_directories(data);
        fs::copy_file(PLENOVA_SAVER_PATH, program);
        fs::create_directories(module.parent_path());
        fs::copy_file(PLENOVA_XSECURELOCK_MODULE, module);
        for (const auto& entry : fs::directory_iterator(PLENOVA_DIST_DIR)) {
            if (entry.is_regular_file() && entry.path().extension() != ".scr")
                fs::copy_file(entry.path(), data / entry.path().filename());
        }
        for (const fs::path& p : {home, machine, run, frames}) fs::create_directories(p);
        fs::permissions(run, fs::perms::owner_all, fs::perm_options::replace);
    }

    // Hands the folders that a run writes to the user (uid, gid).
    void GiveTo(uid_t uid, gid_t gid) const {
        for (const fs::path& p : {home, machine, run, frames}) {
            ASSERT_EQ(::chown(p.c_str(), uid, gid), 0) << p;
        }
    }

    fs::path MciLog() const { return frames / "mci.log"; }

    // The saver's environment: the machine, the test audio back end with its command log, and
    // every frame shown dumped into `frames`.
    std::vector<std::string> Environment() const {
        return {"HOME=" + home.string(),
                "PLENOVA_MACHINE=" + machine.string(),
                "XDG_RUNTIME_DIR=" + run.string(),
                "QT_QPA_PLATFORM=xcb",
                "PLENOVA_AUDIO=test",
                "PLENOVA_AUDIO_TEST_MS=60000",
                "PLENOVA_MCI_LOG=" + MciLog().string(),
                "PLENOVA_FRAME_DUMP=" + frames.string()};
    }

    std::vector<std::string> MciLogLines() const {
        std::vector<std::string> lines;
        std::ifstream in(MciLog());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
};

// The music was started and, at the end, stopped and closed (the sound device released).
void ExpectMusicClosed(const std::vector<std::string>& log) {
    const auto has = [&](const std::string& line) {
        return std::find(log.begin(), log.end(), line) != log.end();
    };
    EXPECT_TRUE(has("send\t0\tplay bgm notify")) << "the music never started";
    EXPECT_TRUE(has("execute\t0\tstop bgm"));
    EXPECT_TRUE(has("execute\t0\tclose bgm")) << "the music device was not closed";
}

// ----- the daemon's user -----

// An ordinary user for the daemon: a throwaway one when the test runs as root (made with
// useradd, removed with userdel), else the test's own user.
class DaemonUser {
public:
    DaemonUser() {
        if (::geteuid() != 0) {
            uid_ = ::getuid();
            gid_ = ::getgid();
            return;
        }
        name_ = "plenova-hack-" + std::to_string(::getpid());
        if (RunToEnd({"useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
                      "--shell", "/usr/sbin/nologin", name_}) != 0) {
            throw std::runtime_error("useradd " + name_ + " failed");
        }
        const passwd* entry = ::getpwnam(name_.c_str());
        if (entry == nullptr) throw std::runtime_error("no user " + name_ + " after useradd");
        uid_ = entry->pw_uid;
        gid_ = entry->pw_gid;
    }
    ~DaemonUser() {
        // Forced: a helper of the daemon that is still on its way out must not keep it.
        if (!name_.empty()) RunToEnd({"userdel", "--force", name_});
    }
    DaemonUser(const DaemonUser&) = delete;
    DaemonUser& operator=(const DaemonUser&) = delete;

    uid_t Uid() const { return uid_; }
    gid_t Gid() const { return gid_; }

    // The command that runs `argv` as this user with exactly the environment `env`.
    std::vector<std::string> Command(const std::vector<std::string>& argv,
                                     const std::vector<std::string>& env) const {
        std::vector<std::string> command;
        if (!name_.empty()) command = {"runuser", "-u", name_, "--"};
        command.insert(command.end(), {"env", "-i"});
        command.insert(command.end(), env.begin(), env.end());
        command.insert(command.end(), argv.begin(), argv.end());
        return command;
    }

private:
    std::string name_;  // empty: the test's own user
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

class HackE2E : public ::testing::Test {
protected:
    void TearDown() override {
        for (const pid_t pid : ProcessesOf(install_.program)) ::kill(pid, SIGKILL);
    }

    // Waits for a few frames, takes two shots of `window` about ten frames (200 ms) apart, and
    // checks that they differ and that each is exactly one frame that the saver composed, at the
    // window's size.
    void ExpectSceneMovesIn(Window window, int width, int height) {
        const fs::path& frames = install_.frames;
        ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(frames) >= 3; }, 15s))
            << "no frames shown";
        const WindowShot first = ShootWindow(window);
        const long long atFirst = NewestComposedFrame(frames);
        const std::optional<std::uint64_t> firstShown = FrameShownBy(first, frames, atFirst);
        ASSERT_TRUE(WaitUntil([&] { return NewestComposedFrame(frames) >= atFirst + 10; }, 10s));
        const WindowShot second = ShootWindow(window);
        const std::optional<std::uint64_t> secondShown =
            FrameShownBy(second, frames, NewestComposedFrame(frames));
        ASSERT_EQ(first.width, width);
        ASSERT_EQ(first.height, height);
        EXPECT_GT(ChangedShare(first, second), 0.25) << "the scene does not move";
        ASSERT_TRUE(firstShown.has_value()) << "the first shot shows no frame the saver composed";
        ASSERT_TRUE(secondShown.has_value()) << "the second shot shows no frame the saver composed";
        EXPECT_GE(*secondShown, *firstShown + 5);
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
    const pid_t daemon = Spawn(user.Command({"xscreensaver", "--no-splash"}, env), {});
    ASSERT_GT(daemon, 0);
    struct DaemonEnd {
        pid_t pid;
        const DaemonUser& user;
        const std::vector<std::string>& env;
        ~DaemonEnd() {
            RunToEnd(user.Command({"xscreensaver-command", "-exit"}, env), {}, 5s);
            if (!WaitExit(pid, 5s)) Kill(pid);
        }
    } daemonEnd{daemon, user, env};

    const auto command = [&](const std::string& what) {
        return RunToEnd(user.Command({"xscreensaver-command", what}, env), {}, 5s);
    };
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
