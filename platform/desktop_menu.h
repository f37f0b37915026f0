// The machine's Start menu in the desktop's application menu, as Wine does it.
//
// Every shell link (".lnk") below the machine's Programs folder, subfolders included, gets a
// freedesktop desktop entry in the user's applications folder that starts the link's target
// through the machine:
//
//   Exec=env PLENOVA_MACHINE=<root> <plenova-machine> run "<Windows target>" "<arguments>"
//
// (the PLENOVA_MACHINE part only when the machine is not the one a program finds by default;
// the link's arguments stay one argument, as the machine hands them to its programs). The
// link's folder below Programs is its group: each group gets a directory entry with the
// group's name, and one merged menu file per machine puts the group's entries into a submenu
// of that name (nested groups nest), so menus that follow the freedesktop menu layout show the
// Start menu's tree. Every entry also carries the main category "Utility" and "X-Plenova", and
// entries and submenus show the machine's icon, the frog of the icon theme ("plenova"): the
// machine's programs carry no icons of their own.
//
// Every file written here is named "plenova-<machine id>-<hash>.<suffix>", the machine id being
// a hash of the machine's root, so that nothing else in those folders, and no other machine's
// entries, is ever touched. A refresh writes what changed and removes its own files whose link
// is gone; links that cannot be read (damaged, no regular file, a folder as target) are passed
// over and reported.
//
// A shortcut is outside input (a setup medium can drop one into the Start menu), so only
// shortcuts whose target lies on one of the machine's own drives (not Z:, the host) get an
// entry, and control characters are dropped from every value written: an entry can neither
// start a host program nor smuggle in lines or keys of its own.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"

namespace plenova::platform {

// Where the desktop looks for menu files.
struct DesktopMenuFolders {
    std::filesystem::path applications;  // desktop entries
    std::filesystem::path directories;   // group names (".directory")
    std::filesystem::path mergedMenus;   // menu layout (".menu")

    // $XDG_DATA_HOME/applications and $XDG_DATA_HOME/desktop-directories (default
    // ~/.local/share), $XDG_CONFIG_HOME/menus/applications-merged (default ~/.config). Relative
    // XDG values are ignored, as the XDG base directory rules have it. Throws MachineError
    // when there is no home folder to fall back on.
    static DesktopMenuFolders FromEnvironment();
};

struct DesktopMenuReport {
    int written = 0;                    // entries, directories and menus created or changed
    int removed = 0;                    // our files whose link is gone
    int entries = 0;                    // desktop entries the Start menu now has
    std::vector<std::string> problems;  // links passed over, files that could not be written
};

// The plenova-machine program that the entries start: $PLENOVA_MACHINE_TOOL when it names an
// executable file; this program when it is plenova-machine; a "plenova-machine" next to this
// program or in "../bin" from it; else the first in $PATH. Empty when there is none.
std::filesystem::path FindMachineTool();

// Makes the desktop menu match the machine's Programs folder. `tool` is the absolute path of
// plenova-machine. Never throws for what it finds on disk; problems go into the report.
DesktopMenuReport SyncDesktopMenu(const Machine& machine, const std::filesystem::path& tool,
                                  const DesktopMenuFolders& folders);

// SyncDesktopMenu for the current machine with FindMachineTool and the environment's folders;
// the reason in `problems` when that cannot be done (no tool, no home). Never throws.
DesktopMenuReport RefreshDesktopMenu() noexcept;

// Names FindMachineTool's program in $PLENOVA_MACHINE_TOOL (unless that already names one), so
// that the programs this one starts inside the machine, where no plenova-machine lies beside
// them, refresh the menu with the same program. Nothing when there is none.
void HandMachineToolOn() noexcept;

// The prefix of every file name written for `machine`: "plenova-<16 hex digits>-".
std::string DesktopMenuPrefix(const Machine& machine);

// One argument of an Exec line, quoted by the Desktop Entry rules where it needs quoting ("%"
// doubled always); the result still needs the string-value escaping of the file (EscapeValue).
std::string QuoteExecArgument(std::string_view argument);
// A string value as a desktop file holds it: "\" doubled, line breaks and tabs escaped, bytes
// that are not UTF-8 replaced by U+FFFD.
std::string EscapeDesktopValue(std::string_view value);

}  // namespace plenova::platform
