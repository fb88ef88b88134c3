#pragma once

#include <optional>
#include <string>

#include "measure/moving_average.h"
#include "measure/power_units.h"

namespace velquor::measure {

inline constexpr double kMinOffsetDb = -100.0;
inline constexpr double kMaxOffsetDb = 100.0;
// Bounds for typed powers (reference, limits): wider than the meter with any offset.
inline constexpr double kMinPowerDbm = -200.0;
inline constexpr double kMaxPowerDbm = 200.0;

// The user's own limits in dBm, each optional; a reading equal to a limit passes.
struct UserLimits {
    std::optional<double> upper_dbm;
    std::optional<double> lower_dbm;
    bool Any() const { return upper_dbm.has_value() || lower_dbm.has_value(); }
    bool operator==(const UserLimits&) const = default;
};

enum class LimitState { Off, Pass, FailUpper, FailLower };

inline LimitState EvaluateLimits(const UserLimits& limits, double dbm) {
    if (!limits.Any())
        return LimitState::Off;
    if (limits.upper_dbm && dbm > *limits.upper_dbm)
        return LimitState::FailUpper;
    if (limits.lower_dbm && dbm < *limits.lower_dbm)
        return LimitState::FailLower;
    return LimitState::Pass;
}

inline bool Failed(LimitState state) {
    return state == LimitState::FailUpper || state == LimitState::FailLower;
}

// "pass", "fail" or "" (limits off): the word machine output uses.
const char* LimitWord(LimitState state);
// "above the upper limit of 10.00 dBm" and the like, for a failed state.
std::string DescribeFailure(LimitState state, const UserLimits& limits);

// Everything the user sets for the measurement math. The defaults are the plain
// reading, as the program showed it before any of this existed.
struct MeasureSettings {
    int average_count = 1;
    double offset_db = 0.0;
    bool relative = false;
    double reference_dbm = 0.0;
    bool max_hold = false;
    UserLimits limits;
    PowerUnit unit = PowerUnit::Dbm;

    bool operator==(const MeasureSettings&) const = default;
};

// Each check returns true, or false with a message naming the setting and its range.
bool CheckAverageCount(long long count, std::string& error);
bool CheckOffset(double db, std::string& error);
bool CheckReference(double dbm, std::string& error);
bool CheckLimits(const UserLimits& limits, std::string& error);
bool ValidateSettings(const MeasureSettings& settings, std::string& error);

}  // namespace velquor::measure
