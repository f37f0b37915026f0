#include "base/text.h"

#include <gtest/gtest.h>

using namespace plenova;

TEST(NumericValue, LongestLeadingNumberWithBlanksSkipped) {
    EXPECT_DOUBLE_EQ(NumericValue("  7abc"), 7.0);
    EXPECT_DOUBLE_EQ(NumericValue("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(NumericValue("3.5"), 3.5);
    EXPECT_DOUBLE_EQ(NumericValue("-0.7"), -0.7);
    EXPECT_DOUBLE_EQ(NumericValue("1e3"), 1000.0);
    EXPECT_DOUBLE_EQ(NumericValue(""), 0.0);
    EXPECT_DOUBLE_EQ(NumericValue("abc"), 0.0);
    EXPECT_DOUBLE_EQ(NumericValue(" 1 2 3"), 123.0);
    EXPECT_DOUBLE_EQ(NumericValue("\t-\t4"), -4.0);
    EXPECT_DOUBLE_EQ(NumericValue(".5"), 0.5);
    EXPECT_DOUBLE_EQ(NumericValue("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(NumericValue("12e"), 12.0);  // an exponent without digits is not read
    EXPECT_DOUBLE_EQ(NumericValue("12e+x"), 12.0);
    EXPECT_DOUBLE_EQ(NumericValue("2D2"), 200.0);
    EXPECT_DOUBLE_EQ(NumericValue("&H1F"), 31.0);
    EXPECT_DOUBLE_EQ(NumericValue("&O17"), 15.0);
    EXPECT_DOUBLE_EQ(NumericValue("-"), 0.0);
    EXPECT_DOUBLE_EQ(NumericValue("."), 0.0);
}

TEST(NumericValue, HostHandleTextsOfTheCommandLine) {
    EXPECT_DOUBLE_EQ(NumericValue(" 1234"), 1234.0);
    EXPECT_DOUBLE_EQ(NumericValue("1234"), 1234.0);
    EXPECT_DOUBLE_EQ(NumericValue("12:34"), 12.0);
    EXPECT_DOUBLE_EQ(NumericValue("4294967295"), 4294967295.0);
}

TEST(ConvertToNumber, WholeTextMustBeANumber) {
    EXPECT_DOUBLE_EQ(ConvertToNumber("1"), 1.0);
    EXPECT_DOUBLE_EQ(ConvertToNumber(" 1 "), 1.0);
    EXPECT_DOUBLE_EQ(ConvertToNumber("-2.5"), -2.5);
    EXPECT_DOUBLE_EQ(ConvertToNumber("1e3"), 1000.0);
    EXPECT_THROW(ConvertToNumber(""), TypeMismatchError);
    EXPECT_THROW(ConvertToNumber("   "), TypeMismatchError);
    EXPECT_THROW(ConvertToNumber("1x"), TypeMismatchError);
    EXPECT_THROW(ConvertToNumber("yes"), TypeMismatchError);
    EXPECT_THROW(ConvertToNumber("1e999"), OverflowError);
}

TEST(ConvertToNumber, SixteenBitConversion) {
    EXPECT_EQ(ConvertToInt16("1"), 1);
    EXPECT_EQ(ConvertToInt16("2.5"), 2);
    EXPECT_THROW(ConvertToInt16("40000"), OverflowError);
    EXPECT_THROW(ConvertToInt16("on"), TypeMismatchError);
}

TEST(CharacterSlices, CountCharactersNotBytes) {
    EXPECT_EQ(Trim("  /s  "), "/s");
    EXPECT_EQ(Trim("\t/s"), "\t/s");  // only spaces are trimmed
    EXPECT_EQ(Left("/s", 2), "/s");
    EXPECT_EQ(Left("/", 2), "/");
    EXPECT_EQ(Left("背景.bmp", 2), "背景");
    EXPECT_EQ(Right("背景.bmp", 4), ".bmp");
    EXPECT_EQ(Mid("/p 1234", 4), "1234");
    EXPECT_EQ(Mid("/p", 4), "");
    EXPECT_EQ(Mid("背景画像", 2, 2), "景画");
    EXPECT_EQ(CharLength("パスワード"), 5u);
    EXPECT_EQ(CharLength("\xff\xfe"), 2u);
}

TEST(TrimView, ChosenCharactersFromChosenEnds) {
    struct Case {
        std::string_view text;
        std::string_view chars;
        TrimEnds ends;
        std::string_view expected;
    };
    const Case cases[] = {
        {"  a b  ", kSpace, TrimEnds::Both, "a b"},
        {" \t\r\n a\tb \r\n", kBlanks, TrimEnds::Both, "a\tb"},
        {" \ta\t\r ", " \t", TrimEnds::Left, "a\t\r "},
        {" \ta\t\r ", " \t\r", TrimEnds::Right, " \ta"},
        {"    ", kSpace, TrimEnds::Both, ""},
        {"\t\t", kBlanks, TrimEnds::Right, ""},
        {"", kBlanks, TrimEnds::Left, ""},
        {"x", "", TrimEnds::Both, "x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrimView(c.text, c.chars, c.ends), c.expected) << "[" << c.text << "]";
    }
    const std::string_view text = "  ab  ";
    EXPECT_EQ(TrimView(text).data(), text.data() + 2) << "a view into the text, not a copy";
}

TEST(CaseFolding, AsciiFoldingKeepsEveryOtherByteInPlace) {
    EXPECT_EQ(FoldAscii("OPEN C:\\ÄÖ\\背景.WAV Alias BGM"), "open c:\\ÄÖ\\背景.wav alias bgm");
    EXPECT_EQ(FoldAscii("@[`{"), "@[`{") << "the neighbours of A-Z and a-z";
    EXPECT_EQ(FoldCase("@[`{AZ"), "@[`{az") << "the plain-ASCII path of FoldCase agrees";
}

TEST(CaseFolding, NamesCompareWithoutLetterCase) {
    EXPECT_TRUE(EqualsIgnoreCase("Scr.wav", "SCR.WAV"));
    EXPECT_TRUE(EqualsIgnoreCase("ＡＢＣ", "ａｂｃ"));
    EXPECT_TRUE(EqualsIgnoreCase("背景.BMP", "背景.bmp"));
    EXPECT_FALSE(EqualsIgnoreCase("a", "b"));
    EXPECT_FALSE(EqualsIgnoreCase("Abc", "Abcd"));
}

TEST(CaseFolding, BytesThatAreNotUtf8StayAsTheyAre) {
    // An overlong form is not the character it spells: it neither folds nor matches it.
    EXPECT_FALSE(EqualsIgnoreCase("\xE0\x81\x81", "A"));
    EXPECT_FALSE(EqualsIgnoreCase("\xF0\x80\x81\x81.txt", "a.txt"));
    EXPECT_EQ(FoldCase("\xE0\x80\x80"), "\xE0\x80\x80");  // never a NUL
    EXPECT_EQ(FoldCase("X\xFFY\xED\xA0\x80"), "x\xFFy\xED\xA0\x80");
    EXPECT_EQ(CharLength("\xE0\x81\x81"), 3u);
    EXPECT_EQ(Left("\xE0\x81\x81"
                   "b",
                   2),
              "\xE0\x81");
}

TEST(TerminalTextTest, ControlCharactersShowAsEscapesAndPrintableTextStays) {
    EXPECT_EQ(TerminalText("C:\\WINDOWS\\設定.exe 100% \"q\""),
              "C:\\WINDOWS\\設定.exe 100% \"q\"");
    EXPECT_EQ(TerminalText("a\rb\tc\nd\x1b[2J\x7f\x01"), "a\\rb\\tc\\nd\\x1b[2J\\x7f\\x01");
    EXPECT_EQ(TerminalText("one\r\ntwo\n", true), "one\\r\ntwo\n");
    EXPECT_EQ(TerminalText(std::string("nul\0x", 5)), "nul\\x00x");
    // C1 controls (U+009B is a CSI on some terminals) and bytes that are no UTF-8.
    EXPECT_EQ(TerminalText("\xc2\x9b" "31m\xff"), "\\xc2\\x9b31m\\xff");
}
