#include "measure/moving_average.h"

#include <algorithm>

namespace velquor::measure {

MovingAverage::MovingAverage(int count) {
    SetCount(count);
}

void MovingAverage::SetCount(int count) {
    count_ = std::clamp(count, kMinAverageCount, kMaxAverageCount);
    Restart();
}

void MovingAverage::Restart() {
    sum_.Clear();
    filled_ = 0;
    next_ = 0;
}

double MovingAverage::Add(double value) {
    if (count_ == 1) {
        values_[0] = value;
        filled_ = 1;
        return value;
    }
    if (filled_ == count_)
        sum_.Add(-values_[next_]);
    else
        ++filled_;
    values_[next_] = value;
    sum_.Add(value);
    if (++next_ == count_) {
        next_ = 0;
        Resum();
    }
    return Mean();
}

double MovingAverage::Mean() const {
    if (filled_ == 0)
        return 0.0;
    if (count_ == 1)
        return values_[0];
    return sum_.Value() / filled_;
}

void MovingAverage::Resum() {
    sum_.Clear();
    for (int i = 0; i < filled_; ++i)
        sum_.Add(values_[i]);
}

}  // namespace velquor::measure
