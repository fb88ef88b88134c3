#include "measure/running_statistics.h"

#include <algorithm>
#include <cmath>

#include "measure/power_units.h"

namespace velquor::measure {

void RunningStatistics::MoveReference() {
    // Only ever upwards: what underflows is negligible beside the new maximum.
    const double reference = ReferenceFor(max_dbm_);
    const double sum = linear_sum_.Value() * DbmToMilliwatt(reference_dbm_ - reference);
    linear_sum_.Clear();
    linear_sum_.Add(sum);
    reference_dbm_ = reference;
}

double RunningStatistics::RelativeMilliwatt(double power_dbm) const {
    return DbmToMilliwatt(power_dbm - reference_dbm_);
}

void RunningStatistics::Reset() {
    *this = RunningStatistics();
}

StatisticsSnapshot RunningStatistics::Snapshot() const {
    StatisticsSnapshot s;
    s.count = count_;
    s.invalid = invalid_;
    if (count_ == 0)
        return s;
    s.min_dbm = min_dbm_;
    s.max_dbm = max_dbm_;
    // The linear mean lies between the extremes; rounding must not take it outside.
    const double mean =
        reference_dbm_ + MilliwattToDbm(linear_sum_.Value() / static_cast<double>(count_));
    s.mean_dbm = std::clamp(mean, min_dbm_, max_dbm_);
    if (count_ > 1)
        s.stddev_db = std::sqrt(std::fmax(m2_db_, 0.0) / static_cast<double>(count_ - 1));
    s.elapsed_s = static_cast<double>(last_ns_ - first_ns_) * 1e-9;
    return s;
}

}  // namespace velquor::measure
