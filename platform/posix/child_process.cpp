#include "platform/child_process.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace plenova::platform {

std::optional<int> RunInChildProcess(const std::function<int()>& body,
                                     std::chrono::milliseconds limit) {
    // Buffered output of this process would otherwise be written twice, once by the child.
    std::fflush(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) return std::nullopt;
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(255);
        // A group of its own, so that whatever the body starts can be killed with it.
        ::setpgid(0, 0);
        int code = 255;
        try {
            code = body();
        } catch (...) {
            // Reported through the exit code 255: nothing may unwind out of the child.
        }
        std::fflush(nullptr);
        ::_exit(code & 0xFF);
    }
    ::setpgid(pid, pid);  // also here: the child may not have run yet when we kill it

    const auto deadline = std::chrono::steady_clock::now() + limit;
    long pauseNs = 100'000;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return std::nullopt;
        }
        if (done < 0 && errno != EINTR) return std::nullopt;  // reaped by someone else
        if (std::chrono::steady_clock::now() >= deadline) break;
        const timespec pause{0, pauseNs};
        ::nanosleep(&pause, nullptr);
        pauseNs = std::min(pauseNs * 2, 20'000'000L);
    }
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return std::nullopt;
}

}  // namespace plenova::platform
