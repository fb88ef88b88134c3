// Millions of readings against a straightforward reference: the running sums must
// not drift.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "measure/measure_pipeline.h"
#include "measure/moving_average.h"

namespace velquor::measure {
namespace {

constexpr int kReadings = 3'000'000;

// The meter's whole range in 0.1 dB steps, with long stretches at both ends so that
// large values enter and leave the window next to small ones.
double Reading(std::mt19937& rng, int i) {
    const int phase = (i / 5000) % 3;
    if (phase == 0)
        return static_cast<double>(static_cast<int>(rng() % 541) - 40) / 10.0;
    return phase == 1 ? 50.0 - static_cast<double>(rng() % 10) / 10.0
                      : -4.0 + static_cast<double>(rng() % 10) / 10.0;
}

TEST(LongRun, MovingAverageMatchesAFreshSumOfTheWindow) {
    constexpr int kCount = 1024;
    MovingAverage average(kCount);
    std::vector<double> history;
    history.reserve(kReadings);
    std::mt19937 rng(7);
    double worst = 0.0;
    for (int i = 0; i < kReadings; ++i) {
        const double mw = DbmToMilliwatt(Reading(rng, i));
        history.push_back(mw);
        const double mean = average.Add(mw);
        if (i % 99'991 == 0 || i == kReadings - 1) {
            long double exact = 0.0L;
            const int first = std::max(0, i + 1 - kCount);
            for (int j = first; j <= i; ++j)
                exact += history[static_cast<std::size_t>(j)];
            exact /= static_cast<long double>(i + 1 - first);
            worst = std::max(worst, static_cast<double>(std::fabs((mean - exact) / exact)));
        }
    }
    // A plain running sum is off by over 1e-7 here after the 50 dBm stretches.
    EXPECT_LT(worst, 1e-14);
}

TEST(LongRun, StatisticsMatchTwoPassReference) {
    MeasurePipeline p;
    std::vector<double> dbm;
    dbm.reserve(kReadings);
    std::mt19937 rng(11);
    for (int i = 0; i < kReadings; ++i) {
        dbm.push_back(Reading(rng, i));
        p.Process(dbm.back(), i * 4'694'836LL);  // 213 readings per second
    }
    long double sum_mw = 0.0L;
    long double sum_db = 0.0L;
    double min = dbm[0];
    double max = dbm[0];
    for (double v : dbm) {
        sum_mw += DbmToMilliwatt(v);
        sum_db += v;
        min = std::min(min, v);
        max = std::max(max, v);
    }
    const long double mean_db = sum_db / kReadings;
    long double squares = 0.0L;
    for (double v : dbm)
        squares += (v - mean_db) * (v - mean_db);
    const double stddev = static_cast<double>(std::sqrt(squares / (kReadings - 1)));
    const double mean_dbm = 10.0 * std::log10(static_cast<double>(sum_mw / kReadings));

    const StatisticsSnapshot s = p.Statistics();
    EXPECT_EQ(s.count, kReadings);
    EXPECT_EQ(s.min_dbm, min);
    EXPECT_EQ(s.max_dbm, max);
    EXPECT_NEAR(s.mean_dbm, mean_dbm, 1e-12);
    EXPECT_NEAR(s.stddev_db, stddev, stddev * 1e-10);
    EXPECT_NEAR(s.elapsed_s, (kReadings - 1) * 4'694'836e-9, 1e-6);
}

}  // namespace
}  // namespace velquor::measure
