// A program this process started and keeps as its child (Machine::LaunchProcess): its owner
// asks whether it still runs and ends it when the owner itself ends, so that nothing it started
// outlives it.
#pragma once

#include <chrono>
#include <optional>

namespace plenova::platform {

class ChildProgram {
public:
    // Takes over the child with this process id.
    explicit ChildProgram(int processId);
    // Ends the child as End(2 s) does when it still runs.
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // False once the child has ended (it is then reaped).
    bool Running();
    // Its exit status once it has ended (128 + the signal number when a signal ended it).
    std::optional<int> ExitStatus() const noexcept { return status_; }
    // Asks the child to end (SIGTERM), waits at most `grace`, then kills it.
    void End(std::chrono::milliseconds grace);

private:
    int processId_;
    std::optional<int> status_;
};

}  // namespace plenova::platform
