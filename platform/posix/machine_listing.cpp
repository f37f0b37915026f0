#include "platform/machine_listing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/text.h"
#include "platform/machine.h"

namespace plenova::platform {

std::vector<std::string> FilesWithExtension(const Machine& machine, std::string_view folder,
                                            std::string_view extension) {
    namespace fs = std::filesystem;
    std::vector<std::string> found;
    const auto host = machine.ToHost(folder);
    if (!host) return found;
    const std::string wanted = FoldCase(extension);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(*host, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= wanted.size() ||
            FoldCase(std::string_view(name).substr(name.size() - wanted.size())) != wanted)
            continue;
        std::error_code typeError;
        if (!entry.is_regular_file(typeError)) continue;
        const std::string path = machine.ToWindows(entry.path());
        if (machine.IsBeneath(machine.ToWindows(*host), path)) found.push_back(path);
    }
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        return FoldCase(a) < FoldCase(b);
    });
    return found;
}

}  // namespace plenova::platform
