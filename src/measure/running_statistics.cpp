#include "measure/running_statistics.h"

#include <cmath>

#include "measure/power_units.h"

namespace velquor::measure {

void RunningStatistics::Reset() {
    *this = RunningStatistics();
}

StatisticsSnapshot RunningStatistics::Snapshot() const {
    StatisticsSnapshot s;
    s.count = count_;
    if (count_ == 0)
        return s;
    s.min_dbm = min_dbm_;
    s.max_dbm = max_dbm_;
    s.mean_dbm = MilliwattToDbm(linear_sum_.Value() / static_cast<double>(count_));
    if (count_ > 1)
        s.stddev_db = std::sqrt(std::fmax(m2_db_, 0.0) / static_cast<double>(count_ - 1));
    s.elapsed_s = static_cast<double>(last_ns_ - first_ns_) * 1e-9;
    return s;
}

}  // namespace velquor::measure
