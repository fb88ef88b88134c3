#pragma once

namespace velquor {

// The reading conversions the panels and the log share; computed where shown or
// written, never stored. Power units are measure::DbmToUnit's alone.
inline double CelsiusToFahrenheit(double celsius) {
    return celsius * 1.8 + 32.0;
}

}  // namespace velquor
