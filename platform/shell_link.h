// Windows shell link files (".lnk", the MS-SHLLINK format).
//
// Writing: as a Windows shell writes them for a file on a local drive: the header, the
// link-target item list (My Computer, the drive, one file-entry item per path component with its
// 8.3 name and its long name), the link info with the local path (ANSI, plus Unicode when the
// path is not pure ASCII) and the working folder and command-line arguments as Unicode strings.
//
// Reading: the fields a menu needs from any link a shell may have written: the target's local
// path, the arguments, the working folder and the description. Every length and offset in the
// file is checked against the bytes at hand before it is used, so a damaged or hostile file is
// refused with a reason and never makes the reader allocate more than the file's own size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace plenova::platform {

struct ShellLinkTarget {
    std::string windowsPath;  // UTF-8, absolute with a drive letter: "C:\Program Files\x.exe"
    bool isFolder = false;
    std::uint64_t size = 0;                   // file size (cut to 32 bits in the header)
    std::optional<std::int64_t> writeTimeNs;  // Unix time in nanoseconds, when known
    std::uint32_t driveType = 3;              // GetDriveType value of the target's drive
};

// The bytes of a link to `target` with `arguments` (UTF-8) as its command-line arguments and the
// target's folder as working folder. Throws std::invalid_argument when the target is not an
// absolute drive path or a string is longer than the format can hold.
std::vector<std::uint8_t> BuildShellLink(const ShellLinkTarget& target, std::string_view arguments);

// What a link says, all texts UTF-8 (ANSI strings are taken as Shift-JIS, as this machine's
// programs write them).
struct ShellLink {
    // The target: the link info's Unicode local path when present, else its ANSI local path
    // with the common path suffix, else the path spelt by the drive and file-entry items of the
    // target item list. Empty when the link names no local path (a network share, a special
    // folder).
    std::string targetPath;
    bool isFolder = false;      // the header's directory attribute
    std::string description;    // NAME_STRING, empty when absent
    std::string workingFolder;  // WORKING_DIR, empty when absent
    std::string arguments;      // COMMAND_LINE_ARGUMENTS, empty when absent
};

// Why a file is not a readable link.
struct ShellLinkError {
    std::string message;
};

// Largest file the reader takes; real links are a few hundred bytes.
inline constexpr std::size_t kMaxShellLinkSize = 1 << 20;

Result<ShellLink, ShellLinkError> ReadShellLink(std::span<const std::uint8_t> bytes);
// Reads a link file: refuses what is no regular file (a FIFO, a device) without opening it for
// long, and anything larger than kMaxShellLinkSize unread.
Result<ShellLink, ShellLinkError> ReadShellLinkFile(const std::filesystem::path& file);

// The 8.3 name a file system would give `longName` (UTF-8): the name itself, upper-cased, when
// it already fits; otherwise up to six characters of the base, "~1" and up to three of the
// extension, with characters an 8.3 name cannot hold replaced by "_".
std::string ShortName(std::string_view longName);

// Links are readable by the desktop whatever the umask.
inline constexpr std::uint32_t kShellLinkFileMode = 0644;
// Replaces `file` as a whole with the link `bytes` (ReplaceFile: the old file or the new one,
// never a partial one); FileError on failure.
void WriteShellLinkFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

}  // namespace plenova::platform
