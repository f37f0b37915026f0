#include "base/checked.h"

#include <cmath>

namespace plenova {

double RoundHalfEven(double value) noexcept {
    // nearbyint follows the current rounding mode, which is round-to-nearest-even unless a
    // caller changed it; rint-style rounding is exactly half to even.
    return std::nearbyint(value);
}

namespace {
template <typename T>
T RoundTo(double value) {
    if (!std::isfinite(value)) throw OverflowError();
    const double r = RoundHalfEven(value);
    if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max())) {
        throw OverflowError();
    }
    return static_cast<T>(r);
}

template <typename T>
T CheckedDiv(T a, T b) {
    if (b == 0) throw DivisionByZeroError();
    if (a == std::numeric_limits<T>::min() && b == -1) throw OverflowError();
    return static_cast<T>(a / b);
}

template <typename T>
T CheckedMod(T a, T b) {
    if (b == 0) throw DivisionByZeroError();
    if (b == -1) return 0;
    return static_cast<T>(a % b);
}
}  // namespace

Int16 RoundToInt16(double value) { return RoundTo<Int16>(value); }
Int32 RoundToInt32(double value) { return RoundTo<Int32>(value); }

Int16 IntDiv16(Int16 a, Int16 b) { return CheckedDiv<Int16>(a, b); }
Int16 Mod16(Int16 a, Int16 b) { return CheckedMod<Int16>(a, b); }
Int32 Mod32(Int32 a, Int32 b) { return CheckedMod<Int32>(a, b); }

double Divide(double a, double b) {
    if (b == 0.0) throw DivisionByZeroError();
    const double q = a / b;
    if (!std::isfinite(q)) throw OverflowError();
    return q;
}

float DivideSingle(float a, float b) {
    if (b == 0.0f) throw DivisionByZeroError();
    const float q = a / b;
    if (!std::isfinite(q)) throw OverflowError();
    return q;
}

float ToSingle(double value) {
    if (std::isnan(value)) throw OverflowError();
    if (std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) {
        throw OverflowError();
    }
    return static_cast<float>(value);
}

}  // namespace plenova
