// Text conversions shared by both programs. Strings are UTF-8 std::string inside the programs;
// "characters" below are Unicode code points, not bytes, so that a slice never cuts a Japanese
// character in two and lengths match what the user sees.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/checked.h"

namespace plenova {

// The numeric value of a text: its longest leading number, with blanks (space, tab, line
// breaks) skipped anywhere; "&H" and "&O" prefixes read hexadecimal and octal. A text without
// a number gives 0. Never fails. Examples: "  7abc" -> 7, "1e3" -> 1000, "- 2.5x" -> -2.5.
double NumericValue(std::string_view text) noexcept;

// The whole text converted to a number: surrounding blanks are allowed, anything else that is
// not part of one decimal number (or "&H"/"&O" number) raises TypeMismatchError; so does the
// empty text.
double ConvertToNumber(std::string_view text);

// The text converted to a number and rounded half to even into 16 bits: TypeMismatchError or
// OverflowError.
Int16 ConvertToInt16(std::string_view text);

// Which ends of a text TrimView works on.
enum class TrimEnds { Both, Left, Right };

// Character sets for TrimView: the space alone (what the classic Trim removes), and the blanks
// of line-oriented files and command strings.
inline constexpr std::string_view kSpace = " ";
inline constexpr std::string_view kBlanks = " \t\r\n";

// Removes every character of `chars` (single bytes) from the chosen ends of the text. The
// result is a view into `text`, valid as long as `text` is.
std::string_view TrimView(std::string_view text, std::string_view chars = kSpace,
                          TrimEnds ends = TrimEnds::Both) noexcept;

// Removes leading and trailing spaces (only U+0020, like the classic Trim), as a text of its own.
std::string Trim(std::string_view text);

// Character-counted slices of UTF-8 text. Counts beyond the text are clipped; `start` is
// 1-based like the classic Mid. Invalid UTF-8 bytes count as one character each.
std::size_t CharLength(std::string_view text) noexcept;
std::string Left(std::string_view text, std::size_t count);
std::string Right(std::string_view text, std::size_t count);
std::string Mid(std::string_view text, std::size_t start);
std::string Mid(std::string_view text, std::size_t start, std::size_t count);

// Case-insensitive comparison and folding for names (ASCII letters, Latin-1 and the fullwidth
// Latin letters fold; other characters compare exactly).
std::string FoldCase(std::string_view text);
// Folds the ASCII letters A-Z only and leaves every other byte as it is, so a byte position
// found in the folded text is the same position in the unfolded one. For keywords and other
// ASCII words inside text that may hold any UTF-8.
std::string FoldAscii(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Single ASCII characters: letters A-Z and a-z only, every other byte as it is.
constexpr bool IsAsciiLetter(char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
constexpr char LowerAscii(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char UpperAscii(char c) noexcept {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
// The value of a hexadecimal digit (either letter case), -1 for anything else.
constexpr int HexDigitValue(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The words joined with single blanks: the command-line text a program takes from its
// arguments, or hands on to another.
template <class Words>
std::string JoinWithBlanks(const Words& words) {
    std::string text;
    bool first = true;
    for (const auto& word : words) {
        if (!first) text += ' ';
        text += word;
        first = false;
    }
    return text;
}

// Decimal text of a number as the classic Str$/CStr would write it for whole numbers.
std::string ToText(std::int64_t value);

// Text from outside (registry data, message box texts, file names) as it may be shown on a
// terminal: printable UTF-8 (Japanese included) unchanged, tab and carriage return as "\t" and
// "\r", a line feed as "\n" unless `keepLineBreaks`, and every other byte that is a control
// character (C0, DEL, the C1 range U+0080..U+009F) or no part of valid UTF-8 as "\xHH" (two
// lower-case hex digits per byte). A backslash stays as it is, so Windows paths read as usual.
std::string TerminalText(std::string_view text, bool keepLineBreaks = false);

}  // namespace plenova
