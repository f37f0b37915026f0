#include "platform/text_conversion.h"

#include <gtest/gtest.h>

#include "base/errors.h"

using plenova::EncodingError;
using plenova::platform::FromShiftJis;
using plenova::platform::ToShiftJis;

TEST(ShiftJis, RoundTripsJapaneseTexts) {
    const std::string text = "パスワードが違います";
    const std::string sjis = ToShiftJis(text);
    EXPECT_EQ(sjis.substr(0, 2), "\x83\x70");  // パ
    EXPECT_EQ(sjis.size(), 20u);
    EXPECT_EQ(FromShiftJis(sjis), text);
    EXPECT_EQ(FromShiftJis(ToShiftJis("背景.bmp")), "背景.bmp");
    EXPECT_EQ(ToShiftJis(""), "");
}

TEST(ShiftJis, HalfWidthKatakanaAndAscii) {
    EXPECT_EQ(ToShiftJis("A\\"), "A\\");
    EXPECT_EQ(ToShiftJis("ｱ"), "\xb1");
}

TEST(ShiftJis, InvalidBytesAndUnmappableCharactersAreReported) {
    EXPECT_THROW(FromShiftJis("\x81"), EncodingError);         // truncated lead byte
    EXPECT_THROW(FromShiftJis("ab\x81\x20"), EncodingError);   // invalid trail byte
    EXPECT_THROW(ToShiftJis("😀"), EncodingError);
    try {
        FromShiftJis("ab\x81\x20");
        FAIL();
    } catch (const EncodingError& e) {
        EXPECT_NE(std::string(e.what()).find("byte 2"), std::string::npos);
    }
}
