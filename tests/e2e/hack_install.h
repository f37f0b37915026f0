// What the end-to-end tests of the hack share: the saver laid out as the package installs it in
// a folder another user can read, and an ordinary user for XScreenSaver's daemon, which refuses
// to run hacks as root (a throwaway one made with useradd when the test runs as root).
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/scene_shots.h"

namespace plenova::e2e {

namespace fs = std::filesystem;

// ----- processes -----

// Runs a program to its end; its exit status (-1 when it does not end within the time).
inline int RunToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
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
inline std::vector<pid_t> ProcessesOf(const fs::path& program) {
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
// <prefix>/share/plenova/data, the xsecurelock module in <prefix>/libexec/xsecurelock, the
// distribution medium in <prefix>/lib/plenova with the command <prefix>/bin/plenova-saver
// linked to its saver, and the folders one run of it writes.
struct HackInstall {
    SharedFolder folder;
    fs::path prefix = folder.Path() / "usr";
    fs::path program = prefix / "libexec" / "xscreensaver" / "plenova";
    fs::path module = prefix / "libexec" / "xsecurelock" / "saver_plenova";
    fs::path home = folder.Path() / "home";
    fs::path machine = folder.Path() / "machine";
    fs::path run = folder.Path() / "run";
    fs::path frames = folder.Path() / "frames";
    fs::path medium = prefix / "lib" / "plenova";
    fs::path command = prefix / "bin" / "plenova-saver";

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
        fs::create_directories(medium);
        for (const auto& entry : fs::directory_iterator(PLENOVA_DIST_DIR)) {
            if (entry.is_regular_file())
                fs::copy_file(entry.path(), medium / entry.path().filename());
        }
        fs::create_directories(command.parent_path());
        fs::create_symlink("../lib/plenova/PlenovaSaver.scr", command);
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
inline void ExpectMusicClosed(const std::vector<std::string>& log) {
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

// The XScreenSaver daemon running as `user` with exactly `env`, asked to exit (then killed) at
// the end of the scope.
class RunningDaemon {
public:
    RunningDaemon(const DaemonUser& user, std::vector<std::string> env)
        : user_(user), env_(std::move(env)),
          pid_(Spawn(user_.Command({"xscreensaver", "--no-splash"}, env_), {})) {}
    ~RunningDaemon() {
        if (pid_ <= 0) return;
        Command("-exit");
        if (!WaitExit(pid_, std::chrono::seconds(5))) Kill(pid_);
    }
    RunningDaemon(const RunningDaemon&) = delete;
    RunningDaemon& operator=(const RunningDaemon&) = delete;

    bool Started() const { return pid_ > 0; }
    // Runs xscreensaver-command with one option; its exit status.
    int Command(const std::string& what) const {
        return RunToEnd(user_.Command({"xscreensaver-command", what}, env_), {},
                        std::chrono::seconds(5));
    }

private:
    const DaemonUser& user_;
    std::vector<std::string> env_;
    pid_t pid_;
};

// Waits for a few frames, takes two shots of `window` about ten frames (200 ms) apart, and
// checks that they differ and that each is exactly one frame that the saver composed, at the
// window's size.
inline void ExpectSceneMovesInWindow(const fs::path& frames, Window window, int width,
                                     int height) {
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

}  // namespace plenova::e2e
