#include "tools/plenova_machine/machine_tool.h"

#include <iostream>

#include "base/text.h"
#include "platform/program_wait.h"

namespace plenova::machine_tool {

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

bool Confirm(const std::string& question) {
    if (!platform::StandardInputIsTerminal()) return false;
    std::cerr << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

}  // namespace plenova::machine_tool
