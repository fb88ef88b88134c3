#pragma once

#include <array>

#include "measure/moving_average.h"

namespace velquor::measure {

// The moving average of the last N powers (N = 1 to 1024) in linear power, finite
// and exact over every power a frame can carry (-3276.8 to +3276.7 dBm, more than a
// double holds as milliwatts). Within +-kPlainRangeDb the window sums plain
// milliwatts; when its powers leave that range it is summed again relative to its
// largest power, and so it is when the largest power summed has left a window
// more than 150 dB below it. Each costs one pass over the window and happens
// only with such powers.
class PowerAverage {
public:
    static constexpr double kPlainRangeDb = 2400.0;

    explicit PowerAverage(int count = kMinAverageCount) { SetCount(count); }

    // Restarts the average; a count outside 1..1024 is clamped.
    void SetCount(int count);
    int Count() const { return linear_.Count(); }
    void Restart();

    struct Mean {
        double dbm;
        double mw;  // 0 for a mean below about -3233 dBm
    };
    // Adds a power in dBm with its (finite) milliwatt value and returns the average
    // of the powers now in the window.
    Mean Add(double power_dbm, double power_mw);
    int Filled() const { return linear_.Filled(); }
    bool Full() const { return linear_.Full(); }

private:
    // Sums the window again, relative to a reference chosen for its largest power.
    void Resum();

    MovingAverage linear_;  // of the powers relative to reference_dbm_
    std::array<double, kMaxAverageCount> dbm_{};
    int next_ = 0;
    double reference_dbm_ = 0.0;
    double peak_dbm_ = 0.0;  // the largest power summed since the last Resum()
};

}  // namespace velquor::measure
