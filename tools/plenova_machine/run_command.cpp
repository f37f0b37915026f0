// plenova-machine run: starts a machine program as the shell would and, unless told not to,
// waits for it and for the machine programs it leaves running.
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/machine.h"
#include "tools/plenova_machine/machine_tool.h"

namespace plenova::machine_tool {
namespace {

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::TerminalText;

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
// file system). Desktop programs that a machine program starts (a file manager showing a
// folder) are not machine programs.
bool RunsMachineProgram(const Machine& machine, pid_t pid) {
    const fs::path proc = fs::path("/proc") / std::to_string(pid);
    std::vector<fs::path> candidates;
    std::error_code ec;
    const fs::path exe = fs::read_symlink(proc / "exe", ec);
    if (ec) return false;  // ended, or not ours to look at
    candidates.push_back(exe);
    std::ifstream in(proc / "cmdline", std::ios::binary);
    std::string argument;
    for (int i = 0; i < 2 && std::getline(in, argument, '\0'); ++i) {
        if (i == 1 && !argument.empty() && argument[0] == '/' && fs::is_regular_file(argument, ec))
            candidates.push_back(argument);
    }
    for (const fs::path& candidate : candidates) {
        const std::string windows = machine.ToWindows(candidate);
        if (windows.size() >= 2 && windows[1] == ':' && windows[0] != 'Z') return true;
    }
    return false;
}

// Keeps this process alive through a terminal's Ctrl-C or Ctrl-\ while it waits, as system()
// does: the program, which gets the signal too, decides, and its end gives our status. A
// handler rather than SIG_IGN, since an ignored signal would stay ignored in the program.
void WaitThroughTerminalSignals() {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGQUIT, &action, nullptr);
}

// Reaps the ended children and waits on while a machine program is among the rest. Whenever a
// child ends, the rest is looked at again: orphans may have come meanwhile.
void WaitForMachineChildren(const Machine& machine) {
    for (;;) {
        int ignored = 0;
        while (::waitpid(-1, &ignored, WNOHANG) > 0) {
        }
        bool machineChild = false;
        for (const pid_t child : ChildProcesses())
            machineChild = machineChild || RunsMachineProgram(machine, child);
        if (!machineChild) break;
        if (::waitpid(-1, &ignored, 0) < 0 && errno != EINTR && errno != ECHILD) break;
    }
}

}  // namespace

// Waiting, it also waits for the machine programs the program leaves running: a program that
// hands over to another one (the setup's first stage) is only done when that one is. A
// program that is not on one of the machine's own drives runs only with `allowHost` (the
// user's --host): the registry and shortcuts that name programs may have been written by a
// setup medium.
int RunProgram(Machine& machine, const std::string& program, const std::string& arguments,
               bool wait, bool allowHost) {
    const std::string shown = TerminalText(program);
    if (!machine.FileExists(program)) return Fail("the program " + shown + " does not exist");
    if (!allowHost && !machine.OnOwnDrive(program))
        return Fail(shown +
                    " is a host program (not on one of the machine's own drives, or reached "
                    "through a link out of one); it runs only with --host");
    auto folder = ProgramFolderOf(machine, program);
    if (!folder || !machine.SetCurrentFolder(*folder))
        return Fail("the folder of " + shown + " cannot be entered");
    if (!wait) {
        if (!machine.StartProcess(program, arguments)) return Fail(shown + " cannot be started");
        return kOk;
    }
    // Orphans among the program's descendants become our children, so they can be waited for.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    WaitThroughTerminalSignals();
    std::optional<int> status = machine.RunProcess(program, arguments);
    if (!status) return Fail(shown + " cannot be started (not a program, or not runnable)");
    WaitForMachineChildren(machine);
    return *status;
}

int RunCommand(const std::vector<std::string>& args) {
    std::size_t first = 1;
    bool wait = true;
    bool allowHost = false;
    for (; first < args.size(); ++first) {
        if (args[first] == "--no-wait")
            wait = false;
        else if (args[first] == "--host")
            allowHost = true;
        else
            break;
    }
    if (first >= args.size()) return Usage("run needs the Windows path of a program");
    const std::string& program = args[first];
    if (program.empty()) return Usage("run needs the Windows path of a program");
    // The command line is the arguments as one text, unchanged, as a shell passes it on.
    const std::string arguments =
        plenova::JoinWithBlanks(std::span<const std::string>(args).subspan(first + 1));
    return RunProgram(CurrentMachine(), program, arguments, wait, allowHost);
}

}  // namespace plenova::machine_tool
