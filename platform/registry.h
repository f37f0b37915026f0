// The registry of the emulated machine: two hives, HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE,
// each a UTF-8 text file in the machine root in the layout of a .reg export:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\PlenovaSaver\Set]
//   "Mouse"="3"
//   @="default value"
//   "Count"=dword:0000002a
//
// Key paths passed to this service are relative to the hive ("Software\PlenovaSaver\Set"; the
// empty text is the hive's root key), components separated by "\", none of them empty and
// none holding a control character. Key and value names are matched without regard to letter
// case (plenova::FoldCase) and keep the case in which they were first written. The empty value
// name is the key's default value, written "@".
//
// Limits, as Windows has them: a key path holds at most 512 components (the hive's root key
// being none), a key name at most 255 characters, a value name at most 16 383 (characters
// counted in UTF-16 units, as Windows counts them). A hive file holds at most 64 MiB.
//
// Values: strings are written "name"="text" with "\" and '"' escaped as \\ and \"; a string
// holding a control character other than tab is written as hex(1): (UTF-16LE with its
// terminating NUL, as regedit does) so that every string round-trips exactly. dword:xxxxxxxx
// (1 to 8 hex digits on reading) is a 32-bit number. Values of any other form (hex:, hex(2):,
// multi-line hex with "\" continuation, ...) are kept exactly as written and reported with the
// kind Other and their raw text.
//
// Durability and concurrency: every call reads the file afresh; every write is a
// read-modify-write done under an exclusive flock on "<hive>.lock" beside the hive, writes the
// whole new text to a temporary file beside the hive, fsyncs it, renames it over the hive and
// fsyncs the folder before the call returns (platform/file_io.h). A crash at any moment leaves
// either the old or the new file; two processes writing at once lose nothing. Readers take a
// shared lock. Hive, temporary and lock files have mode 0600.
//
// Unknown and damaged content:
//   - A missing or empty (0-byte) hive file is an empty hive.
//   - Lines that are not a key header, a value line, a comment (";...") or blank are kept as
//     they are, in their key, and written back unchanged. So are sections whose header names
//     another root or an impossible key (an empty component): they are carried along verbatim
//     at the end of the file. A value line whose text does not parse (an unterminated or badly
//     escaped string) is such an unknown line too: it is kept but not seen as a value.
//   - A key written twice is one key; where a value name occurs twice, the last one counts
//     and a write replaces it (the earlier duplicates are dropped by that write only).
//   - The file is *damaged* when it cannot be read as a whole: it is larger than 64 MiB, it is
//     not valid UTF-8 (a UTF-8 byte-order mark at the start is allowed), it contains a NUL
//     byte, its first line is not "Windows Registry Editor Version 5.00", or a key header of
//     this hive or a value line goes beyond the limits above, or it names more keys than one
//     for every 16 of its bytes plus 65 536 (possible only where headers name deep keys whose
//     parents have no header of their own; it bounds the memory a file can make a read take).
//     A damaged hive is moved aside to "<hive>.damaged-<YYYYMMDDTHHMMSS>" (UTC; "-2", "-3"...
//     appended when that name is taken; never overwritten, never deleted) and the call that
//     found it, reader or writer, throws DamagedHiveError naming both files; its write is not
//     done. The hive is empty from then on. Apart from a write or an export whose text would
//     be too large (below), this is the only case in which the file's content makes a call
//     fail.
//   - Line ends may be LF or CRLF on reading; the file is always written with LF.
//   - A write whose result would be larger than 64 MiB throws RegistryError before anything is
//     replaced, so that no write makes a file that the next read must refuse.
//   - Reading costs time and memory in proportion to the file's size whatever its shape: the
//     depth of the key tree never sets the depth of the call stack, and a key's subkeys and
//     values are found by name in constant time however many there are.
//   - Other failures (the folder cannot be written, the disk is full, a lock cannot be taken,
//     the hive's name is a FIFO, device or folder) throw RegistryError; the hive is then
//     unchanged. Such a name is never waited on.
//
// The hive's types and its text as pure functions (reading, writing, limits) are in
// platform/registry_format.h; this service adds the hive files, their locks and the handling of
// damaged ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/registry_format.h"

namespace plenova::platform {

class Machine;

// The key of HKEY_LOCAL_MACHINE under which every installed product has its uninstall entry.
inline constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The hive file was damaged and has been moved aside (see above).
class DamagedHiveError : public RegistryError {
public:
    DamagedHiveError(const std::string& message, std::filesystem::path hivePath,
                     std::filesystem::path asidePath)
        : RegistryError(message), hivePath_(std::move(hivePath)), asidePath_(std::move(asidePath)) {}
    const std::filesystem::path& HivePath() const noexcept { return hivePath_; }
    const std::filesystem::path& AsidePath() const noexcept { return asidePath_; }

private:
    std::filesystem::path hivePath_;
    std::filesystem::path asidePath_;
};

class Registry {
public:
    // The hives of a machine (its UserHivePath and MachineHivePath).
    explicit Registry(const Machine& machine);
    // Hives at explicit paths (for tests and tools).
    Registry(std::filesystem::path userHive, std::filesystem::path machineHive);

    const std::filesystem::path& HivePath(Hive hive) const;

    // Writes. An invalid key path or value name (a control character other than tab in a
    // name) throws std::invalid_argument. So does a key path or value name beyond the limits
    // above given to CreateKey, SetString or SetDword; nothing is written then. (Deleting such a
    // key or value finds nothing.)
    // Creates the key and its missing parents; true when it was created, false when it existed.
    bool CreateKey(Hive hive, std::string_view key);
    // Creates the key when missing and sets the value.
    void SetString(Hive hive, std::string_view key, std::string_view name, std::string_view text);
    // Several strings of one key in one write of the hive (names and texts as SetString).
    void SetStrings(Hive hive, std::string_view key,
                    std::span<const std::pair<std::string_view, std::string_view>> values);
    void SetDword(Hive hive, std::string_view key, std::string_view name, std::uint32_t value);
    // False when the key or value did not exist (nothing is written then).
    bool DeleteValue(Hive hive, std::string_view key, std::string_view name);
    // Deletes the key with all its subkeys; false when it did not exist. The hive's root key
    // (empty path) cannot be deleted: std::invalid_argument.
    bool DeleteKey(Hive hive, std::string_view key);

    // Reads. A missing key gives an empty optional / false.
    bool KeyExists(Hive hive, std::string_view key) const;
    std::optional<RegistryValue> QueryValue(Hive hive, std::string_view key,
                                            std::string_view name) const;
    // The value when it is a string; empty optional when missing or of another kind.
    std::optional<std::string> QueryString(Hive hive, std::string_view key,
                                           std::string_view name) const;
    // Names of the direct subkeys, in file order; empty optional when the key is missing.
    std::optional<std::vector<std::string>> SubKeys(Hive hive, std::string_view key) const;
    // Values of the key, in file order; empty optional when the key is missing.
    std::optional<std::vector<RegistryValue>> Values(Hive hive, std::string_view key) const;
    // The key and its whole subtree as .reg text (header line, blank line, then each key with
    // its values, a blank line after each key); empty optional when the key is missing.
    // RegistryError when the text would be larger than 64 MiB (possible for a file that has
    // headers only for its deepest keys, since the text has one for every key).
    std::optional<std::string> Export(Hive hive, std::string_view key) const;

private:
    std::filesystem::path userHive_;
    std::filesystem::path machineHive_;
};

// The registry of CurrentMachine().
Registry CurrentRegistry();

}  // namespace plenova::platform
