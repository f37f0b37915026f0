// plenova-machine menu: brings the desktop's application menu up to date with the machine's
// Start menu.
#include <iostream>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/desktop_menu.h"
#include "tools/plenova_machine/machine_tool.h"

namespace plenova::machine_tool {

int MenuCommand(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage("menu takes no arguments");
    const platform::DesktopMenuReport report = platform::RefreshDesktopMenu();
    for (const std::string& problem : report.problems)
        std::cerr << "menu: " << plenova::TerminalText(problem) << "\n";
    std::cout << report.entries << " entries, " << report.written << " files written, "
              << report.removed << " removed\n";
    return report.problems.empty() ? kOk : kFailed;
}

}  // namespace plenova::machine_tool
