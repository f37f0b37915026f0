// An X server of the test program's own: Xvfb on a display number that the server picks itself
// (-displayfd, so two test programs never collide), optionally with a window manager (openbox).
// Both end with the object, and also when the test program dies, killed or crashed: they get a
// parent-death signal, so no failed run leaves a server behind.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace plenova::testing {

class XServer {
public:
    // `screen` as Xvfb takes it (width x height x depth). With `windowManager` an openbox runs
    // on the server; the constructor returns once it manages windows.
    explicit XServer(const std::string& screen = "1024x768x24", bool windowManager = false) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) throw std::runtime_error("XServer: no pipe");
        server_ = Start({"Xvfb", "-displayfd", std::to_string(pipeFds[1]), "-screen", "0", screen,
                         "-nolisten", "tcp", "-noreset"},
                        pipeFds[1]);
        ::close(pipeFds[1]);
        // Built by push_back and append: GCC 12 warns falsely (-Wrestrict) when a string is
        // assigned or concatenated from a literal here.
        const std::string number = ReadDisplayNumber(pipeFds[0]);
        display_.clear();
        display_.push_back(':');
        display_.append(number);
        ::close(pipeFds[0]);
        if (display_ == ":") {
            Stop(server_);
            throw std::runtime_error("XServer: Xvfb did not start");
        }
        ::setenv("DISPLAY", display_.c_str(), 1);
        if (windowManager) {
            manager_ = Start({"openbox", "--sm-disable"}, -1);
            if (manager_ < 0) {
                Stop(server_);
                throw std::runtime_error("XServer: openbox cannot be started");
            }
        }
    }
    ~XServer() {
        Stop(manager_);
        Stop(server_);
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // ":<n>", also set as DISPLAY for the process and its children.
    const std::string& Display() const { return display_; }
    // The window manager's process (-1 without one).
    pid_t WindowManager() const { return manager_; }

private:
    // Forks and runs the program with the parent-death signal set; `keepFd` stays open.
    static pid_t Start(const std::vector<std::string>& argv, int keepFd) {
        const pid_t parent = ::getpid();
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            // SIGTERM lets the server remove its lock file and socket.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(127);  // the parent died before the prctl
            // Quiet: the server's and the manager's chatter would bury the test's output.
            const int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0) {
                ::dup2(null, 1);
                ::dup2(null, 2);
            }
            for (int fd = 3; fd < 256; ++fd)
                if (fd != keepFd) ::close(fd);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        return pid;
    }

    // Reads the display number that Xvfb writes once it accepts connections.
    std::string ReadDisplayNumber(int fd) {
        std::string number;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) {
                int status = 0;
                if (::waitpid(server_, &status, WNOHANG) == server_) {
                    server_ = -1;
                    return {};
                }
                continue;
            }
            char c = 0;
            if (::read(fd, &c, 1) != 1) return {};
            if (c == '\n') return number;
            number += c;
        }
        return {};
    }

    // Ends the process: SIGTERM, then SIGKILL when it is still there after two seconds.
    static void Stop(pid_t& pid) {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid = -1;
    }

    pid_t server_ = -1;
    pid_t manager_ = -1;
    std::string display_;
};

}  // namespace plenova::testing
