// The moving average in linear power against a long double reference, over every
// power a frame can carry: beside ordinary readings, corrupt frames from -3276.8 to
// +3276.7 dBm enter and leave windows of every size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "measure/power_average.h"
#include "measure/power_units.h"

namespace velquor::measure {
namespace {

// 10 log10 of the mean of 10^(p/10), taken relative to the largest p.
double Reference(const std::vector<double>& window) {
    const long double largest = *std::max_element(window.begin(), window.end());
    long double sum = 0.0L;
    for (double p : window)
        sum += std::pow(10.0L, (p - largest) / 10.0L);
    return static_cast<double>(largest + 10.0L * std::log10(sum / window.size()));
}

TEST(PowerAverage, ExactOverTheWholeRangeAsExtremesComeAndGo) {
    std::mt19937 rng(5);
    double worst = 0.0;
    for (int trial = 0; trial < 400; ++trial) {
        const int count = 2 + static_cast<int>(rng() % 40);
        PowerAverage average(count);
        std::vector<double> powers;
        for (int i = 0; i < 200; ++i) {
            double dbm;
            switch (rng() % 6) {
                case 0:  // anything a frame carries that milliwatts hold
                    dbm = -3276.8 + static_cast<double>(rng() % 63590) / 10.0;
                    break;
                case 1:  // huge, beyond the plain range of milliwatts and within it
                    dbm = 2000.0 + static_cast<double>(rng() % 10825) / 10.0;
                    break;
                default:  // a bench signal
                    dbm = -60.0 + static_cast<double>(rng() % 800) / 10.0;
            }
            const PowerAverage::Mean mean = average.Add(dbm, DbmToMilliwatt(dbm));
            powers.push_back(dbm);
            const std::vector<double> window(
                powers.end() - std::min<std::ptrdiff_t>(count, std::ssize(powers)), powers.end());
            ASSERT_TRUE(std::isfinite(mean.dbm)) << trial << " " << i;
            worst = std::max(worst, std::fabs(mean.dbm - Reference(window)));
        }
    }
    // Plain running sums were off by hundreds of dB, or NaN, after such powers.
    EXPECT_LT(worst, 1e-9);
}

}  // namespace
}  // namespace velquor::measure
