// Windows shell link files (".lnk", the MS-SHLLINK format) as a Windows shell writes them for a
// file on a local drive: the header, the link-target item list (My Computer, the drive, one
// file-entry item per path component with its 8.3 name and its long name), the link info with
// the local path (ANSI, plus Unicode when the path is not pure ASCII) and the working folder and
// command-line arguments as Unicode strings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plenova::tavorin {

struct ShellLinkTarget {
    std::string windowsPath;  // UTF-8, absolute with a drive letter: "C:\Program Files\x.exe"
    bool isFolder = false;
    std::uint64_t size = 0;                        // file size (cut to 32 bits in the header)
    std::optional<std::int64_t> writeTimeNs;       // Unix time in nanoseconds, when known
    std::uint32_t driveType = 3;                   // GetDriveType value of the target's drive
};

// The bytes of a link to `target` with `arguments` (UTF-8) as its command-line arguments and the
// target's folder as working folder. Throws std::invalid_argument when the target is not an
// absolute drive path or a string is longer than the format can hold.
std::vector<std::uint8_t> BuildShellLink(const ShellLinkTarget& target,
                                         std::string_view arguments);

// The 8.3 name a file system would give `longName` (UTF-8): the name itself, upper-cased, when
// it already fits; otherwise up to six characters of the base, "~1" and up to three of the
// extension, with characters an 8.3 name cannot hold replaced by "_".
std::string ShortName(std::string_view longName);

// Writes `bytes` to `file` through a temporary file in the same folder and a rename, so that a
// failure leaves either the old file or none, never a partial one. False on failure.
bool WriteFileAtomically(const std::filesystem::path& file,
                         const std::vector<std::uint8_t>& bytes) noexcept;

}  // namespace plenova::tavorin
