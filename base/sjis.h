// The ANSI code page of the programs: Shift-JIS (code page 932), through iconv.
#pragma once

#include <string>
#include <string_view>

namespace plenova {

// UTF-8 to code page 932 bytes. Characters that the code page cannot hold raise EncodingError,
// naming the offending character position.
std::string ToShiftJis(std::string_view utf8);

// Code page 932 bytes to UTF-8. Byte sequences that are not valid raise EncodingError, naming
// the byte offset.
std::string FromShiftJis(std::string_view sjis);

}  // namespace plenova
