#include "measure/battery_gauge.h"

#include <algorithm>
#include <cmath>

namespace velquor::measure {

double BatteryFraction(double raw) {
    if (std::isnan(raw))
        return raw;
    return std::clamp((raw - kBatteryEmptyRaw) / (kBatteryFullRaw - kBatteryEmptyRaw), 0.0, 1.0);
}

std::optional<int> BatteryPercent(double raw) {
    if (std::isnan(raw))
        return std::nullopt;
    return static_cast<int>(std::lround(BatteryFraction(raw) * 100.0));
}

std::optional<bool> BatteryLow(double raw) {
    if (std::isnan(raw))
        return std::nullopt;
    return BatteryFraction(raw) <= 0.0;
}

}  // namespace velquor::measure
