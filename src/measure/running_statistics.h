#pragma once

#include <cmath>
#include <cstdint>

#include "measure/compensated_sum.h"

namespace velquor::measure {

// What the statistics hold at one moment. Powers in dBm; the mean is the mean of
// the linear powers, shown in dBm; the standard deviation is that of the dB values
// (sample, n - 1; 0 below two values).
struct StatisticsSnapshot {
    std::int64_t count = 0;
    double min_dbm = 0.0;
    double max_dbm = 0.0;
    double mean_dbm = 0.0;
    double stddev_db = 0.0;
    double elapsed_s = 0.0;    // from the first to the latest value since the reset
    std::int64_t invalid = 0;  // readings left out: their linear power is not finite
};

// Count, min, max, linear mean and the dB standard deviation since the last reset,
// in constant memory and constant time per value: the linear sum is compensated and
// the dB spread uses Welford's update, so neither drifts over millions of values.
//
// A frame may carry any power from -3276.8 to +3276.7 dBm, more than a double
// holds as milliwatts (about 1e-308 to 1e308). While the largest power lies within
// +-kPlainRangeDb the sum is of plain milliwatts; beyond it, of powers relative to
// that largest one, so the mean stays finite and exact over the whole range.
class RunningStatistics {
public:
    static constexpr double kPlainRangeDb = 2400.0;

    // power_mw is the same power in milliwatt, which the caller already has. A power
    // that is not finite in dBm or in milliwatt is left out and counted as invalid
    // (false).
    bool Add(double power_dbm, double power_mw, std::int64_t steady_ns) {
        if (!std::isfinite(power_dbm) || !std::isfinite(power_mw)) {
            ++invalid_;
            return false;
        }
        ++count_;
        if (count_ == 1) {
            min_dbm_ = max_dbm_ = power_dbm;
            first_ns_ = steady_ns;
            reference_dbm_ = ReferenceFor(power_dbm);
        } else {
            min_dbm_ = power_dbm < min_dbm_ ? power_dbm : min_dbm_;
            if (power_dbm > max_dbm_) {
                max_dbm_ = power_dbm;
                if (ReferenceFor(max_dbm_) != reference_dbm_)
                    MoveReference();
            }
        }
        last_ns_ = steady_ns;
        linear_sum_.Add(reference_dbm_ == 0.0 ? power_mw : RelativeMilliwatt(power_dbm));
        const double delta = power_dbm - mean_db_;
        mean_db_ += delta / static_cast<double>(count_);
        m2_db_ += delta * (power_dbm - mean_db_);
        return true;
    }
    // A reading the caller left out for the same reason.
    void CountInvalid() { ++invalid_; }
    void Reset();

    std::int64_t Count() const { return count_; }
    std::int64_t Invalid() const { return invalid_; }
    StatisticsSnapshot Snapshot() const;

private:
    // The reference of the linear sum for a largest power of max_dbm.
    static double ReferenceFor(double max_dbm) {
        return max_dbm >= -kPlainRangeDb && max_dbm <= kPlainRangeDb ? 0.0 : max_dbm;
    }
    // The sum taken to the reference of the new maximum.
    void MoveReference();
    double RelativeMilliwatt(double power_dbm) const;

    std::int64_t count_ = 0;
    std::int64_t invalid_ = 0;
    double min_dbm_ = 0.0;
    double max_dbm_ = 0.0;
    double reference_dbm_ = 0.0;  // the linear sum is of powers relative to this
    CompensatedSum linear_sum_;
    double mean_db_ = 0.0;
    double m2_db_ = 0.0;
    std::int64_t first_ns_ = 0;
    std::int64_t last_ns_ = 0;
};

}  // namespace velquor::measure
