#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "measure/measure_pipeline.h"
#include "measure/statistics_text.h"

namespace velquor::measure {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

MeasurePipeline WithSettings(const MeasureSettings& settings) {
    MeasurePipeline p;
    std::string error;
    EXPECT_TRUE(p.Apply(settings, error)) << error;
    return p;
}

TEST(MeasurePipeline, AveragesLinearPowerNotDecibels) {
    MeasureSettings s;
    s.average_count = 3;
    MeasurePipeline p = WithSettings(s);
    p.Process(10.0, 0);
    p.Process(20.0, 0);
    p.Process(30.0, 0);
    // (10 + 100 + 1000) / 3 mW = 370 mW, not the 20 dBm of a decibel average.
    EXPECT_NEAR(p.Last().average_dbm, 10.0 * std::log10(370.0), 1e-12);
    EXPECT_TRUE(p.Last().settled);
    p.Process(30.0, 0);  // the 10 dBm reading leaves the window
    EXPECT_NEAR(p.Last().average_dbm, 10.0 * std::log10(700.0), 1e-12);
    EXPECT_EQ(p.Last().averaged, 3);
}

TEST(MeasurePipeline, StatisticsSinceReset) {
    MeasurePipeline p;
    p.Process(0.0, 5 * kSecond);
    p.Process(10.0, 7 * kSecond);
    p.Process(-3.0, 8 * kSecond + kSecond / 2);
    StatisticsSnapshot s = p.Statistics();
    EXPECT_EQ(s.count, 3);
    EXPECT_DOUBLE_EQ(s.min_dbm, -3.0);
    EXPECT_DOUBLE_EQ(s.max_dbm, 10.0);
    const double mean_mw = (1.0 + 10.0 + std::pow(10.0, -0.3)) / 3.0;
    EXPECT_NEAR(s.mean_dbm, 10.0 * std::log10(mean_mw), 1e-12);
    // dB values 0, 10, -3: mean 7/3, sample variance ((7/3)^2 + (23/3)^2 + (16/3)^2) / 2.
    EXPECT_NEAR(s.stddev_db, std::sqrt((49.0 + 529.0 + 256.0) / 9.0 / 2.0), 1e-12);
    EXPECT_DOUBLE_EQ(s.elapsed_s, 3.5);
    const auto lines = DescribeStatistics(s, p.Failures(), false);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[1].label + " " + lines[1].value, "Min -3.00 dBm");
    EXPECT_EQ(lines[4].label + " " + lines[4].value, "Std dev 6.81 dB");
    EXPECT_EQ(lines[5].label + " " + lines[5].value, "Elapsed 0:00:03");
    EXPECT_EQ(lines[6].label + " " + lines[6].value, "Failures -");
    EXPECT_EQ(lines[7].label + " " + lines[7].value, "Invalid 0");
    EXPECT_EQ(FormatElapsed(45296.9), "12:34:56");

    p.ResetStatistics();
    EXPECT_EQ(p.Statistics().count, 0);
    p.Process(4.0, 20 * kSecond);
    s = p.Statistics();
    EXPECT_EQ(s.count, 1);
    EXPECT_DOUBLE_EQ(s.min_dbm, 4.0);
    EXPECT_DOUBLE_EQ(s.max_dbm, 4.0);
    EXPECT_DOUBLE_EQ(s.stddev_db, 0.0);
    EXPECT_DOUBLE_EQ(s.elapsed_s, 0.0);
}

TEST(MeasurePipeline, LimitsPassOnEqualityAndCountFailures) {
    MeasureSettings s;
    s.limits = {10.0, 0.0};
    MeasurePipeline p = WithSettings(s);
    const struct {
        double dbm;
        LimitState state;
    } cases[] = {
        {10.0, LimitState::Pass}, {10.05, LimitState::FailUpper},
        {0.0, LimitState::Pass},  {-0.05, LimitState::FailLower},
        {5.0, LimitState::Pass},  {45.0, LimitState::FailUpper},
    };
    for (const auto& c : cases) {
        p.Process(c.dbm, 0);
        EXPECT_EQ(p.Last().limit, c.state) << c.dbm;
    }
    EXPECT_EQ(p.Failures().upper, 2);
    EXPECT_EQ(p.Failures().lower, 1);
    EXPECT_EQ(DescribeFailure(LimitState::FailUpper, s.limits),
              "above the upper limit of 10.00 dBm");

    std::string error;
    ASSERT_TRUE(p.SetLimits({std::nullopt, 0.0}, error));  // upper off
    p.Process(45.0, 0);
    EXPECT_EQ(p.Last().limit, LimitState::Pass);
    ASSERT_TRUE(p.SetLimits({}, error));
    p.Process(-50.0, 0);
    EXPECT_EQ(p.Last().limit, LimitState::Off);
    EXPECT_STREQ(LimitWord(LimitState::Off), "");
}

TEST(MeasurePipeline, OffsetFirstThenRelativeToTakenOrTypedReference) {
    MeasureSettings s;
    s.offset_db = 30.0;  // a 30 dB attenuator ahead of the sensor
    s.limits.upper_dbm = 45.0;
    MeasurePipeline p = WithSettings(s);
    std::string error;
    EXPECT_FALSE(p.TakeReference(error));
    EXPECT_EQ(error, "There is no reading yet to take as the reference");
    EXPECT_FALSE(p.Settings().relative);

    p.Process(16.0, 0);
    EXPECT_DOUBLE_EQ(p.Last().power_dbm, 46.0);
    EXPECT_EQ(p.Last().limit, LimitState::FailUpper);  // limits judge the corrected power
    EXPECT_EQ(p.OutputText(), "46.00 dBm");

    ASSERT_TRUE(p.TakeReference(error)) << error;
    EXPECT_TRUE(p.Settings().relative);
    EXPECT_DOUBLE_EQ(p.Settings().reference_dbm, 46.0);
    EXPECT_EQ(p.OutputText(), "+0.00 dB");
    p.Process(13.0, 0);
    EXPECT_DOUBLE_EQ(p.OutputValue(), -3.0);
    EXPECT_STREQ(p.OutputUnit(), "dB");

    ASSERT_TRUE(p.SetReference(40.0, error));
    EXPECT_EQ(p.OutputText(), "+3.00 dB");
    p.SetRelative(false);
    p.SetUnit(PowerUnit::Watt);
    EXPECT_NEAR(p.OutputValue(), std::pow(10.0, 4.3) / 1000.0, 1e-12);  // 43 dBm, plain W
    EXPECT_EQ(p.OutputText(), "20.0 W");
}

TEST(MeasurePipeline, MaxHoldShowsTheHighestAverageSinceItWasTurnedOn) {
    MeasurePipeline p;
    p.Process(30.0, 0);
    p.SetMaxHold(true);
    p.Process(10.0, 0);
    p.Process(20.0, 0);
    p.Process(15.0, 0);
    EXPECT_DOUBLE_EQ(p.Last().shown_dbm, 20.0);
    EXPECT_DOUBLE_EQ(p.Last().average_dbm, 15.0);
    p.ResetStatistics();
    p.Process(12.0, 0);
    EXPECT_DOUBLE_EQ(p.Last().shown_dbm, 12.0);
    p.SetMaxHold(false);
    EXPECT_DOUBLE_EQ(p.Last().shown_dbm, 12.0);
    // A new offset moves every power: a maximum held before it would never be beaten.
    p.SetMaxHold(true);
    p.Process(12.0, 0);
    std::string error;
    ASSERT_TRUE(p.SetOffset(-30.0, error)) << error;
    p.Process(11.0, 0);
    EXPECT_DOUBLE_EQ(p.Last().shown_dbm, -19.0);
}

TEST(MeasurePipeline, ChangingTheCountOrOffsetRestartsTheAverage) {
    MeasureSettings s;
    s.average_count = 4;
    MeasurePipeline p = WithSettings(s);
    p.Process(0.0, 0);
    p.Process(10.0, 0);
    std::string error;
    ASSERT_TRUE(p.SetAverageCount(2, error));
    EXPECT_FALSE(p.HasReading());
    p.Process(20.0, 0);
    EXPECT_EQ(p.Last().averaged, 1);
    EXPECT_DOUBLE_EQ(p.Last().average_dbm, 20.0);
    p.Process(20.0, 0);
    ASSERT_TRUE(p.SetOffset(-10.0, error));
    p.Process(20.0, 0);
    EXPECT_EQ(p.Last().averaged, 1);
    EXPECT_DOUBLE_EQ(p.Last().average_dbm, 10.0);
    // Settings that do not touch the average leave it running.
    ASSERT_TRUE(p.SetReference(0.0, error));
    p.Process(20.0, 0);
    EXPECT_EQ(p.Last().averaged, 2);
}

TEST(MeasurePipeline, BadSettingsAreRefusedAndChangeNothing) {
    MeasureSettings good;
    good.average_count = 8;
    good.offset_db = 20.0;
    good.limits = {30.0, 10.0};
    struct Case {
        const char* name;
        void (*change)(MeasureSettings&);
        const char* error;
    };
    const Case bad[] = {
        {"N=0", [](MeasureSettings& s) { s.average_count = 0; },
         "Averaging count must be a whole number from 1 to 1024"},
        {"N=1025", [](MeasureSettings& s) { s.average_count = 1025; },
         "Averaging count must be a whole number from 1 to 1024"},
        {"offset 100.01", [](MeasureSettings& s) { s.offset_db = 100.01; },
         "Offset must be a number from -100 to 100 dB"},
        {"offset -inf", [](MeasureSettings& s) { s.offset_db = -inf; },
         "Offset must be a number from -100 to 100 dB"},
        {"NaN reference", [](MeasureSettings& s) { s.reference_dbm = nan; },
         "Reference must be a number from -200 to 200 dBm"},
        {"upper < lower",
         [](MeasureSettings& s) {
             s.limits = {9.99, 10.0};
         },
         "Upper limit (9.99 dBm) is below the lower limit (10.00 dBm)"},
        {"NaN lower", [](MeasureSettings& s) { s.limits.lower_dbm = nan; },
         "Lower limit must be a number from -200 to 200 dBm"},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.name);
        MeasurePipeline p = WithSettings(good);
        p.Process(15.0, 0);
        MeasureSettings s = good;
        c.change(s);
        std::string error;
        EXPECT_FALSE(p.Apply(s, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(p.Settings(), good);
        EXPECT_TRUE(p.HasReading());  // the average was not restarted
    }

    MeasurePipeline p;
    std::string error;
    EXPECT_FALSE(p.SetAverageCount(1LL << 40, error));
    EXPECT_EQ(p.Settings().average_count, 1);
    EXPECT_FALSE(p.Process(nan, 0));
    EXPECT_FALSE(p.HasReading());

    // The edges themselves are accepted.
    for (long long n : {1LL, 1024LL})
        EXPECT_TRUE(p.SetAverageCount(n, error)) << n;
    for (double db : {-100.0, 100.0})
        EXPECT_TRUE(p.SetOffset(db, error)) << db;
    EXPECT_TRUE(p.SetLimits({10.0, 10.0}, error));
}

// A frame carries -3276.8 to +3276.7 dBm and no checksum. Only a power whose
// milliwatts overflow a double is impossible to use; everything else is a reading,
// and nothing a frame carries may turn the statistics into NaN or infinity.
TEST(MeasurePipeline, OnlyPowersBeyondADoubleInMilliwattAreInvalid) {
    const struct {
        double input_dbm;
        double offset_db;
        bool valid;
    } cases[] = {
        {3082.5, 0.0, true},     {3082.6, 0.0, false},    {3276.7, 0.0, false},
        {-3276.8, 0.0, true},    {2982.5, 100.0, true},   {2982.6, 100.0, false},
        {3276.7, -100.0, false}, {-3276.8, -100.0, true}, {-3276.8, 100.0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.input_dbm) + " dBm, offset " + std::to_string(c.offset_db));
        for (int average : {1, 16}) {
            SCOPED_TRACE("average " + std::to_string(average));
            MeasureSettings settings;
            settings.average_count = average;
            settings.offset_db = c.offset_db;
            settings.max_hold = true;
            settings.limits = {10.0 + c.offset_db, -10.0 + c.offset_db};
            MeasurePipeline p = WithSettings(settings);
            for (int i = 0; i < 20; ++i)
                ASSERT_TRUE(p.Process(-40.0, i * kSecond));
            const MeasureResult before = p.Last();
            const LimitCounts failures_before = p.Failures();
            EXPECT_EQ(p.Process(c.input_dbm, 20 * kSecond), c.valid);
            EXPECT_EQ(p.LatestTaken(), c.valid);
            EXPECT_FALSE(p.Process(nan, 21 * kSecond));  // a frame without a power
            EXPECT_FALSE(p.LatestTaken());
            const StatisticsSnapshot s = p.Statistics();
            EXPECT_EQ(s.count, c.valid ? 21 : 20);
            EXPECT_EQ(s.invalid, c.valid ? 0 : 1);
            for (double v : {s.min_dbm, s.max_dbm, s.mean_dbm, s.stddev_db, p.Last().average_dbm,
                             p.Last().shown_dbm})
                EXPECT_TRUE(std::isfinite(v)) << v;
            EXPECT_GE(s.mean_dbm, s.min_dbm);
            EXPECT_LE(s.mean_dbm, s.max_dbm);
            EXPECT_EQ(DescribeStatistics(s, p.Failures(), true).back().value, c.valid ? "0" : "1");
            if (c.valid) {
                EXPECT_GT(s.stddev_db, 0.0);
            } else {
                EXPECT_EQ(s.stddev_db, 0.0);
                // Left out of the average, max hold and the limits alike.
                EXPECT_EQ(p.Last().average_dbm, before.average_dbm);
                EXPECT_EQ(p.Last().shown_dbm, before.shown_dbm);
                EXPECT_EQ(p.Failures().Total(), failures_before.Total());
                EXPECT_EQ(s.mean_dbm, -40.0 + c.offset_db);
            }
        }
    }
}

// The linear mean and average are exact at both ends of what a frame carries,
// where plain milliwatts overflow (sums near 3082 dBm) or are 0 (below -3233 dBm).
TEST(MeasurePipeline, LinearMeansAreExactAtTheEndsOfTheRange) {
    const double kTwoDb = 10.0 * std::log10(2.0);
    const struct {
        std::vector<double> dbm;
        double mean_dbm;
    } cases[] = {
        {{3082.5, 3082.5, 3082.5}, 3082.5},
        {{-3276.8, -3276.8}, -3276.8},
        {{-3276.8, -3276.8 + 3 * kTwoDb}, -3276.8 + 10.0 * std::log10(4.5)},
        {{3082.5, -3276.8}, 3082.5 - kTwoDb},
        {{-3276.8, 3082.5, 0.0}, 3082.5 - 10.0 * std::log10(3.0)},
        {{-3276.8, 0.0, 0.0}, 10.0 * std::log10(2.0 / 3.0)},
        {{2500.0, 2500.0}, 2500.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dbm.front());
        MeasurePipeline plain;
        MeasureSettings settings;
        settings.average_count = static_cast<int>(c.dbm.size());
        MeasurePipeline averaged = WithSettings(settings);
        for (double v : c.dbm) {
            ASSERT_TRUE(plain.Process(v, 0)) << v;
            ASSERT_TRUE(averaged.Process(v, 0)) << v;
        }
        EXPECT_NEAR(plain.Statistics().mean_dbm, c.mean_dbm, 1e-9);
        EXPECT_NEAR(averaged.Last().average_dbm, c.mean_dbm, 1e-9);
    }

    // A window that slides from one end of the range to the other and back.
    MeasureSettings settings;
    settings.average_count = 2;
    MeasurePipeline p = WithSettings(settings);
    const struct {
        double dbm;
        double average_dbm;
    } steps[] = {
        {-3276.8, -3276.8},
        {-3276.8, -3276.8},
        {0.0, -kTwoDb},
        {3082.5, 3082.5 - kTwoDb},
        {-3000.0, 3082.5 - kTwoDb},
        {-3000.0, -3000.0},
        {-20.0, -20.0 - kTwoDb},
        {-20.0, -20.0},
    };
    for (const auto& step : steps) {
        ASSERT_TRUE(p.Process(step.dbm, 0));
        EXPECT_NEAR(p.Last().average_dbm, step.average_dbm, 1e-9) << step.dbm;
    }
}

// Readings taken under another offset are on another scale: a new offset starts
// the statistics, the failure counts and max hold together.
TEST(MeasurePipeline, ANewOffsetRestartsStatisticsFailuresAndMaxHold) {
    MeasureSettings settings;
    settings.max_hold = true;
    settings.limits.lower_dbm = -30.0;
    MeasurePipeline p = WithSettings(settings);
    for (int i = 0; i < 10; ++i)
        p.Process(-40.0, i * kSecond);
    ASSERT_EQ(p.Failures().lower, 10);
    std::string error;
    ASSERT_TRUE(p.SetOffset(30.0, error)) << error;
    EXPECT_EQ(p.Statistics().count, 0);
    EXPECT_EQ(p.Failures().Total(), 0);
    for (int i = 10; i < 20; ++i)
        p.Process(-40.0, i * kSecond);
    const StatisticsSnapshot s = p.Statistics();
    EXPECT_EQ(s.count, 10);
    EXPECT_DOUBLE_EQ(s.min_dbm, -10.0);
    EXPECT_DOUBLE_EQ(s.max_dbm, -10.0);
    EXPECT_NEAR(s.mean_dbm, -10.0, 1e-12);
    EXPECT_DOUBLE_EQ(s.elapsed_s, 9.0);
    EXPECT_EQ(p.Failures().Total(), 0);
    EXPECT_DOUBLE_EQ(p.Last().shown_dbm, -10.0);

    // Settings that keep the scale keep the statistics.
    ASSERT_TRUE(p.SetAverageCount(4, error));
    ASSERT_TRUE(p.SetReference(-10.0, error));
    ASSERT_TRUE(p.SetOffset(30.0, error));
    EXPECT_EQ(p.Statistics().count, 10);
}

}  // namespace
}  // namespace velquor::measure
