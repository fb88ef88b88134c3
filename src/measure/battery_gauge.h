#pragma once

#include <optional>

namespace velquor::measure {

// The meter tells its battery as a raw gauge number: 576 is empty, 664 full. Files
// and peers keep the raw number; these rules give what the window's gauge shows.
inline constexpr double kBatteryEmptyRaw = 576.0;
inline constexpr double kBatteryFullRaw = 664.0;

// How full the battery is: 0 at or below empty, 1 at or above full, linear between;
// NaN without a reading.
double BatteryFraction(double raw);
// The same in whole percent, rounded to the nearest; nothing without a reading.
std::optional<int> BatteryPercent(double raw);
// At or below empty, where the window's gauge is blank and blinks; nothing without
// a reading.
std::optional<bool> BatteryLow(double raw);

}  // namespace velquor::measure
