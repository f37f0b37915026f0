#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using namespace plenova;

namespace {

struct Decoding {
    std::string_view bytes;
    char32_t codePoint;
    std::size_t length;
    bool valid;
};

TEST(Utf8, DecodesOneCharacterWithItsLength) {
    const Decoding cases[] = {
        {"A", U'A', 1, true},
        {"\x7F", 0x7F, 1, true},
        {"\xC2\x80", 0x80, 2, true},
        {"\xDF\xBF", 0x7FF, 2, true},
        {"\xE0\xA0\x80", 0x800, 3, true},
        {"背", U'背', 3, true},
        {"\xEF\xBF\xBF", 0xFFFF, 3, true},
        {"\xF0\x90\x80\x80", 0x10000, 4, true},
        {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4, true},
    };
    for (const Decoding& c : cases) {
        SCOPED_TRACE(std::string(c.bytes));
        const Utf8Char d = DecodeUtf8(c.bytes, 0);
        EXPECT_EQ(d.codePoint, c.codePoint);
        EXPECT_EQ(d.length, c.length);
        EXPECT_EQ(d.valid, c.valid);
    }
    // Decoding starts where it is asked to and stops at the character's end.
    const std::string_view text = "a背b";
    EXPECT_EQ(DecodeUtf8(text, 1).codePoint, U'背');
    EXPECT_EQ(DecodeUtf8(text, 4).codePoint, U'b');
}

TEST(Utf8, AByteThatStartsNoCharacterIsOneByteOfItsOwnValue) {
    const std::string_view malformed[] = {
        "\x80",              // a continuation byte alone
        "\xC0\x81",          // overlong two-byte form of 'A'
        "\xC1\xBF",
        "\xE0\x81\x81",      // overlong three-byte form of 'A'
        "\xE0\x80\xAF",      // overlong '/'
        "\xF0\x80\x81\x81",  // overlong four-byte form of 'A'
        "\xED\xA0\x80",      // a surrogate
        "\xF4\x90\x80\x80",  // beyond U+10FFFF
        "\xF5\x80\x80\x80",
        "\xFF",
        "\xE8\x83",          // cut short
        "\xC3(",             // a lead byte followed by no continuation
    };
    for (std::string_view m : malformed) {
        SCOPED_TRACE(std::string(m));
        const Utf8Char d = DecodeUtf8(m, 0);
        EXPECT_FALSE(d.valid);
        EXPECT_EQ(d.length, 1u);
        EXPECT_EQ(d.codePoint, static_cast<unsigned char>(m[0]));
        EXPECT_FALSE(IsValidUtf8(m));
    }
}

TEST(Utf8, AppendWritesTheShortestFormAndReadsBack) {
    for (char32_t cp : {U'\0', U'A', char32_t{0x7F}, char32_t{0x80}, char32_t{0x7FF}, char32_t{0x800},
                        U'背', char32_t{0xFFFF}, char32_t{0x10000}, char32_t{0x10FFFF}}) {
        std::string out = "x";
        AppendUtf8(out, cp);
        const std::size_t expected = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        ASSERT_EQ(out.size(), 1 + expected) << static_cast<unsigned>(cp);
        const Utf8Char d = DecodeUtf8(out, 1);
        EXPECT_TRUE(d.valid);
        EXPECT_EQ(d.codePoint, cp);
        EXPECT_EQ(d.length, expected);
    }
    // What no UTF-8 text can hold becomes the replacement character.
    for (char32_t cp : {char32_t{0xD800}, char32_t{0xDFFF}, char32_t{0x110000}, char32_t{0xFFFFFFFF}}) {
        std::string out;
        AppendUtf8(out, cp);
        EXPECT_EQ(out, "\xEF\xBF\xBD") << static_cast<unsigned>(cp);
    }
}

TEST(Utf8, ValidationLooksAtTheWholeText) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("Plenova Saver"));
    EXPECT_TRUE(IsValidUtf8("パスワード \xF0\x9F\x90\xB8"));
    EXPECT_TRUE(IsValidUtf8(std::string_view("a\0b", 3)));  // NUL is a character; callers decide
    EXPECT_FALSE(IsValidUtf8("背景\xE6"));                 // the last character cut short
    EXPECT_FALSE(IsValidUtf8("ok \xC0\xAF then"));
}

}  // namespace
