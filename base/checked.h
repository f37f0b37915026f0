// Checked integer arithmetic and conversions: results that leave the range of their type raise
// OverflowError instead of wrapping, and conversions from floating point round half to even.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>

#include "base/errors.h"

namespace plenova {

using Int16 = std::int16_t;
using Int32 = std::int32_t;

// 16-bit truth values: true is -1, false is 0.
inline constexpr Int16 kTrue = -1;
inline constexpr Int16 kFalse = 0;
constexpr Int16 Truth(bool b) noexcept { return b ? kTrue : kFalse; }
constexpr bool IsTrue(Int16 v) noexcept { return v != 0; }

// Rounds to the nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -0.5 -> -0).
double RoundHalfEven(double value) noexcept;

// Floating point to integer, rounding half to even; NaN, infinities and values outside the
// range raise OverflowError.
Int16 RoundToInt16(double value);
Int32 RoundToInt32(double value);

// Integer narrowing with a range check.
template <typename To, typename From>
constexpr To Narrow(From value) {
    static_assert(std::is_integral_v<To> && std::is_integral_v<From>);
    if (!std::in_range<To>(value)) throw OverflowError();
    return static_cast<To>(value);
}
inline Int16 ToInt16(std::int64_t value) { return Narrow<Int16>(value); }
inline Int32 ToInt32(std::int64_t value) { return Narrow<Int32>(value); }

// Arithmetic on 16-bit and 32-bit values, computed wide and checked.
inline Int16 Add16(Int16 a, Int16 b) { return ToInt16(std::int64_t{a} + b); }
inline Int16 Sub16(Int16 a, Int16 b) { return ToInt16(std::int64_t{a} - b); }
inline Int16 Mul16(Int16 a, Int16 b) { return ToInt16(std::int64_t{a} * b); }
inline Int16 Neg16(Int16 a) { return ToInt16(-std::int64_t{a}); }
inline Int32 Add32(Int32 a, Int32 b) { return ToInt32(std::int64_t{a} + b); }
inline Int32 Sub32(Int32 a, Int32 b) { return ToInt32(std::int64_t{a} - b); }
inline Int32 Mul32(Int32 a, Int32 b) { return ToInt32(std::int64_t{a} * b); }
inline Int32 Neg32(Int32 a) { return ToInt32(-std::int64_t{a}); }

// Integer division truncating toward zero ("\"), and remainder ("Mod"); a zero divisor raises
// DivisionByZeroError, and -32768 \ -1 overflows.
Int16 IntDiv16(Int16 a, Int16 b);
Int16 Mod16(Int16 a, Int16 b);
Int32 Mod32(Int32 a, Int32 b);

// Floating-point division that raises DivisionByZeroError for a zero divisor (0 / 0 included),
// as the classic "/" operator does.
double Divide(double a, double b);
float DivideSingle(float a, float b);

// Double to single precision; values beyond the single range overflow.
float ToSingle(double value);

}  // namespace plenova
