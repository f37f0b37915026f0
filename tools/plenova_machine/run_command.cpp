// plenova-machine run: starts a machine program as the shell would and, unless told not to,
// waits for it and for the machine programs it leaves running.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/machine.h"
#include "platform/program_wait.h"
#include "tools/plenova_machine/machine_tool.h"

namespace plenova::machine_tool {

using namespace plenova::platform;
using plenova::TerminalText;

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
    if (!EnterProgramFolder(machine, program))
        return Fail("the folder of " + shown + " cannot be entered");
    if (!wait) {
        if (!machine.StartProcess(program, arguments)) return Fail(shown + " cannot be started");
        return kOk;
    }
    PrepareToWaitForDescendants();
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
