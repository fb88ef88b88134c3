#pragma once

#include <cmath>

namespace velquor {

// The reading conversions the panels and the log share; computed where shown or
// written, never stored.
inline double DbmToWatt(double dbm) {
    return std::pow(10.0, dbm / 10.0) / 1000.0;
}
inline double CelsiusToFahrenheit(double celsius) {
    return celsius * 1.8 + 32.0;
}

}  // namespace velquor
