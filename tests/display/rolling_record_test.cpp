#include "display/rolling_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace velquor {
namespace {

constexpr std::int64_t kStart = 1765198800000;  // 2025-12-08T13:00:00Z
constexpr std::int64_t kHourMs = 3600 * 1000;

// The columns worked out from every reading, for comparison with the summaries.
std::vector<TraceColumn> BruteColumns(const std::vector<std::pair<std::int64_t, double>>& readings,
                                      std::int64_t t0, std::int64_t t1, int columns) {
    std::vector<TraceColumn> out(static_cast<std::size_t>(columns));
    for (const auto& [t, dbm] : readings) {
        if (t < t0 || t >= t1)
            continue;
        TraceColumn& c = out[static_cast<std::size_t>((t - t0) * columns / (t1 - t0))];
        const double v = std::round(dbm * 10.0) / 10.0;
        c.min = c.any ? std::min(c.min, v) : v;
        c.max = c.any ? std::max(c.max, v) : v;
        c.any = true;
    }
    return out;
}

TEST(RollingRecord, SummariesGiveTheSameEnvelopeAsEveryReading) {
    RollingRecord record(2 * kHourMs);
    std::vector<std::pair<std::int64_t, double>> readings;
    std::int64_t t = kStart;
    for (int i = 0; i < 300000; ++i) {
        // Uneven steps (4 or 5 ms), a slow wave, and one short spike.
        t += 4 + i % 2;
        const double dbm = i == 123457 ? 30.0 : 10.0 + 3.0 * std::sin(i / 5000.0);
        record.Add(t, dbm);
        readings.emplace_back(t, dbm);
    }
    const std::int64_t end = t + 1;
    const struct {
        std::int64_t t0, t1;
        int columns;
    } ranges[] = {
        {kStart, end, 450},                       // the whole record: summaries
        {kStart + 600000, kStart + 700000, 450},  // zoomed in: readings one by one
        {kStart + 333333, kStart + 999999, 7},
        {kStart - kHourMs, kStart, 10},  // before the record: nothing
    };
    for (const auto& r : ranges) {
        const auto got = record.Columns(r.t0, r.t1, r.columns);
        const auto want = BruteColumns(readings, r.t0, r.t1, r.columns);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].any, want[i].any) << r.t0 << " column " << i;
            EXPECT_DOUBLE_EQ(got[i].min, want[i].min) << r.t0 << " column " << i;
            EXPECT_DOUBLE_EQ(got[i].max, want[i].max) << r.t0 << " column " << i;
        }
    }
    // The spike, shorter than a column, is in the envelope.
    double top = 0.0;
    for (const TraceColumn& c : record.Columns(kStart, end, 450))
        top = std::max(top, c.max);
    EXPECT_DOUBLE_EQ(top, 30.0);
}

TEST(RollingRecord, AGapStaysEmptyAndOldReadingsGo) {
    RollingRecord record(kHourMs);
    record.Add(kStart, 1.04);
    record.Add(kStart + 1000, -1.06);
    record.Add(kStart + 200000, 2.0);  // 199 s later: a new chunk, an empty stretch
    record.Add(kStart + 100, 5.0);     // the clock went back: taken as the newest time
    EXPECT_EQ(record.Size(), 4u);
    const auto cols = record.Columns(kStart, kStart + 200001, 4);
    EXPECT_TRUE(cols[0].any);
    EXPECT_DOUBLE_EQ(cols[0].min, -1.1);
    EXPECT_DOUBLE_EQ(cols[0].max, 1.0);
    EXPECT_FALSE(cols[1].any);
    EXPECT_FALSE(cols[2].any);
    EXPECT_DOUBLE_EQ(cols[3].max, 5.0);
    record.Add(kStart + 200000, NAN);  // not stored
    EXPECT_EQ(record.Size(), 4u);

    record.Add(kStart + 2 * kHourMs, 3.0);  // the first two chunks are older than an hour
    EXPECT_EQ(record.Size(), 1u);
    EXPECT_FALSE(record.Columns(kStart, kStart + kHourMs, 2)[0].any);
}

TEST(RollingRecord, ADayAt213ReadingsASecondStaysUnder120MB) {
    RollingRecord record(kRollingMaxHours * kHourMs);
    // 213 a second: steps of 4 and 5 ms as the meter's frames come.
    std::int64_t t = kStart;
    const std::int64_t readings = 213LL * 3600 * (kRollingMaxHours + 1);
    for (std::int64_t i = 0; i < readings; ++i) {
        t += (i % 213) < 148 ? 5 : 4;
        record.Add(t, -20.0 + (i % 97) / 10.0);
    }
    EXPECT_GE(record.Size(), 213u * 3600 * kRollingMaxHours);
    EXPECT_LT(record.Bytes(), 120u * 1000 * 1000);
    std::printf("rolling record: %zu readings, %.1f MB, %.2f MB per meter-hour\n", record.Size(),
                record.Bytes() / 1e6, record.Bytes() / 1e6 * 3600 * 213 / record.Size());
}

}  // namespace
}  // namespace velquor
