#include "platform/child_program.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace plenova::platform {

namespace {

int StatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

}  // namespace

ChildProgram::ChildProgram(int processId) : processId_(processId) {}

ChildProgram::~ChildProgram() {
    if (Running()) End(std::chrono::seconds(2));
}

bool ChildProgram::Running() {
    if (status_) return false;
    int waitStatus = 0;
    const pid_t done = ::waitpid(processId_, &waitStatus, WNOHANG);
    if (done == processId_) {
        status_ = StatusOf(waitStatus);
    } else if (done < 0 && errno != EINTR) {
        status_ = 255;  // not ours to wait for any more (reaped elsewhere)
    }
    return !status_;
}

void ChildProgram::End(std::chrono::milliseconds grace) {
    if (!Running()) return;
    ::kill(processId_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (Running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!Running()) return;
    ::kill(processId_, SIGKILL);
    int waitStatus = 0;
    while (::waitpid(processId_, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    status_ = StatusOf(waitStatus);
}

}  // namespace plenova::platform
