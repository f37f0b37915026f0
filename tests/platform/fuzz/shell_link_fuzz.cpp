// Feeds arbitrary bytes to the shell link reader. Besides crashes and sanitizer reports, a
// finding is a link read with text that is not UTF-8, or a link whose target, written again by
// the writer, does not read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <stdexcept>

#include "base/utf8.h"
#include "platform/shell_link.h"

namespace {

namespace pf = plenova::platform;

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto link = pf::ReadShellLink(std::span<const std::uint8_t>(data, size));
    if (!link) return 0;
    for (const std::string* text :
         {&link->targetPath, &link->arguments, &link->workingFolder, &link->description})
        Check(plenova::IsValidUtf8(*text));

    pf::ShellLinkTarget target;
    target.windowsPath = link->targetPath;
    target.isFolder = link->isFolder;
    try {
        const auto again = pf::ReadShellLink(pf::BuildShellLink(target, link->arguments));
        Check(again.ok());
        Check(again->targetPath == link->targetPath);
        Check(again->arguments == link->arguments);
    } catch (const std::invalid_argument&) {
        // Not an absolute drive path, or a text longer than the format holds: not writable.
    }
    return 0;
}
