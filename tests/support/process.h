// Running programs to their end with their output captured, and waiting for a condition with a
// deadline, shared by the tests that start real processes.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace plenova::testing {

// How a finished program ended: its exit code (128 + the signal when a signal ended it, -1 when
// it could not be started) and what it wrote.
struct Finished {
    int exitCode = -1;
    std::string output;
};

// Which of a program's output streams RunToEnd keeps.
enum class Capture { kOutputAndErrors, kOutputOnly };

// Runs a program (looked up on PATH) with the given arguments and the test's environment to its
// end; the output stays free of the error stream with Capture::kOutputOnly.
inline Finished RunToEnd(std::vector<std::string> args,
                         Capture capture = Capture::kOutputAndErrors) {
    Finished result;
    if (args.empty()) return result;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Close-on-exec, so no other child started meanwhile holds the pipe open.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (capture == Capture::kOutputAndErrors)
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    char buffer[4096];
    for (ssize_t n; spawned == 0 && (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (spawned != 0) return result;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return result;
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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

}  // namespace plenova::testing
