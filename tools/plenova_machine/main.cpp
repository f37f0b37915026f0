// plenova-machine: looks at and changes the emulated Windows machine from a shell, in the manner
// of Windows "reg" and of "winepath". Nothing in the programs needs it; it lets a user set what
// nothing in the system writes (HKCU\Software\ZEVRA6\Set, "Mute"), inspect what the programs
// stored, and set up drives such as a removable A:.
//
// Exit status: 0 success, 1 the operation failed (missing key or value, refused, I/O error),
// 2 bad arguments.
//
// What the machine holds was partly written by setup media (registry values, shortcuts), so
// texts from it reach the terminal escaped (TerminalText), and a program it names runs only
// when it is the machine's own: a host program needs the user's --host.
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/desktop_menu.h"
#include "platform/file_io.h"
#include "platform/machine.h"
#include "platform/registry.h"

namespace fs = std::filesystem;
using namespace plenova::platform;
using plenova::TerminalText;

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
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
    "uninstall --list names the installed products; uninstall TITLE runs the product's\n"
    "UninstallString as run does and exits with its status.\n"
    "run and uninstall start only programs on the machine's own drives (not Z:, not a host\n"
    "path, not through a link that leads out of the drive); --host allows a host program.\n"
    "Texts from the machine (registry data, names) are shown with control characters escaped:\n"
    "\\t, \\r, \\n, other control bytes as \\xHH.\n"
    "The machine is $PLENOVA_MACHINE, else $XDG_DATA_HOME/plenova, else ~/.local/share/plenova.\n"
    "Exit status: 0 success, 1 failure (a host program refused without --host included),\n"
    "2 bad arguments.\n";

int Usage(const std::string& problem) {
    std::cerr << "plenova-machine: " << problem << "\n" << kUsageText;
    return kUsage;
}

int Fail(const std::string& message) {
    std::cerr << "ERROR: " << message << "\n";
    return kFailed;
}

bool IsOption(const std::string& arg, const char* name) {
    return (arg.size() >= 2 && (arg[0] == '/' || arg[0] == '-')) &&
           plenova::EqualsIgnoreCase(arg.substr(1), name);
}

// Asks on the terminal; without one the answer is no, so scripts must say /f.
bool Confirm(const std::string& question) {
    if (!::isatty(STDIN_FILENO)) return false;
    std::cerr << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

std::string TypeName(const RegistryValue& v) {
    switch (v.kind) {
        case ValueKind::String: return "REG_SZ";
        case ValueKind::Dword: return "REG_DWORD";
        case ValueKind::Other: break;
    }
    const std::string lower = plenova::FoldCase(v.text.substr(0, v.text.find(':')));
    if (lower == "hex") return "REG_BINARY";
    if (lower == "hex(2)") return "REG_EXPAND_SZ";
    if (lower == "hex(7)") return "REG_MULTI_SZ";
    if (lower == "hex(b)") return "REG_QWORD";
    if (lower == "hex(0)") return "REG_NONE";
    return "REG_UNKNOWN";
}

std::string DataText(const RegistryValue& v) {
    if (v.kind == ValueKind::String) return v.text;
    if (v.kind == ValueKind::Dword) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(v.dword));
        return buf;
    }
    const auto colon = v.text.find(':');
    return colon == std::string::npos ? v.text : v.text.substr(colon + 1);
}

void PrintValue(const RegistryValue& v) {
    std::cout << "    " << (v.name.empty() ? "(Default)" : TerminalText(v.name)) << "    "
              << TypeName(v) << "    " << TerminalText(DataText(v)) << "\n";
}

struct RegArgs {
    KeyPath key;
    std::string fullKey;                // as printed: root name and the key
    std::optional<std::string> name;    // /v NAME or /ve ("")
    bool allValues = false;             // /va
    bool recurse = false;               // /s
    bool force = false;                 // /f or /y
    std::optional<std::string> data;    // /d
    std::string type = "REG_SZ";        // /t
    std::vector<std::string> positional;
};

// Parses the arguments after "reg <verb> KEY"; an error text on bad arguments.
std::optional<std::string> ParseRegArgs(const std::vector<std::string>& args, std::size_t start,
                                        RegArgs& out) {
    for (std::size_t i = start; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto needValue = [&](const char* what) -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::string("missing ") + what + " after " + a;
            return std::nullopt;
        };
        if (IsOption(a, "v")) {
            if (auto e = needValue("a value name")) return e;
            if (out.name) return std::string("give only one of /v and /ve");
            out.name = args[++i];
        } else if (IsOption(a, "ve")) {
            if (out.name) return std::string("give only one of /v and /ve");
            out.name = std::string();
        } else if (IsOption(a, "va")) {
            out.allValues = true;
        } else if (IsOption(a, "s")) {
            out.recurse = true;
        } else if (IsOption(a, "f") || IsOption(a, "y")) {
            out.force = true;
        } else if (IsOption(a, "d")) {
            if (auto e = needValue("the data")) return e;
            out.data = args[++i];
        } else if (IsOption(a, "t")) {
            if (auto e = needValue("a type")) return e;
            out.type = plenova::FoldCase(args[++i]);
            for (char& c : out.type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (out.type != "REG_SZ" && out.type != "REG_DWORD")
                return "unsupported type " + args[i] + " (REG_SZ or REG_DWORD)";
        } else if (a.size() >= 2 && a[0] == '/' && a.find('/', 1) == std::string::npos &&
                   a.find('\\') == std::string::npos) {
            return "unknown option " + a;
        } else {
            out.positional.push_back(a);
        }
    }
    return std::nullopt;
}

// The key's name as shown on the terminal.
std::string FullName(const KeyPath& k) {
    return k.key.empty() ? HiveName(k.hive) : HiveName(k.hive) + "\\" + TerminalText(k.key);
}

void QueryTree(const Registry& reg, Hive hive, const std::string& key, bool recurse, bool top) {
    auto values = reg.Values(hive, key);
    auto subkeys = reg.SubKeys(hive, key);
    if (!values || !subkeys) return;
    const KeyPath here{hive, key};
    if (top || recurse) {
        std::cout << "\n" << FullName(here) << "\n";
        for (const RegistryValue& v : *values) PrintValue(v);
    }
    for (const std::string& s : *subkeys) {
        const std::string child = key.empty() ? s : key + "\\" + s;
        if (recurse) {
            QueryTree(reg, hive, child, true, false);
        } else {
            std::cout << "\n" << FullName(KeyPath{hive, child});
        }
    }
    if (top && !recurse && !subkeys->empty()) std::cout << "\n";
}

int RegCommand(const std::vector<std::string>& args) {
    if (args.size() < 2) return Usage("reg needs an operation: query, add, delete or export");
    const std::string verb = plenova::FoldCase(args[1]);
    if (verb != "query" && verb != "add" && verb != "delete" && verb != "export")
        return Usage("unknown reg operation " + args[1]);
    if (args.size() < 3) return Usage("reg " + verb + " needs a KEY");
    RegArgs ra;
    auto key = ParseKeyPath(args[2]);
    if (!key) return Usage("invalid key " + args[2] + " (it must begin with HKCU, HKEY_CURRENT_USER, HKLM or HKEY_LOCAL_MACHINE)");
    ra.key = *key;
    if (auto problem = ParseRegArgs(args, 3, ra)) return Usage(*problem);

    Machine& machine = CurrentMachine();
    Registry reg(machine);
    const Hive hive = ra.key.hive;
    const std::string& k = ra.key.key;

    if (verb == "query") {
        if (!ra.positional.empty()) return Usage("unexpected argument " + ra.positional[0]);
        if (ra.data || ra.allValues) return Usage("reg query takes /v, /ve and /s only");
        if (!reg.KeyExists(hive, k)) return Fail("The system was unable to find the specified registry key or value.");
        if (ra.name) {
            auto v = reg.QueryValue(hive, k, *ra.name);
            if (!v) return Fail("The system was unable to find the specified registry key or value.");
            std::cout << "\n" << FullName(ra.key) << "\n";
            PrintValue(*v);
            std::cout << "\n";
            return kOk;
        }
        QueryTree(reg, hive, k, ra.recurse, true);
        std::cout << "\n";
        return kOk;
    }

    if (verb == "add") {
        if (!ra.positional.empty()) return Usage("unexpected argument " + ra.positional[0]);
        if (ra.allValues || ra.recurse) return Usage("reg add takes /v, /ve, /t, /d and /f only");
        if (!ra.name && ra.data) ra.name = std::string();  // data without a name: the default value
        if (!ra.name) {
            reg.CreateKey(hive, k);
            std::cout << "The operation completed successfully.\n";
            return kOk;
        }
        std::uint32_t dword = 0;
        if (ra.type == "REG_DWORD") {
            const std::string text = ra.data.value_or("0");
            char* end = nullptr;
            errno = 0;
            const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
            if (text.empty() || *end != '\0' || errno != 0 || v > 0xFFFFFFFFull || text[0] == '-')
                return Usage("REG_DWORD data must be a number 0 to 4294967295 (decimal or 0x hex): " + text);
            dword = static_cast<std::uint32_t>(v);
        }
        if (reg.QueryValue(hive, k, *ra.name) && !ra.force &&
            !Confirm("Value " + (ra.name->empty() ? std::string("(Default)") : *ra.name) + " exists, overwrite"))
            return Fail("the value exists; add /f to overwrite it");
        if (ra.type == "REG_DWORD")
            reg.SetDword(hive, k, *ra.name, dword);
        else
            reg.SetString(hive, k, *ra.name, ra.data.value_or(""));
        std::cout << "The operation completed successfully.\n";
        return kOk;
    }

    if (verb == "delete") {
        if (!ra.positional.empty()) return Usage("unexpected argument " + ra.positional[0]);
        if (ra.data || ra.recurse) return Usage("reg delete takes /v, /ve, /va and /f only");
        if (ra.name && ra.allValues) return Usage("give only one of /v, /ve and /va");
        if (!reg.KeyExists(hive, k)) return Fail("The system was unable to find the specified registry key or value.");
        if (ra.name) {
            if (!reg.QueryValue(hive, k, *ra.name))
                return Fail("The system was unable to find the specified registry key or value.");
            if (!ra.force && !Confirm("Delete the registry value " + *ra.name)) return Fail("not deleted; add /f");
            reg.DeleteValue(hive, k, *ra.name);
        } else if (ra.allValues) {
            if (!ra.force && !Confirm("Delete all values under " + FullName(ra.key))) return Fail("not deleted; add /f");
            for (const RegistryValue& v : reg.Values(hive, k).value_or(std::vector<RegistryValue>{}))
                reg.DeleteValue(hive, k, v.name);
        } else {
            if (k.empty()) return Fail("the root key of a hive cannot be deleted");
            if (!ra.force && !Confirm("Permanently delete the registry key " + FullName(ra.key)))
                return Fail("not deleted; add /f");
            reg.DeleteKey(hive, k);
        }
        std::cout << "The operation completed successfully.\n";
        return kOk;
    }

    // export
    if (ra.positional.size() != 1) return Usage("reg export needs KEY and FILE");
    if (ra.name || ra.data || ra.allValues || ra.recurse) return Usage("reg export takes /y only");
    auto text = reg.Export(hive, k);
    if (!text) return Fail("The system was unable to find the specified registry key or value.");
    const std::string& file = ra.positional[0];
    if (file == "-") {
        std::cout << *text << std::flush;
        return std::cout ? kOk : kFailed;
    }
    std::error_code ec;
    if (fs::exists(file, ec) && !ra.force && !Confirm("File " + file + " exists, overwrite"))
        return Fail("the file exists; add /y to overwrite it");
    // Owner only, like the hives: an export may hold the stored password.
    try {
        ReplaceFile(file, *text, 0600);
    } catch (const FileError& e) {
        return Fail(e.what());
    }
    std::cout << "The operation completed successfully.\n";
    return kOk;
}

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

int DriveCommand(const std::vector<std::string>& args) {
    static const char* const typeNames[] = {"unknown", "no root dir", "removable", "fixed", "remote", "cd-rom", "ram disk"};
    if (args.size() < 2) return Usage("drive needs list, add or remove");
    const std::string verb = plenova::FoldCase(args[1]);
    Machine& machine = CurrentMachine();
    if (verb == "list") {
        if (args.size() != 2) return Usage("drive list takes no arguments");
        for (const Drive& d : machine.Drives())
            std::cout << d.letter << ": " << d.type << " " << typeNames[d.type] << " " << d.hostFolder.string() << "\n";
        return kOk;
    }
    if (verb == "add") {
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
    if (verb == "remove") {
        if (args.size() != 3) return Usage("drive remove needs LETTER:");
        auto letter = DriveLetterArg(args[2]);
        if (!letter) return Usage("invalid drive letter " + args[2]);
        if (!machine.RemoveDrive(*letter)) return Fail(std::string(1, *letter) + ": is not a drive of the table");
        return kOk;
    }
    return Usage("unknown drive operation " + args[1]);
}

// The Windows form of the folder that holds `program`, made absolute ("A:\" for a drive root).
std::optional<std::string> ProgramFolderOf(const Machine& machine, const std::string& program) {
    auto full = machine.FullPath(program);
    if (!full) return std::nullopt;
    const auto slash = full->find_last_of('\\');
    if (slash == std::string::npos) return std::nullopt;
    return slash <= 2 ? full->substr(0, 2) + "\\" : full->substr(0, slash);
}

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

// Runs a machine program from its own folder with `arguments` as its command line. Waiting, it
// also waits for the machine programs it leaves running: a program that hands over to another
// one (the setup's first stage) is only done when that one is. A program that is not on one of
// the machine's own drives runs only with `allowHost` (the user's --host): the registry and
// shortcuts that name programs may have been written by a setup medium.
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
    // Whenever a child ends, the rest is looked at again: orphans may have come meanwhile.
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

constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits a command line into the program and its arguments as Windows does for a command
// without quotation marks: the shortest prefix of blank-separated words that names an existing
// file is the program ("C:\Program Files\X\un.exe /a" finds the program even without quotes).
// A quoted program is taken up to its closing quote. The blanks after the program separate it
// from the arguments, which are kept as they stand.
std::optional<std::pair<std::string, std::string>> SplitCommand(const Machine& machine,
                                                                const std::string& command) {
    std::size_t start = 0;
    while (start < command.size() && IsBlank(command[start])) ++start;
    auto argumentsFrom = [&](std::size_t end) {
        while (end < command.size() && IsBlank(command[end])) ++end;
        return command.substr(end);
    };
    if (start < command.size() && command[start] == '"') {
        const auto close = command.find('"', start + 1);
        if (close == std::string::npos) return std::nullopt;
        std::string program = command.substr(start + 1, close - start - 1);
        if (!machine.FileExists(program)) return std::nullopt;
        return std::make_pair(program, argumentsFrom(close + 1));
    }
    for (std::size_t end = start; end < command.size();) {
        while (end < command.size() && !IsBlank(command[end])) ++end;
        std::string candidate = command.substr(start, end - start);
        if (!candidate.empty() && machine.FileExists(candidate))
            return std::make_pair(candidate, argumentsFrom(end));
        while (end < command.size() && IsBlank(command[end])) ++end;
    }
    return std::nullopt;
}

int UninstallCommand(std::vector<std::string> args) {
    // --host before or after the title.
    const auto host = std::remove(args.begin() + 1, args.end(), std::string("--host"));
    const bool allowHost = host != args.end();
    args.erase(host, args.end());
    if (args.size() != 2 || args[1].empty())
        return Usage("uninstall needs --list or the title of an installed product");
    Machine& machine = CurrentMachine();
    Registry reg(machine);
    const std::vector<std::string> keys =
        reg.SubKeys(Hive::LocalMachine, kUninstallKey).value_or(std::vector<std::string>{});
    auto displayName = [&](const std::string& key) {
        const std::string path = std::string(kUninstallKey) + "\\" + key;
        auto name = reg.QueryString(Hive::LocalMachine, path, "DisplayName");
        return name && !name->empty() ? *name : key;
    };
    if (args[1] == "--list") {
        for (const std::string& key : keys) std::cout << TerminalText(displayName(key)) << "\n";
        return kOk;
    }
    const std::string& title = args[1];
    std::optional<std::string> found;
    for (const std::string& key : keys) {
        if (plenova::EqualsIgnoreCase(key, title)) found = key;
    }
    for (const std::string& key : keys) {
        if (!found && displayName(key) == title) found = key;
    }
    if (!found)
        return Fail("no installed product is named " + TerminalText(title) +
                    " (plenova-machine uninstall --list names them)");
    const std::string path = std::string(kUninstallKey) + "\\" + *found;
    auto command = reg.QueryString(Hive::LocalMachine, path, "UninstallString");
    if (!command || command->empty())
        return Fail(TerminalText(title) + " has no UninstallString in HKLM\\" +
                    TerminalText(path));
    auto split = SplitCommand(machine, *command);
    if (!split)
        return Fail("the uninstall command of " + TerminalText(title) +
                    " names no existing program: " + TerminalText(*command));
    return RunProgram(machine, split->first, split->second, true, allowHost);
}

// Brings the desktop's application menu up to date with the machine's Start menu.
int MenuCommand(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage("menu takes no arguments");
    const DesktopMenuReport report = RefreshDesktopMenu();
    for (const std::string& problem : report.problems)
        std::cerr << "menu: " << TerminalText(problem) << "\n";
    std::cout << report.entries << " entries, " << report.written << " files written, "
              << report.removed << " removed\n";
    return report.problems.empty() ? kOk : kFailed;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command given");
    const std::string command = plenova::FoldCase(args[0]);
    // The programs started through this one refresh the desktop menu with it.
    if (const auto self = FindMachineTool(); !self.empty())
        ::setenv("PLENOVA_MACHINE_TOOL", self.c_str(), 1);
    if (command == "-h" || command == "--help" || command == "/?" || command == "help") {
        std::cout << kUsageText;
        return kOk;
    }
    try {
        if (command == "root") {
            if (args.size() != 1) return Usage("root takes no arguments");
            std::cout << CurrentMachine().Root().string() << "\n";
            return kOk;
        }
        if (command == "reg") return RegCommand(args);
        if (command == "path") return PathCommand(args);
        if (command == "drive") return DriveCommand(args);
        if (command == "menu") return MenuCommand(args);
        if (command == "run") return RunCommand(args);
        if (command == "uninstall") return UninstallCommand(args);
        return Usage("unknown command " + args[0]);
    } catch (const std::invalid_argument& e) {
        return Usage(e.what());
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
