// The machine's own small text files as pure functions over their bytes: the drive table and
// the boot step's WININIT.INI (formats described in machine.h). The Machine reads the files
// through the file layer and hands their text here; tests and fuzzers call these directly.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine.h"

namespace plenova::platform {

// Neither file is more than a few lines; one beyond these sizes is not read at all.
inline constexpr std::size_t kDriveTableLimit = 1u << 20;
inline constexpr std::size_t kBootScriptLimit = 1u << 20;

struct DriveTable {
    std::vector<std::string> lines;  // every line as read (line end removed), for rewriting
    std::vector<Drive> drives;       // the valid drive lines, the last one of each letter
};

// One drive line ("A: 2 /host/folder"); relative folders are taken from `root`. Empty optional
// for comments, malformed lines, lines for C: or Z:, and lines holding a NUL byte (the host
// would cut the folder's name there).
std::optional<Drive> ParseDriveLine(std::string_view line, const std::filesystem::path& root);
// The whole table; lines end with LF or CRLF.
DriveTable ParseDriveTable(std::string_view text, const std::filesystem::path& root);

// One line of the [rename] section: `target` "NUL" (any letter case) deletes `source`, any
// other target is the new name of `source`. Both are Windows paths, already decoded to UTF-8.
struct BootEntry {
    std::string target;
    std::string source;
};
// The [rename] entries of a WININIT.INI text, in order. Lines without "=" or with an empty
// source are passed over; names not valid UTF-8 are read in the ANSI code page (Shift-JIS).
std::vector<BootEntry> ParseBootScript(std::string_view text);

// The text of paths, shared by these parsers and the Machine's path mapping.
namespace path_text {
// The non-empty components between "/" (and "\" with `backslashToo`).
std::vector<std::string> SplitComponents(std::string_view text, bool backslashToo);
// Applies "." and ".." to `base` (already normalised) followed by `more`; ".." at the root stays.
void AppendNormalised(std::vector<std::string>& base, const std::vector<std::string>& more);
// The host path of these components below the host root.
std::filesystem::path HostRootPath(const std::vector<std::string>& components);
// Absolute (from the working folder), "." and ".." applied, no trailing separator ("/" stays).
std::filesystem::path NormaliseHost(const std::filesystem::path& p);
// Blanks (space, tab, CR) around a field of the machine's line files removed.
std::string TrimBlanks(std::string_view s);
}  // namespace path_text

}  // namespace plenova::platform
