#include "base/text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "base/utf8.h"

namespace plenova {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct ParsedNumber {
    double value = 0.0;
    std::size_t end = 0;  // index just past the last character that belongs to the number
    bool hasDigits = false;
};

int DigitValue(char c, int radix) {
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d >= 0 && d < radix ? d : -1;
}

// Reads the longest leading number of `text` with blanks skipped everywhere. The number is
// assembled as plain text and converted with strtod so that decimal results are correctly
// rounded.
ParsedNumber ParseLeading(std::string_view text) {
    ParsedNumber out;
    std::size_t i = 0;
    auto skip = [&] {
        while (i < text.size() && IsBlank(text[i])) ++i;
    };
    skip();
    // "&H" / "&O" radix prefixes.
    if (i + 1 < text.size() && text[i] == '&') {
        const char p = text[i + 1];
        int radix = 0;
        if (p == 'h' || p == 'H') radix = 16;
        if (p == 'o' || p == 'O') radix = 8;
        if (radix != 0) {
            i += 2;
            double v = 0.0;
            for (;; ++i) {
                skip();
                if (i >= text.size()) break;
                const int d = DigitValue(text[i], radix);
                if (d < 0) break;
                v = v * radix + d;
                out.hasDigits = true;
                out.end = i + 1;
            }
            out.value = v;
            return out;
        }
    }
    std::string digits;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') digits.push_back('-');
        ++i;
    }
    bool sawPoint = false;
    for (;; ++i) {
        skip();
        if (i >= text.size()) break;
        const char c = text[i];
        if (IsDigit(c)) {
            digits.push_back(c);
            out.hasDigits = true;
            out.end = i + 1;
        } else if (c == '.' && !sawPoint) {
            sawPoint = true;
            digits.push_back('.');
            if (out.hasDigits) out.end = i + 1;
        } else {
            break;
        }
    }
    if (!out.hasDigits) return ParsedNumber{};
    // Exponent: E or D, optional sign, at least one digit; otherwise it is not part of it.
    std::size_t j = i;
    if (j < text.size() && (text[j] == 'e' || text[j] == 'E' || text[j] == 'd' || text[j] == 'D')) {
        ++j;
        std::string exponent = "e";
        while (j < text.size() && IsBlank(text[j])) ++j;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            exponent.push_back(text[j]);
            ++j;
        }
        bool expDigits = false;
        std::size_t expEnd = 0;
        for (;; ++j) {
            while (j < text.size() && IsBlank(text[j])) ++j;
            if (j >= text.size() || !IsDigit(text[j])) break;
            if (exponent.size() < 12) exponent.push_back(text[j]);  // far beyond any double
            expDigits = true;
            expEnd = j + 1;
        }
        if (expDigits) {
            digits += exponent;
            out.end = expEnd;
        }
    }
    out.value = std::strtod(digits.c_str(), nullptr);
    return out;
}

// Byte offset of character number `count` (0-based), clipped to the end.
std::size_t ByteOffset(std::string_view s, std::size_t count) {
    std::size_t i = 0;
    while (count > 0 && i < s.size()) {
        i += DecodeUtf8(s, i).length;
        --count;
    }
    return i;
}

char32_t FoldChar(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;  // Latin-1 capitals
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;           // fullwidth A-Z
    return c;
}

}  // namespace

double NumericValue(std::string_view text) noexcept { return ParseLeading(text).value; }

double ConvertToNumber(std::string_view text) {
    const ParsedNumber n = ParseLeading(text);
    if (!n.hasDigits) throw TypeMismatchError();
    for (std::size_t i = n.end; i < text.size(); ++i) {
        if (!IsBlank(text[i])) throw TypeMismatchError();
    }
    if (!std::isfinite(n.value)) throw OverflowError();
    return n.value;
}

Int16 ConvertToInt16(std::string_view text) { return RoundToInt16(ConvertToNumber(text)); }

std::string_view TrimView(std::string_view text, std::string_view chars, TrimEnds ends) noexcept {
    if (ends != TrimEnds::Right) {
        const std::size_t first = text.find_first_not_of(chars);
        text.remove_prefix(first == std::string_view::npos ? text.size() : first);
    }
    if (ends != TrimEnds::Left) {
        const std::size_t last = text.find_last_not_of(chars);
        text = text.substr(0, last == std::string_view::npos ? 0 : last + 1);
    }
    return text;
}

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

std::size_t CharLength(std::string_view text) noexcept {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); i += DecodeUtf8(text, i).length) ++n;
    return n;
}

std::string Left(std::string_view text, std::size_t count) {
    return std::string(text.substr(0, ByteOffset(text, count)));
}

std::string Right(std::string_view text, std::size_t count) {
    const std::size_t len = CharLength(text);
    if (count >= len) return std::string(text);
    return std::string(text.substr(ByteOffset(text, len - count)));
}

std::string Mid(std::string_view text, std::size_t start) {
    if (start == 0) throw std::invalid_argument("Mid: start is 1-based");
    return std::string(text.substr(ByteOffset(text, start - 1)));
}

std::string Mid(std::string_view text, std::size_t start, std::size_t count) {
    const std::string rest = Mid(text, start);
    return Left(rest, count);
}

std::string FoldAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string FoldCase(std::string_view text) {
    // Most names are plain ASCII: the same result without decoding.
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) return FoldAscii(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = DecodeUtf8(text, i);
        if (c.valid)
            AppendUtf8(out, FoldChar(c.codePoint));
        else
            out.push_back(text[i]);  // a byte that starts no character stays as it is
        i += c.length;
    }
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) { return FoldCase(a) == FoldCase(b); }

std::string ToText(std::int64_t value) { return std::to_string(value); }

std::string TerminalText(std::string_view text, bool keepLineBreaks) {
    std::string out;
    auto hex = [&out](unsigned char byte) {
        char buffer[5];
        std::snprintf(buffer, sizeof buffer, "\\x%02x", byte);
        out += buffer;
    };
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Char c = DecodeUtf8(text, at);
        const std::string_view bytes = text.substr(at, c.length);
        at += c.length;
        if (c.valid && c.codePoint == U'\n' && keepLineBreaks) {
            out += '\n';
        } else if (c.valid && c.codePoint == U'\n') {
            out += "\\n";
        } else if (c.valid && c.codePoint == U'\r') {
            out += "\\r";
        } else if (c.valid && c.codePoint == U'\t') {
            out += "\\t";
        } else if (!c.valid || c.codePoint < 0x20 || (c.codePoint >= 0x7F && c.codePoint <= 0x9F)) {
            for (char byte : bytes) hex(static_cast<unsigned char>(byte));
        } else {
            out += bytes;
        }
    }
    return out;
}

}  // namespace plenova
