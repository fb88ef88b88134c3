#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "measure/measure_settings.h"
#include "measure/power_average.h"
#include "measure/running_statistics.h"

namespace velquor::measure {

// One processed reading. All powers are absolute dBm after the offset.
struct MeasureResult {
    double input_dbm = 0.0;              // as the meter reported it
    double power_dbm = 0.0;              // input plus the offset
    double average_dbm = 0.0;            // moving average of power_dbm in linear power
    double shown_dbm = 0.0;              // the average, or the held maximum under max hold
    double relative_db = 0.0;            // shown_dbm minus the reference (meaningful when relative)
    int averaged = 0;                    // readings in the average, 1 to the averaging count
    bool settled = false;                // the average holds as many readings as the count asks
    LimitState limit = LimitState::Off;  // of average_dbm
};

struct LimitCounts {
    std::int64_t upper = 0;  // readings above the upper limit
    std::int64_t lower = 0;  // readings below the lower limit
    std::int64_t Total() const { return upper + lower; }
};

// The measurement math for one meter, in this order: offset, moving average in
// linear power, statistics and max hold of the average, relative to the reference,
// user limits on the average. Not thread-safe: one owner feeds and reads it.
class MeasurePipeline {
public:
    // Settings are checked as a whole; on refusal error says why and nothing changes.
    // A new averaging count or offset restarts the average; a new offset also
    // restarts the statistics, the failure counts and max hold, which would
    // otherwise mix powers of two scales.
    bool Apply(const MeasureSettings& settings, std::string& error);
    const MeasureSettings& Settings() const { return settings_; }

    // Single settings, checked the same way.
    bool SetAverageCount(long long count, std::string& error);
    bool SetOffset(double db, std::string& error);
    bool SetReference(double dbm, std::string& error);
    bool SetLimits(const UserLimits& limits, std::string& error);
    void SetRelative(bool on);
    void SetUnit(PowerUnit unit) { settings_.unit = unit; }
    void SetMaxHold(bool on);
    // Takes the current averaged reading as the reference and turns relative on;
    // refused before the first reading.
    bool TakeReference(std::string& error);

    // A reading from the meter. One whose power after the offset is not finite in
    // milliwatt (3082.6 dBm and up; frames carry no checksum) is left out of
    // everything, counted as invalid in the statistics, and refused (false). NaN
    // (a frame without a power) is refused without being counted.
    bool Process(double input_dbm, std::int64_t steady_ns) {
        latest_taken_ = false;
        const double power_dbm = input_dbm + settings_.offset_db;
        const double mw = DbmToMilliwatt(power_dbm);
        if (!std::isfinite(power_dbm) || !std::isfinite(mw)) {
            if (!std::isnan(input_dbm))
                statistics_.CountInvalid();
            return false;
        }
        MeasureResult& r = last_;
        r.input_dbm = input_dbm;
        r.power_dbm = power_dbm;
        const PowerAverage::Mean mean = average_.Add(power_dbm, mw);
        double average_mw = mw;
        if (settings_.average_count == 1) {
            r.average_dbm = power_dbm;
        } else {
            r.average_dbm = mean.dbm;
            average_mw = mean.mw;
        }
        r.averaged = average_.Filled();
        r.settled = average_.Full();
        statistics_.Add(r.average_dbm, average_mw, steady_ns);
        if (!has_held_ || r.average_dbm > held_max_dbm_)
            held_max_dbm_ = r.average_dbm;
        has_held_ = true;
        r.shown_dbm = settings_.max_hold ? held_max_dbm_ : r.average_dbm;
        r.relative_db = r.shown_dbm - settings_.reference_dbm;
        r.limit = EvaluateLimits(settings_.limits, r.average_dbm);
        failures_.upper += r.limit == LimitState::FailUpper;
        failures_.lower += r.limit == LimitState::FailLower;
        has_reading_ = true;
        latest_taken_ = true;
        return true;
    }

    bool HasReading() const { return has_reading_; }
    // The reading last given to Process() was taken: Last() is its result.
    bool LatestTaken() const { return latest_taken_; }
    const MeasureResult& Last() const { return last_; }

    // The shown value in the unit asked for (dB when relative), plain W or V.
    double OutputValue() const;
    // "dB" when relative, else the unit's name.
    const char* OutputUnit() const;
    // The shown value for a person: "12.34 dBm", "100 mW", "+3.02 dB".
    std::string OutputText() const;

    StatisticsSnapshot Statistics() const { return statistics_.Snapshot(); }
    const LimitCounts& Failures() const { return failures_; }
    double HeldMaxDbm() const { return held_max_dbm_; }

    // Statistics (with the invalid count), failure counts and the held maximum start
    // again.
    void ResetStatistics();
    void ClearFailures() { failures_ = {}; }
    // The next reading starts a new average; the last result is forgotten.
    void RestartAverage();

private:
    // Shown, relative and limit state of the last result under the current settings.
    void Rederive();

    MeasureSettings settings_;
    PowerAverage average_;
    RunningStatistics statistics_;
    LimitCounts failures_;
    MeasureResult last_;
    bool has_reading_ = false;
    bool latest_taken_ = false;
    bool has_held_ = false;
    double held_max_dbm_ = 0.0;
};

}  // namespace velquor::measure
