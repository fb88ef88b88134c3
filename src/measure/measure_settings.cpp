#include "measure/measure_settings.h"

#include <cmath>

namespace velquor::measure {

namespace {

std::string Dbm(double value) {
    return FormatPower(value, PowerUnit::Dbm);
}

bool CheckPower(const char* name, double dbm, std::string& error) {
    if (std::isfinite(dbm) && dbm >= kMinPowerDbm && dbm <= kMaxPowerDbm)
        return true;
    error = std::string(name) + " must be a number from -200 to 200 dBm";
    return false;
}

}  // namespace

const char* LimitWord(LimitState state) {
    switch (state) {
        case LimitState::Off:
            return "";
        case LimitState::Pass:
            return "pass";
        case LimitState::FailUpper:
        case LimitState::FailLower:
            return "fail";
    }
    return "";
}

std::string DescribeFailure(LimitState state, const UserLimits& limits) {
    if (state == LimitState::FailUpper && limits.upper_dbm)
        return "above the upper limit of " + Dbm(*limits.upper_dbm);
    if (state == LimitState::FailLower && limits.lower_dbm)
        return "below the lower limit of " + Dbm(*limits.lower_dbm);
    return "";
}

bool CheckAverageCount(long long count, std::string& error) {
    if (count >= kMinAverageCount && count <= kMaxAverageCount)
        return true;
    error = "Averaging count must be a whole number from 1 to 1024";
    return false;
}

bool CheckOffset(double db, std::string& error) {
    if (std::isfinite(db) && db >= kMinOffsetDb && db <= kMaxOffsetDb)
        return true;
    error = "Offset must be a number from -100 to 100 dB";
    return false;
}

bool CheckReference(double dbm, std::string& error) {
    return CheckPower("Reference", dbm, error);
}

bool CheckLimits(const UserLimits& limits, std::string& error) {
    if (limits.upper_dbm && !CheckPower("Upper limit", *limits.upper_dbm, error))
        return false;
    if (limits.lower_dbm && !CheckPower("Lower limit", *limits.lower_dbm, error))
        return false;
    if (limits.upper_dbm && limits.lower_dbm && *limits.upper_dbm < *limits.lower_dbm) {
        error = "Upper limit (" + Dbm(*limits.upper_dbm) + ") is below the lower limit (" +
                Dbm(*limits.lower_dbm) + ")";
        return false;
    }
    return true;
}

bool ValidateSettings(const MeasureSettings& s, std::string& error) {
    return CheckAverageCount(s.average_count, error) && CheckOffset(s.offset_db, error) &&
           CheckReference(s.reference_dbm, error) && CheckLimits(s.limits, error);
}

}  // namespace velquor::measure
