// The setup script reader: an INI file in Shift-JIS (code page 932), read the way the classic
// profile reader reads it.
//
// Lines end with CR LF, LF or CR. A line whose first non-blank byte is ";" is a comment; blank
// lines are ignored. A line whose first non-blank byte is "[" and that holds a "]" starts a
// section named by the text between them, blanks around it removed; text after the "]" is
// ignored. Any other line with a "=" is a key: the name is the text before the first "=", the
// value the text after it. A line without "=" names no key and is ignored, and so is a "[" line
// without "]". Keys above the first section header belong to no section and cannot be read.
//
// Names (sections and keys) are compared without regard to the case of ASCII letters; the
// bytes of a double-byte character are compared as they are, so two different Japanese names
// never fold into one. When a section header appears twice, only the first section is read
// (keys under the later header are not found); within a section the first line of a key wins.
//
// A value is made from the text after "=": cut at its first NUL byte, blanks (space and tab)
// removed at both ends, then enclosing quotation marks removed when it starts and ends with
// the same one (single or double) and is at least two bytes long; then it is cut to its first
// 1023 bytes. A cut that would split a double-byte character keeps the bytes before that
// character (1022), so the value never ends in a dangling lead byte. A missing file, section or
// key gives "".
//
// Conversion to UTF-8: valid Shift-JIS converts exactly; a byte or byte pair that is not a
// Shift-JIS character becomes U+FFFD, the replacement character, one per bad character, and the
// rest of the value is kept. Nothing in the file is ever refused or raises.
//
// Parsing keeps at most one copy of each section and key name and one value of at most 1023
// bytes per key: memory is bounded by the size of the file, whatever the file holds.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace plenova::setup {

// The longest value the reader returns, in bytes of Shift-JIS.
inline constexpr std::size_t kMaxProfileValueBytes = 1023;

class ProfileFile {
public:
    // An empty file: every value is "".
    ProfileFile() = default;

    // Parses the bytes of an INI file. Never fails. (Reading the file is the caller's: the
    // setup program reads its script once, through the machine's file layer.)
    static ProfileFile Parse(std::string_view bytes);

    // Value of `key` in `section` (both UTF-8), converted to UTF-8; "" when missing. A name that
    // code page 932 cannot hold matches nothing.
    std::string Value(std::string_view section, std::string_view key) const;
    // The same value as Shift-JIS bytes, unconverted.
    std::string RawValue(std::string_view section, std::string_view key) const;
    // Whether the section is present (it may hold no key).
    bool HasSection(std::string_view section) const;

private:
    using Keys = std::unordered_map<std::string, std::string>;  // folded name to value
    const std::string* Find(std::string_view section, std::string_view key) const;
    std::unordered_map<std::string, Keys> sections_;  // folded name to its keys
};

// Value of `key` in `section` (both ASCII/UTF-8) of a Shift-JIS INI text, converted to UTF-8.
std::string ReadProfileValue(std::string_view iniBytes, std::string_view section,
                             std::string_view key);

// Shift-JIS bytes to UTF-8 where every byte or byte pair that is not a character becomes
// U+FFFD. Never raises.
std::string DecodeShiftJisLenient(std::string_view sjis);

// Whether the byte starts a double-byte character of code page 932.
constexpr bool IsShiftJisLeadByte(unsigned char byte) noexcept {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace plenova::setup
