// UTF-8 decoding and encoding, one code point at a time. Decoding is strict: an overlong form,
// a surrogate, a value beyond U+10FFFF or a cut-short sequence is not a character, so that no
// byte sequence can pass for a different, shorter one (an overlong "A" is not "A").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plenova {

struct Utf8Char {
    char32_t codePoint = 0;  // for a byte that starts no character: that byte's value
    std::size_t length = 1;  // bytes taken, 1 to 4; 1 for a byte that starts no character
    bool valid = true;
};

// The character that starts at text[at]; `at` must be inside the text.
Utf8Char DecodeUtf8(std::string_view text, std::size_t at) noexcept;

// Appends the UTF-8 bytes of a code point; a surrogate or a value beyond U+10FFFF is written as
// U+FFFD, the replacement character.
void AppendUtf8(std::string& out, char32_t codePoint);

// Whether the whole text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text) noexcept;

}  // namespace plenova
