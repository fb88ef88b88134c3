#pragma once

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
    double elapsed_s = 0.0;  // from the first to the latest value since the reset
};

// Count, min, max, linear mean and the dB standard deviation since the last reset,
// in constant memory and constant time per value: the linear sum is compensated and
// the dB spread uses Welford's update, so neither drifts over millions of values.
class RunningStatistics {
public:
    // power_mw is the same power in milliwatt, which the caller already has.
    void Add(double power_dbm, double power_mw, std::int64_t steady_ns) {
        ++count_;
        if (count_ == 1) {
            min_dbm_ = max_dbm_ = power_dbm;
            first_ns_ = steady_ns;
        } else {
            min_dbm_ = power_dbm < min_dbm_ ? power_dbm : min_dbm_;
            max_dbm_ = power_dbm > max_dbm_ ? power_dbm : max_dbm_;
        }
        last_ns_ = steady_ns;
        linear_sum_.Add(power_mw);
        const double delta = power_dbm - mean_db_;
        mean_db_ += delta / static_cast<double>(count_);
        m2_db_ += delta * (power_dbm - mean_db_);
    }
    void Reset();

    std::int64_t Count() const { return count_; }
    StatisticsSnapshot Snapshot() const;

private:
    std::int64_t count_ = 0;
    double min_dbm_ = 0.0;
    double max_dbm_ = 0.0;
    CompensatedSum linear_sum_;
    double mean_db_ = 0.0;
    double m2_db_ = 0.0;
    std::int64_t first_ns_ = 0;
    std::int64_t last_ns_ = 0;
};

}  // namespace velquor::measure
