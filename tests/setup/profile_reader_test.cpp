// The script reader over real Shift-JIS bytes: name matching, value rules, the 1023-byte cut,
// conversion, and files that are not INI files at all.
#include "setup/profile_reader.h"

#include <random>

#include <gtest/gtest.h>

#include "platform/text_conversion.h"

using namespace plenova::setup;
using plenova::platform::FromShiftJis;
using plenova::platform::ToShiftJis;

namespace {

struct Case {
    const char* name;
    std::string ini;  // UTF-8; converted to Shift-JIS before reading
    const char* section;
    const char* key;
    std::string expected;
};

TEST(ProfileReader, ValueRules) {
    const Case cases[] = {
        {"lower-case header, upper-case read", "[setup]\nTitle=Saver\n", "SETUP", "Title", "Saver"},
        {"lower-case header, mixed-case read", "[setup]\nTitle=Saver\n", "Setup", "Title", "Saver"},
        {"key case ignored", "[SETUP]\ndstdir=X\n", "Setup", "DstDir", "X"},
        {"blanks around names", "  [ SETUP ]  \n  Title \t= Saver\n", "SETUP", "Title", "Saver"},
        {"blanks around value", "[S]\nK=\t  a b  \t\n", "S", "K", "a b"},
        {"double quotes", "[S]\nK= \" a \" \n", "S", "K", " a "},
        {"single quotes", "[S]\nK='a,b'\n", "S", "K", "a,b"},
        {"mismatched quotes kept", "[S]\nK=\"a'\n", "S", "K", "\"a'"},
        {"lone quote kept", "[S]\nK=\"\n", "S", "K", "\""},
        {"quotes inside kept", "[S]\nK=a\"b\"\n", "S", "K", "a\"b\""},
        {"only the first = splits", "[S]\nK=a=b\n", "S", "K", "a=b"},
        {"empty value", "[S]\nK=\n", "S", "K", ""},
        {"missing key", "[S]\nK=1\n", "S", "L", ""},
        {"missing section", "[S]\nK=1\n", "T", "K", ""},
        {"keys above any header", "K=1\n[S]\n", "S", "K", ""},
        {"line without =", "[S]\nK\nK=2\n", "S", "K", "2"},
        {"comment", "[S]\n;K=1\n  ;K=2\nK=3\n", "S", "K", "3"},
        {"first key wins", "[S]\nK=1\nk=2\n", "S", "K", "1"},
        {"first section wins", "[S]\nA=1\n[s]\nA=2\nB=3\n", "S", "B", ""},
        {"section after a repeated one", "[S]\n[s]\n[T]\nK=4\n", "T", "K", "4"},
        {"CR line ends", "[S]\rA=1\rB=2\r", "S", "B", "2"},
        {"CRLF line ends", "[S]\r\nA=1\r\nB=2\r\n", "S", "A", "1"},
        {"mixed line ends", "[S]\nA=1\r\n\rB=2", "S", "B", "2"},
        {"last line without newline", "[S]\nK=end", "S", "K", "end"},
        {"text after ] ignored", "[S] ; note\nK=1\n", "S", "K", "1"},
        {"header without ]", "[S]\n[T\nK=1\n", "S", "K", "1"},
        {"Japanese value", "[SETUP]\nCopy1=背景.bmp\n", "SETUP", "Copy1", "背景.bmp"},
        {"Japanese names", "[設定]\n名前=値\n", "設定", "名前", "値"},
        {"backslash stays", "[S]\nK=Program Files\\Plenova Saver\n", "S", "K",
         "Program Files\\Plenova Saver"},
        // 0x81 0x5D: a character whose trail byte is "]".
        {"] as a trail byte", "[a‐b]\nK=1\n", "a‐b", "K", "1"},
        // "ア" is 0x83 0x41 and "ヂ" 0x83 0x61: folding the trail byte would merge them.
        {"trail bytes are not folded", "[S]\nヂ=1\n", "S", "ア", ""},
        {"name outside the code page", "[S]\nK=1\n", "S", "\U0001F600", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadProfileValue(ToShiftJis(c.ini), c.section, c.key), c.expected);
    }
}

TEST(ProfileReader, NulCutsTheValue) {
    using namespace std::string_literals;
    EXPECT_EQ(ReadProfileValue("[S]\nK=ab\0cd\nL=2\n"s, "S", "K"), "ab");
    EXPECT_EQ(ReadProfileValue("[S]\nK=ab\0cd\nL=2\n"s, "S", "L"), "2");
    // Cut first, then trimmed and unquoted.
    EXPECT_EQ(ReadProfileValue("[S]\nK= 'ab' \0x\n"s, "S", "K"), "ab");
}

TEST(ProfileReader, LongValuesAreCutAt1023Bytes) {
    const std::string kanji = ToShiftJis("漢");
    ASSERT_EQ(kanji.size(), 2u);
    struct Cut {
        const char* name;
        std::string value;     // Shift-JIS
        std::string expected;  // Shift-JIS
    };
    const Cut cuts[] = {
        {"exactly 1023", std::string(1023, 'a'), std::string(1023, 'a')},
        {"1024 ASCII", std::string(1024, 'a'), std::string(1023, 'a')},
        {"character ends at 1023", std::string(1021, 'a') + kanji + "b",
         std::string(1021, 'a') + kanji},
        {"character across the boundary", std::string(1022, 'a') + kanji,
         std::string(1022, 'a')},
        {"double-byte only", [&] {
             std::string s;
             for (int i = 0; i < 600; ++i) s += kanji;
             return s;
         }(),
         [&] {
             std::string s;
             for (int i = 0; i < 511; ++i) s += kanji;
             return s;
         }()},
        {"quotes removed before the cut", std::string(1, '"').append(1023, 'a').append(1, '"'),
         std::string(1023, 'a')},
    };
    for (const Cut& c : cuts) {
        SCOPED_TRACE(c.name);
        const ProfileFile file = ProfileFile::Parse("[S]\nK=" + c.value + "\n");
        EXPECT_EQ(file.RawValue("S", "K"), c.expected);
        EXPECT_EQ(file.Value("S", "K"), FromShiftJis(c.expected));
    }
}

TEST(ProfileReader, InvalidBytesBecomeReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    struct Bad {
        const char* name;
        std::string value;
        std::string expected;
    };
    const Bad cases[] = {
        {"bytes that are no character", "a\xA0\x80\xFD" "b", "a" + fffd + fffd + fffd + "b"},
        {"lead byte at the end", "ab\x83", "ab" + fffd},
        {"lead byte before a byte that cannot trail", "a\x83" "\x20" "b", "a" + fffd + " b"},
        {"pair outside the table", "a\x85\x40" "b", "a" + fffd + "b"},
        {"good text kept around bad", ToShiftJis("背景") + "\xFF" + ToShiftJis("景"),
         "背景" + fffd + "景"},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadProfileValue("[S]\nK=" + c.value + "\n", "S", "K"), c.expected);
    }
}

TEST(ProfileReader, ParsedFileAnswersEveryEntryOfALongList) {
    std::string ini = "[SETUP]\r\n";
    for (int i = 1; i <= 32767; ++i) ini += "Copy" + std::to_string(i) + "=f" + std::to_string(i) + "\r\n";
    const ProfileFile file = ProfileFile::Parse(ini);
    EXPECT_EQ(file.Value("Setup", "Copy1"), "f1");
    EXPECT_EQ(file.Value("Setup", "copy32767"), "f32767");
    EXPECT_EQ(file.Value("Setup", "Copy32768"), "");
    EXPECT_TRUE(file.HasSection("setup"));
    EXPECT_FALSE(file.HasSection("BOOT"));
}

TEST(ProfileReader, HostileInputsGiveValuesOrNothing) {
    std::mt19937 random(7);
    std::string binary(1 << 16, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    const std::string huge = "[S]\nK=" + std::string(8 << 20, 'x');
    const std::string manyHeaders = [] {
        std::string s;
        for (int i = 0; i < 20000; ++i) s.append("[").append(std::to_string(i % 100)).append("]\n");
        return s;
    }();
    const std::string inputs[] = {"", "[", "[[", "]", "=", "[S", "[S]", "[S]\n=", "[S]\n=v",
                                  "\r\r\n\n", std::string(1 << 20, '['), "\x83", binary, huge,
                                  manyHeaders};
    for (const std::string& input : inputs) {
        const ProfileFile file = ProfileFile::Parse(input);
        EXPECT_LE(file.RawValue("S", "K").size(), kMaxProfileValueBytes);
        EXPECT_EQ(file.Value("S", "missing"), "");
    }
    EXPECT_EQ(ProfileFile::Parse(huge).RawValue("S", "K"), std::string(1023, 'x'));
    EXPECT_EQ(ProfileFile::Parse("[S]\n=v").Value("S", ""), "v");
}

}  // namespace
