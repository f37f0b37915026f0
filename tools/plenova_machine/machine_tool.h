// What the verbs of plenova-machine share: the exit statuses, the usage text, the way bad
// arguments and failures are reported, and starting a machine program (run and uninstall).
//
// What the machine holds was partly written by setup media (registry values, shortcuts), so
// texts from it reach the terminal escaped (TerminalText), and a program it names runs only
// when it is the machine's own: a host program needs the user's --host.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/machine.h"

namespace plenova::machine_tool {

inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

inline constexpr const char* kUsageText =
    "usage:\n"
    "  plenova-machine root\n"
    "  plenova-machine reg query KEY [/v NAME | /ve] [/s]\n"
    "  plenova-machine reg add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD] [/d DATA] [/f]\n"
    "  plenova-machine reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "  plenova-machine reg export KEY FILE [/y]      FILE is a host path; \"-\" is standard output\n"
    "  plenova-machine path -u WINDOWSPATH           Windows path to host path\n"
    "  plenova-machine path -w HOSTPATH              host path to Windows path\n"
    "  plenova-machine drive list\n"
    "  plenova-machine drive add LETTER: HOSTFOLDER [TYPE]\n"
    "  plenova-machine drive remove LETTER:\n"
    "  plenova-machine run [--no-wait] [--host] WINDOWSPATH [ARGUMENT...]\n"
    "  plenova-machine uninstall --list | [--host] TITLE\n"
    "  plenova-machine menu                          Start menu into the desktop's menu\n"
    "  plenova-machine host [--host]                 the screen-saver host (runs until ended)\n"
    "  plenova-machine desk                          the screen-saver page of Display Properties\n"
    "\n"
    "KEY begins with HKCU, HKEY_CURRENT_USER, HKLM or HKEY_LOCAL_MACHINE, e.g.\n"
    "  plenova-machine reg add \"HKCU\\Software\\ZEVRA6\\Set\" /v Mute /d 1 /f\n"
    "Options may also be written with \"-\" (-v, -f). TYPE is a number 0 to 6 or one of\n"
    "unknown, removable, fixed, remote, cdrom, ramdisk (default fixed).\n"
    "run starts a machine program as the shell would: its folder current, the arguments joined\n"
    "with blanks as its command line. It waits for the program and for the machine programs it\n"
    "leaves running (a setup's second stage) and exits with the program's own status (128 +\n"
    "the signal number when a signal ended it); --no-wait returns as soon as the program has\n"
    "started.\n"
    "host starts the saver that HKCU\\Control Panel\\Desktop names (\"SCRNSAVE.EXE\") with \"/s\"\n"
    "once the desktop has been idle for \"ScreenSaveTimeOut\" seconds, while\n"
    "\"ScreenSaveActive\" is \"1\" and no program inhibits it; it follows changes of these\n"
    "values and ends, with the saver it started, on SIGTERM.\n"
    "uninstall --list names the installed products; uninstall TITLE runs the product's\n"
    "UninstallString as run does and exits with its status.\n"
    "run, uninstall and host start only programs on the machine's own drives (not Z:, not a host\n"
    "path, not through a link that leads out of the drive); --host allows a host program.\n"
    "Texts from the machine (registry data, names) are shown with control characters escaped:\n"
    "\\t, \\r, \\n, other control bytes as \\xHH.\n"
    "The machine is $PLENOVA_MACHINE, else $XDG_DATA_HOME/plenova, else ~/.local/share/plenova.\n"
    "Exit status: 0 success, 1 failure (a host program refused without --host included),\n"
    "2 bad arguments.\n";

// Reports bad arguments with the usage text; returns kUsage.
int Usage(const std::string& problem);
// Reports a failed operation; returns kFailed.
int Fail(const std::string& message);
// True when `arg` is the option `name` written with "/" or "-", in any case.
bool IsOption(const std::string& arg, const char* name);
// Asks on the terminal; without one the answer is no, so scripts must say /f.
bool Confirm(const std::string& question);

// Makes the folder that holds `program` the current one, as the shell does before it starts a
// program; false when it cannot be entered.
bool EnterProgramFolder(platform::Machine& machine, const std::string& program);

// Runs a machine program from its own folder with `arguments` as its command line. With
// `wait`, returns the program's status (128 + the signal number when a signal ended it) once it
// and the machine programs it left running have ended; else as soon as it has started. A host
// program runs only with `allowHost`.
int RunProgram(platform::Machine& machine, const std::string& program,
               const std::string& arguments, bool wait, bool allowHost);

// The verbs; `args` starts with the verb itself.
int RegCommand(const std::vector<std::string>& args);
int PathCommand(const std::vector<std::string>& args);
int DriveCommand(const std::vector<std::string>& args);
int RunCommand(const std::vector<std::string>& args);
int UninstallCommand(std::vector<std::string> args);
int MenuCommand(const std::vector<std::string>& args);
int HostCommand(const std::vector<std::string>& args);
int DeskCommand(const std::vector<std::string>& args);

}  // namespace plenova::machine_tool
