#include "platform/program_wait.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/machine.h"

namespace plenova::platform {
namespace {

namespace fs = std::filesystem;

// The processes whose parent is this one, from /proc.
std::vector<pid_t> ChildProcesses() {
    std::vector<pid_t> children;
    const std::string self = std::to_string(::getpid());
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "stat");
        std::string stat;
        std::getline(in, stat);
        // "pid (name) state ppid ...": the name may hold blanks and parentheses itself.
        const auto close = stat.rfind(')');
        if (close == std::string::npos || close + 4 >= stat.size()) continue;
        const auto ppidStart = stat.find(' ', close + 2);
        if (ppidStart == std::string::npos) continue;
        const auto ppidEnd = stat.find(' ', ppidStart + 1);
        if (stat.substr(ppidStart + 1, ppidEnd - ppidStart - 1) == self)
            children.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return children;
}

// True when the process runs a program of the machine: its executable, or the script an
// interpreter runs (its first argument, a file), lies on a drive other than Z: (the host's own
// file system).
// A process in the middle of starting a program (between its exec's start and end) shows no
// command line yet: it is looked at again.
enum class Runs { MachineProgram, Other, NotYetKnown };

Runs WhatRuns(const Machine& machine, pid_t pid) {
    const fs::path proc = fs::path("/proc") / std::to_string(pid);
    std::vector<fs::path> candidates;
    std::error_code ec;
    const fs::path exe = fs::read_symlink(proc / "exe", ec);
    if (ec) return Runs::Other;  // ended, or not ours to look at
    candidates.push_back(exe);
    std::ifstream in(proc / "cmdline", std::ios::binary);
    std::string argument;
    int arguments = 0;
    for (; arguments < 2 && std::getline(in, argument, '\0'); ++arguments) {
        if (arguments == 1 && !argument.empty() && argument[0] == '/' &&
            fs::is_regular_file(argument, ec))
            candidates.push_back(argument);
    }
    for (const fs::path& candidate : candidates) {
        const std::string windows = machine.ToWindows(candidate);
        if (windows.size() >= 2 && windows[1] == ':' && windows[0] != 'Z')
            return Runs::MachineProgram;
    }
    return arguments == 0 ? Runs::NotYetKnown : Runs::Other;
}

}  // namespace

void PrepareToWaitForDescendants() {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    // A handler rather than SIG_IGN, since an ignored signal would stay ignored in the program.
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGQUIT, &action, nullptr);
}

// Whenever a child ends, the rest is looked at again: orphans may have come meanwhile.
void WaitForMachineChildren(const Machine& machine) {
    // A child still starting its program is looked at again for at most a second.
    constexpr int kLooksAtStartingChild = 100;
    int looksLeft = kLooksAtStartingChild;
    for (;;) {
        int ignored = 0;
        while (::waitpid(-1, &ignored, WNOHANG) > 0) {
        }
        bool machineChild = false;
        bool startingChild = false;
        for (const pid_t child : ChildProcesses()) {
            const Runs runs = WhatRuns(machine, child);
            machineChild = machineChild || runs == Runs::MachineProgram;
            startingChild = startingChild || runs == Runs::NotYetKnown;
        }
        if (!machineChild && startingChild && looksLeft-- > 0) {
            ::usleep(10'000);
            continue;
        }
        if (!machineChild) break;
        looksLeft = kLooksAtStartingChild;
        if (::waitpid(-1, &ignored, 0) < 0 && errno != EINTR && errno != ECHILD) break;
    }
}

bool StandardInputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

}  // namespace plenova::platform
