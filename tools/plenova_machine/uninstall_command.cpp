// plenova-machine uninstall: names the installed products, or runs one's UninstallString as
// run does.
#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "tools/plenova_machine/machine_tool.h"

namespace plenova::machine_tool {
namespace {

using namespace plenova::platform;
using plenova::TerminalText;

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

// The name a product is listed and found by: its DisplayName, else its key.
std::string DisplayName(const Registry& reg, const std::string& key) {
    const std::string path = std::string(kUninstallKey) + "\\" + key;
    auto name = reg.QueryString(Hive::LocalMachine, path, "DisplayName");
    return name && !name->empty() ? *name : key;
}

// The product's key: a key named `title` (in any case) first, else one whose DisplayName it is.
std::optional<std::string> FindProduct(const Registry& reg, const std::vector<std::string>& keys,
                                       const std::string& title) {
    std::optional<std::string> found;
    for (const std::string& key : keys) {
        if (plenova::EqualsIgnoreCase(key, title)) found = key;
    }
    for (const std::string& key : keys) {
        if (!found && DisplayName(reg, key) == title) found = key;
    }
    return found;
}

}  // namespace

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
    if (args[1] == "--list") {
        for (const std::string& key : keys) std::cout << TerminalText(DisplayName(reg, key)) << "\n";
        return kOk;
    }
    const std::string& title = args[1];
    const std::optional<std::string> found = FindProduct(reg, keys, title);
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

}  // namespace plenova::machine_tool
