#include "base/checked.h"
#include "base/twips.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace plenova;

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundToInt16(2.5), 2);
    EXPECT_EQ(RoundToInt16(3.5), 4);
    EXPECT_EQ(RoundToInt16(-0.7), -1);
    EXPECT_EQ(RoundToInt16(-2.5), -2);
    EXPECT_EQ(RoundToInt16(-3.5), -4);
    EXPECT_EQ(RoundToInt16(0.5), 0);
    EXPECT_EQ(RoundToInt16(1.5), 2);
    EXPECT_EQ(RoundToInt32(2147483646.5), 2147483646);
}

TEST(Rounding, SixteenBitRangeEdges) {
    EXPECT_EQ(RoundToInt16(32767.0), 32767);
    EXPECT_EQ(RoundToInt16(32767.4), 32767);
    EXPECT_THROW(RoundToInt16(32767.5), OverflowError);  // rounds to 32768
    EXPECT_EQ(RoundToInt16(-32768.5), -32768);            // half to even stays in range
    EXPECT_THROW(RoundToInt16(-32768.51), OverflowError);
    EXPECT_THROW(RoundToInt16(std::nan("")), OverflowError);
    EXPECT_THROW(RoundToInt16(std::numeric_limits<double>::infinity()), OverflowError);
}

TEST(Rounding, ThirtyTwoBitRangeEdges) {
    EXPECT_EQ(RoundToInt32(2147483647.0), 2147483647);
    EXPECT_THROW(RoundToInt32(2147483647.5), OverflowError);
    EXPECT_EQ(RoundToInt32(-2147483648.0), std::numeric_limits<Int32>::min());
    EXPECT_THROW(RoundToInt32(-2147483649.0), OverflowError);
}

TEST(CheckedArithmetic, SixteenBitOverflowsAtBothEnds) {
    EXPECT_EQ(Add16(32766, 1), 32767);
    EXPECT_THROW(Add16(32767, 1), OverflowError);
    EXPECT_EQ(Sub16(-32767, 1), -32768);
    EXPECT_THROW(Sub16(-32768, 1), OverflowError);
    EXPECT_THROW(Mul16(256, 128), OverflowError);
    EXPECT_EQ(Mul16(-256, 128), -32768);
    EXPECT_THROW(Neg16(-32768), OverflowError);
    EXPECT_THROW(ToInt16(32768), OverflowError);
    EXPECT_THROW(ToInt16(-32769), OverflowError);
}

TEST(CheckedArithmetic, ThirtyTwoBitOverflowsAtBothEnds) {
    EXPECT_THROW(Add32(2147483647, 1), OverflowError);
    EXPECT_THROW(Sub32(std::numeric_limits<Int32>::min(), 1), OverflowError);
    EXPECT_THROW(Mul32(65536, 32768), OverflowError);
    EXPECT_THROW(Neg32(std::numeric_limits<Int32>::min()), OverflowError);
    EXPECT_EQ(Mul32(-65536, 32768), std::numeric_limits<Int32>::min());
}

TEST(CheckedArithmetic, DivisionTruncatesAndChecksItsDivisor) {
    EXPECT_EQ(IntDiv16(7, 2), 3);
    EXPECT_EQ(IntDiv16(-7, 2), -3);
    EXPECT_EQ(Mod16(-7, 2), -1);
    EXPECT_THROW(IntDiv16(1, 0), DivisionByZeroError);
    EXPECT_THROW(Mod32(1, 0), DivisionByZeroError);
    EXPECT_THROW(IntDiv16(-32768, -1), OverflowError);
    EXPECT_EQ(Mod16(-32768, -1), 0);
    EXPECT_THROW(Divide(0.0, 0.0), DivisionByZeroError);
    EXPECT_THROW(DivideSingle(1.0f, 0.0f), DivisionByZeroError);
    EXPECT_DOUBLE_EQ(Divide(1.0, 4.0), 0.25);
}

TEST(CheckedArithmetic, SingleConversionChecksRange) {
    EXPECT_FLOAT_EQ(ToSingle(0.1), 0.1f);
    EXPECT_THROW(ToSingle(1e39), OverflowError);
    EXPECT_THROW(ToSingle(-1e39), OverflowError);
}

TEST(Truth, SixteenBitValues) {
    EXPECT_EQ(Truth(true), -1);
    EXPECT_EQ(Truth(false), 0);
    EXPECT_TRUE(IsTrue(1));
}

TEST(Twips, NinetySixDotsPerInchIsFifteen) {
    EXPECT_EQ(TwipsPerPixelForDpi(96), 15);
    EXPECT_EQ(TwipsPerPixelForDpi(120), 12);
    EXPECT_DOUBLE_EQ(TwipsToPixels(2280, 15), 152.0);
    EXPECT_DOUBLE_EQ(PixelsToTwips(112, 15), 1680.0);
    EXPECT_THROW(TwipsToPixels(10, 0), DivisionByZeroError);
}
