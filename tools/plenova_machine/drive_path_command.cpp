// plenova-machine drive and path: the machine's table of drives, and converting paths between
// the machine and the host in the manner of "winepath".
#include <cctype>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/machine.h"
#include "tools/plenova_machine/machine_tool.h"

namespace plenova::machine_tool {
namespace {

namespace fs = std::filesystem;
using namespace plenova::platform;

std::optional<int> DriveTypeArg(const std::string& text) {
    static const char* const names[] = {"unknown", "norootdir", "removable", "fixed", "remote", "cdrom", "ramdisk"};
    for (int i = 0; i <= kDriveRamDisk; ++i) {
        if (text == std::to_string(i) || plenova::EqualsIgnoreCase(text, names[i])) return i;
    }
    return std::nullopt;
}

std::optional<char> DriveLetterArg(const std::string& text) {
    if ((text.size() == 2 && text[1] == ':') || text.size() == 1) {
        const char c = text[0];
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
            return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return std::nullopt;
}

int DriveList(Machine& machine, const std::vector<std::string>& args) {
    static const char* const typeNames[] = {"unknown", "no root dir", "removable", "fixed", "remote", "cd-rom", "ram disk"};
    if (args.size() != 2) return Usage("drive list takes no arguments");
    for (const Drive& d : machine.Drives())
        std::cout << d.letter << ": " << d.type << " " << typeNames[d.type] << " " << d.hostFolder.string() << "\n";
    return kOk;
}

int DriveAdd(Machine& machine, const std::vector<std::string>& args) {
    if (args.size() != 4 && args.size() != 5) return Usage("drive add needs LETTER: HOSTFOLDER [TYPE]");
    auto letter = DriveLetterArg(args[2]);
    if (!letter) return Usage("invalid drive letter " + args[2]);
    if (*letter == 'C' || *letter == 'Z') return Usage("drives C: and Z: are fixed and cannot be changed");
    int type = kDriveFixed;
    if (args.size() == 5) {
        auto t = DriveTypeArg(args[4]);
        if (!t) return Usage("invalid drive type " + args[4]);
        type = *t;
    }
    std::error_code ec;
    fs::path folder = fs::absolute(args[3], ec);
    if (ec || args[3].empty()) return Usage("invalid host folder " + args[3]);
    machine.AddDrive(*letter, folder, type);
    if (!fs::is_directory(folder, ec))
        std::cerr << "note: " << folder.string() << " does not exist (yet)\n";
    return kOk;
}

int DriveRemove(Machine& machine, const std::vector<std::string>& args) {
    if (args.size() != 3) return Usage("drive remove needs LETTER:");
    auto letter = DriveLetterArg(args[2]);
    if (!letter) return Usage("invalid drive letter " + args[2]);
    if (!machine.RemoveDrive(*letter)) return Fail(std::string(1, *letter) + ": is not a drive of the table");
    return kOk;
}

}  // namespace

int PathCommand(const std::vector<std::string>& args) {
    if (args.size() != 3) return Usage("path needs -u WINDOWSPATH or -w HOSTPATH");
    Machine& machine = CurrentMachine();
    if (args[1] == "-u") {
        auto host = machine.ToHost(args[2]);
        if (!host) return Fail("no host path for " + args[2] + " (unknown drive or network path)");
        std::cout << host->string() << "\n";
        return kOk;
    }
    if (args[1] == "-w") {
        std::cout << machine.ToWindows(args[2]) << "\n";
        return kOk;
    }
    return Usage("unknown path option " + args[1]);
}

int DriveCommand(const std::vector<std::string>& args) {
    if (args.size() < 2) return Usage("drive needs list, add or remove");
    const std::string verb = plenova::FoldCase(args[1]);
    Machine& machine = CurrentMachine();
    if (verb == "list") return DriveList(machine, args);
    if (verb == "add") return DriveAdd(machine, args);
    if (verb == "remove") return DriveRemove(machine, args);
    return Usage("unknown drive operation " + args[1]);
}

}  // namespace plenova::machine_tool
