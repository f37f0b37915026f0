// Starting programs with their output on a pipe, running them to their end, and waiting for a
// condition with a deadline, shared by the tests that start real processes.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace plenova::testing {

// Which of a program's output streams go to the pipe that the test reads.
enum class Capture { kNothing, kOutputOnly, kOutputAndErrors };

// A program that was started: its id (-1 when it could not start) and the read end of the pipe
// its output goes to (-1 without one).
struct Started {
    pid_t pid = -1;
    int out = -1;
};

// Starts a program (a path, or a name looked up on PATH) with the given arguments and the test's
// environment, its output streams on a pipe as `capture` says.
inline Started Start(std::vector<std::string> args, Capture capture = Capture::kOutputOnly) {
    Started started;
    if (args.empty()) return started;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Close-on-exec, so no other child started meanwhile holds the pipe open.
    int fds[2] = {-1, -1};
    if (capture != Capture::kNothing && ::pipe2(fds, O_CLOEXEC) != 0) return started;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (capture != Capture::kNothing)
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (capture == Capture::kOutputAndErrors)
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (fds[1] >= 0) ::close(fds[1]);
    if (spawned != 0) {
        if (fds[0] >= 0) ::close(fds[0]);
        return started;
    }
    started.pid = pid;
    started.out = fds[0];
    return started;
}

// Everything that comes through the pipe until its writers close it; the pipe is closed then.
inline std::string ReadToEnd(int fd) {
    std::string text;
    if (fd < 0) return text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

// Waits for the program's end: its exit code, 128 + the signal when a signal ended it, -1 when
// there is no such child.
inline int WaitForExit(pid_t pid) {
    if (pid <= 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// How a finished program ended: its exit code (as WaitForExit gives it, -1 when it could not be
// started) and what it wrote.
struct Finished {
    int exitCode = -1;
    std::string output;
};

// Runs a program to its end; the output stays free of the error stream with
// Capture::kOutputOnly.
inline Finished RunToEnd(std::vector<std::string> args,
                         Capture capture = Capture::kOutputAndErrors) {
    const Started started = Start(std::move(args), capture);
    Finished result;
    result.output = ReadToEnd(started.out);
    result.exitCode = WaitForExit(started.pid);
    return result;
}

// Polls `condition` until it holds or the time is up; whether it held.
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                      std::chrono::milliseconds every = std::chrono::milliseconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(every);
    }
}

// Sets an environment variable that the programs a test starts inherit, and restores it at the
// end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace plenova::testing
