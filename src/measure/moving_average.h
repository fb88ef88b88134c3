#pragma once

#include <array>

#include "measure/compensated_sum.h"

namespace velquor::measure {

inline constexpr int kMinAverageCount = 1;
inline constexpr int kMaxAverageCount = 1024;

// The mean of the last N values (N = 1 to 1024) in constant memory and constant
// time per value. The running sum is compensated and, each time the window has
// moved by N values, summed again from the buffer, so it never drifts however many
// values pass through it.
class MovingAverage {
public:
    // A count outside 1..1024 is clamped; callers check it first (ValidateSettings).
    explicit MovingAverage(int count = kMinAverageCount);

    // Restarts the average.
    void SetCount(int count);
    int Count() const { return count_; }
    void Restart();

    // Adds a value and returns the mean of the values now in the window.
    double Add(double value);
    // Values in the window, 0 to Count().
    int Filled() const { return filled_; }
    bool Full() const { return filled_ == count_; }
    double Mean() const;

private:
    void Resum();

    std::array<double, kMaxAverageCount> values_{};
    CompensatedSum sum_;
    int count_ = kMinAverageCount;
    int filled_ = 0;
    int next_ = 0;
};

}  // namespace velquor::measure
