#include "tools/plenova_machine/machine_tool.h"

namespace plenova::machine_tool {

namespace {

// The Windows form of the folder that holds `program`, made absolute ("A:\" for a drive root).
std::optional<std::string> ProgramFolderOf(const platform::Machine& machine,
                                           const std::string& program) {
    auto full = machine.FullPath(program);
    if (!full) return std::nullopt;
    const auto slash = full->find_last_of('\\');
    if (slash == std::string::npos) return std::nullopt;
    return slash <= 2 ? full->substr(0, 2) + "\\" : full->substr(0, slash);
}

}  // namespace

bool EnterProgramFolder(platform::Machine& machine, const std::string& program) {
    const auto folder = ProgramFolderOf(machine, program);
    return folder && machine.SetCurrentFolder(*folder);
}

}  // namespace plenova::machine_tool
