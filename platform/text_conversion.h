// The programs' ANSI code page: Shift-JIS (code page 932), the encoding of the setup script,
// the support library's C strings, shell links and the machine's WININIT.INI. Inside the
// programs text is UTF-8; these two conversions are the only way between the two.
//
// Both convert the whole input or throw EncodingError (base/errors.h); nothing is replaced or
// dropped silently. The message names the direction and the byte offset in the input where the
// conversion stopped. The POSIX back end implements them with iconv (platform/posix).
#pragma once

#include <string>
#include <string_view>

namespace plenova::platform {

// UTF-8 to code page 932 bytes. A character the code page cannot hold, or bytes that are not
// UTF-8, raise EncodingError.
std::string ToShiftJis(std::string_view utf8);

// Code page 932 bytes to UTF-8. Byte sequences that are not valid Shift-JIS raise EncodingError.
std::string FromShiftJis(std::string_view sjis);

}  // namespace plenova::platform
