#pragma once

#include <cmath>
#include <limits>

namespace velquor {

// Integer part of x (toward zero), plus one when the remaining fraction exceeds
// 0.5. An exact half stays down; a negative x is only truncated. Values beyond
// the int range saturate and NaN gives 0, so hostile input cannot cause overflow.
inline int RoundHalfDown(double x) {
    if (std::isnan(x))
        return 0;
    if (x >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (x <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    const int whole = static_cast<int>(x);
    if (x > 0 && x - whole > 0.5)
        return whole + 1;
    return whole;
}

// Truncation toward zero with the same saturation.
inline int TruncateToInt(double x) {
    if (std::isnan(x))
        return 0;
    if (x >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (x <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(x);
}

}  // namespace velquor
