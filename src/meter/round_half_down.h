#pragma once

#include <cmath>
#include <limits>

namespace velquor {

// Truncation toward zero. Values beyond the int range saturate and NaN gives 0,
// so hostile input cannot cause overflow.
inline int TruncateToInt(double x) {
    if (std::isnan(x))
        return 0;
    if (x >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (x <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(x);
}

// Integer part of x (toward zero), plus one when the remaining fraction exceeds
// 0.5. An exact half stays down; a negative x is only truncated.
inline int RoundHalfDown(double x) {
    const int whole = TruncateToInt(x);
    if (x > 0 && whole < std::numeric_limits<int>::max() && x - whole > 0.5)
        return whole + 1;
    return whole;
}

}  // namespace velquor
