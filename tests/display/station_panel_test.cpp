#include "display/station_panel.h"
#include "display/station_trace.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velquor {
namespace {

TEST(StationTile, SaysWhatTheMeterIsDoing) {
    StationTileInput live;
    live.name = "OV227701";
    live.has_reading = true;
    live.shown_dbm = -3.0;
    live.temperature_c = 23.46;
    live.battery_raw = 664;
    live.settings.average_count = 16;
    live.settings.offset_db = 20;
    live.settings.limits.upper_dbm = -5.0;
    live.limit = measure::LimitState::FailUpper;
    StationTileInput lost = live;
    lost.link = TileLink::Waiting;
    lost.lost_s = 12.7;
    const struct {
        StationTileInput in;
        const char* power;
        const char* status;
        const char* limit;
    } cases[] = {
        {live, "-3.00 dBm", "connected", "HIGH"},
        {lost, "---", "reconnecting (lost 12 s)", ""},
    };
    for (const auto& c : cases) {
        const StationTileTexts t = MakeStationTileTexts(c.in);
        EXPECT_EQ(t.power, c.power);
        EXPECT_EQ(t.status, c.status);
        EXPECT_EQ(t.limit, c.limit);
        EXPECT_EQ(t.marks, "AVG 16  OFS");
    }
    const StationTileTexts t = MakeStationTileTexts(live);
    EXPECT_EQ(t.watts, "501 uW");
    EXPECT_EQ(t.temperature, "23.5 \u00b0C");
    EXPECT_EQ(t.battery, "100 %");
}

TEST(StationTile, GridReflowsAndNeverLeavesTheWidth) {
    // Four meters: three columns at 1024 px, one column on a narrow window.
    const auto wide = StationTileGrid(1024, 4, 300, 100, 8);
    ASSERT_EQ(wide.size(), 4u);
    EXPECT_EQ(wide[2].y, wide[0].y);
    EXPECT_GT(wide[3].y, wide[0].y);
    const auto narrow = StationTileGrid(250, 4, 300, 100, 8);
    for (const TileRect& r : narrow)
        EXPECT_EQ(r.x, 8);
    for (const auto* grid : {&wide, &narrow})
        for (const TileRect& r : *grid)
            EXPECT_LE(r.x + r.w, grid == &wide ? 1024 : 250);
    EXPECT_EQ(StationTileGridHeight(1024, 4, 300, 100, 8), 8 + 2 * 108);
}

TEST(StationTile, CombinedReadoutOfTwoMeters) {
    EXPECT_EQ(CombinedReadout(CombineKind::Difference, 10.0, 6.79), "+3.21 dB");
    EXPECT_EQ(CombinedReadout(CombineKind::Ratio, 13.0103, 10.0), "2");
    EXPECT_EQ(CombinedReadout(CombineKind::Ratio, -20.0, 30.0), "1.000e-05");
    EXPECT_EQ(CombinedReadout(CombineKind::Difference, std::nullopt, 1.0), "---");
    EXPECT_EQ(CombinedReadout(CombineKind::Ratio, 1.0, NAN), "---");
}

TEST(StationGraph, AxisPutsRoundValuesOnLabelledLines) {
    // A constant 12.0 dBm sits on a labelled line, not between 11.990 and 12.010.
    const AxisScale flat = NiceAxisScale(12.0, 12.0, 6);
    const double steps = (12.0 - flat.low) / flat.step;
    EXPECT_NEAR(steps, std::round(steps), 1e-9);
    EXPECT_LT(flat.low, 12.0);
    EXPECT_GT(flat.high, 12.0);
    const AxisScale wide = NiceAxisScale(-47.3, 3.1, 6);
    EXPECT_DOUBLE_EQ(wide.step, 10.0);
    EXPECT_DOUBLE_EQ(wide.low, -50.0);
    EXPECT_DOUBLE_EQ(wide.high, 10.0);
}

TEST(StationGraph, ASpikeShorterThanAPixelStillShows) {
    StationTrace trace(1, 60.0);
    for (int i = 0; i < 6000; ++i)
        trace.Add(0, i * 0.01, i == 3001 ? 0.0 : -40.0);
    const auto columns = TraceColumns(trace.Series(0), 0.0, 60.0, 100);
    double highest = -1e9;
    for (const TraceColumn& c : columns)
        highest = std::max(highest, c.any ? c.max : -1e9);
    EXPECT_EQ(highest, 0.0);
    // A loss breaks the line; slow readings (empty columns between them) do not.
    trace.Add(0, 60.0, NAN);
    const auto last = TraceColumns(trace.Series(0), 0.0, 60.0, 100);
    EXPECT_TRUE(last.back().gap);
    EXPECT_FALSE(last.front().gap);
    // The span lets older points go.
    trace.Add(0, 200.0, -40.0);
    EXPECT_EQ(trace.Series(0).size(), 1u);
}

}  // namespace
}  // namespace velquor
