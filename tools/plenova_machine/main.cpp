// plenova-machine: looks at and changes the emulated Windows machine from a shell, in the manner
// of Windows "reg" and of "winepath". Nothing in the programs needs it; it lets a user set what
// nothing in the system writes (HKCU\Software\ZEVRA6\Set, "Mute"), inspect what the programs
// stored, and set up drives such as a removable A:.
//
// Exit status: 0 success, 1 the operation failed (missing key or value, refused, I/O error),
// 2 bad arguments.
//
// It is also the desktop's screen-saver host (host) and its Display Properties page (desk).
//
// Each verb group has a unit of its own (reg, drive and path, run, uninstall, menu, host, desk);
// this one picks the verb.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/desktop_menu.h"
#include "platform/machine.h"
#include "tools/plenova_machine/machine_tool.h"

using namespace plenova::machine_tool;

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command given");
    const std::string command = plenova::FoldCase(args[0]);
    // The programs started through this one refresh the desktop menu with it.
    if (const auto self = plenova::platform::FindMachineTool(); !self.empty())
        ::setenv("PLENOVA_MACHINE_TOOL", self.c_str(), 1);
    if (command == "-h" || command == "--help" || command == "/?" || command == "help") {
        std::cout << kUsageText;
        return kOk;
    }
    try {
        if (command == "root") {
            if (args.size() != 1) return Usage("root takes no arguments");
            std::cout << plenova::platform::CurrentMachine().Root().string() << "\n";
            return kOk;
        }
        if (command == "reg") return RegCommand(args);
        if (command == "path") return PathCommand(args);
        if (command == "drive") return DriveCommand(args);
        if (command == "menu") return MenuCommand(args);
        if (command == "run") return RunCommand(args);
        if (command == "uninstall") return UninstallCommand(args);
        if (command == "host") return HostCommand(args);
        if (command == "desk") return DeskCommand(args);
        return Usage("unknown command " + args[0]);
    } catch (const std::invalid_argument& e) {
        return Usage(e.what());
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
