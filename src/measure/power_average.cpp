#include "measure/power_average.h"

#include <algorithm>
#include <limits>

#include "measure/power_units.h"

namespace velquor::measure {

namespace {

// Past this a window's sum of relative powers could overflow, and below the other
// bound it has lost its precision: the window is summed again. The margins over
// kPlainRangeDb keep one pass from calling for the next.
constexpr double kHighestRelativeDb = 2600.0;
constexpr double kLowestRelativeMw = 1e-270;
// Once the average lies this far below the largest power summed since the window
// was last summed again, the rounding that power left in the compensated sum
// (about 1e-32 of it) may outweigh the average: the window is summed again.
constexpr double kCancellationDb = 150.0;

}  // namespace

void PowerAverage::SetCount(int count) {
    linear_.SetCount(count);
    Restart();
}

void PowerAverage::Restart() {
    linear_.Restart();
    next_ = 0;
    reference_dbm_ = 0.0;
    peak_dbm_ = -std::numeric_limits<double>::infinity();
}

PowerAverage::Mean PowerAverage::Add(double power_dbm, double power_mw) {
    if (linear_.Count() == 1) {
        linear_.Add(power_mw);
        return {power_dbm, power_mw};
    }
    dbm_[next_] = power_dbm;
    peak_dbm_ = std::max(peak_dbm_, power_dbm);
    if (++next_ == linear_.Count())
        next_ = 0;
    const double relative_db = power_dbm - reference_dbm_;
    double mean;
    if (relative_db > kHighestRelativeDb) {
        // The window's values slide by one first, so Resum() sees this power too.
        linear_.Add(0.0);
        Resum();
        mean = linear_.Mean();
    } else {
        mean = linear_.Add(reference_dbm_ == 0.0 ? power_mw : DbmToMilliwatt(relative_db));
        if (mean < kLowestRelativeMw) {
            Resum();
            mean = linear_.Mean();
        }
    }
    double dbm = reference_dbm_ + MilliwattToDbm(mean);
    if (peak_dbm_ - dbm > kCancellationDb) {
        Resum();
        mean = linear_.Mean();
        dbm = reference_dbm_ + MilliwattToDbm(mean);
    }
    return {dbm, reference_dbm_ == 0.0 ? mean : DbmToMilliwatt(dbm)};
}

void PowerAverage::Resum() {
    const int filled = linear_.Filled();
    const int count = linear_.Count();
    // The oldest power is at next_ once the window is full, else at 0.
    const int first = filled == count ? next_ : 0;
    double largest = dbm_[first];
    for (int i = 0; i < filled; ++i)
        largest = std::max(largest, dbm_[(first + i) % count]);
    reference_dbm_ = largest >= -kPlainRangeDb && largest <= kPlainRangeDb ? 0.0 : largest;
    peak_dbm_ = largest;
    linear_.Restart();
    for (int i = 0; i < filled; ++i)
        linear_.Add(DbmToMilliwatt(dbm_[(first + i) % count] - reference_dbm_));
}

}  // namespace velquor::measure
