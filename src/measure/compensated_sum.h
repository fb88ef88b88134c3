#pragma once

#include <cmath>

namespace velquor::measure {

// Neumaier's compensated sum: the rounding error of every addition is carried in a
// second term, so millions of additions (and the subtractions of a moving window)
// lose no more than a couple of units in the last place.
class CompensatedSum {
public:
    void Add(double x) {
        const double t = sum_ + x;
        if (std::fabs(sum_) >= std::fabs(x))
            compensation_ += (sum_ - t) + x;
        else
            compensation_ += (x - t) + sum_;
        sum_ = t;
    }
    double Value() const { return sum_ + compensation_; }
    void Clear() {
        sum_ = 0.0;
        compensation_ = 0.0;
    }

private:
    double sum_ = 0.0;
    double compensation_ = 0.0;
};

}  // namespace velquor::measure
