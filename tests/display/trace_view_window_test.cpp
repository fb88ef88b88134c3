#include "display/trace_view_window.h"

#include <gtest/gtest.h>

#include <vector>

#include "display/rolling_record.h"

namespace velquor {
namespace {

const TraceViewWindow kFull{0.0, 450.0, 0.0, 20.0};  // one sample per plot pixel
const TraceDataExtent kData{0.0, 450.0, 2.0};

TEST(TraceViewWindow, RectangleZoomsWheelAndPanStayInsideTheData) {
    struct Case {
        const char* what;
        std::optional<TraceViewWindow> got;
        std::optional<TraceViewWindow> want;
    };
    const Case cases[] = {
        // x 100..200 is t 50..150; y 105..5 is 10..20 dBm (the drag's direction does not matter).
        {"rectangle", ZoomTraceToRect(kFull, 200, 5, 100, 105, kData),
         TraceViewWindow{50.0, 150.0, 10.0, 20.0}},
        {"a click is no zoom", ZoomTraceToRect(kFull, 100, 50, 102, 90, kData), std::nullopt},
        {"flat drag keeps the power range", ZoomTraceToRect(kFull, 100, 50, 200, 51, kData),
         TraceViewWindow{50.0, 150.0, 0.0, 20.0}},
        {"drag beyond the plot stops at its edge", ZoomTraceToRect(kFull, 0, 50, 95, 51, kData),
         TraceViewWindow{0.0, 45.0, 0.0, 20.0}},
        {"no data: no zoom", ZoomTraceToRect(kFull, 100, 5, 200, 105, TraceDataExtent{0, 0, 2}),
         std::nullopt},
        {"narrower than two samples keeps its middle",
         ZoomTraceToRect(TraceViewWindow{0, 4, 0, 20}, 100, 5, 150, 105, kData),
         TraceViewWindow{0.0, 2.0, 10.0, 20.0}},
        // Pointer at t 100: one step in narrows 450 to 360, t 100 stays under the pointer.
        {"wheel in", ZoomTraceWheel(kFull, 150, 1, kData), TraceViewWindow{20.0, 380.0, 0.0, 20.0}},
        {"wheel out never past the data", ZoomTraceWheel(TraceViewWindow{20, 380, 0, 20}, 150, -3, kData),
         kFull},
        {"pan stops at the newest sample", PanTraceView(TraceViewWindow{300, 400, 0, 20}, 120, kData),
         TraceViewWindow{350.0, 450.0, 0.0, 20.0}},
        {"pan stops at the first sample", PanTraceView(TraceViewWindow{30, 130, 0, 20}, -50, kData),
         TraceViewWindow{0.0, 100.0, 0.0, 20.0}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.got.has_value(), c.want.has_value()) << c.what;
        if (!c.want)
            continue;
        EXPECT_NEAR(c.got->t0, c.want->t0, 1e-9) << c.what;
        EXPECT_NEAR(c.got->t1, c.want->t1, 1e-9) << c.what;
        EXPECT_NEAR(c.got->p0, c.want->p0, 1e-9) << c.what;
        EXPECT_NEAR(c.got->p1, c.want->p1, 1e-9) << c.what;
    }
}

TEST(TraceViewWindow, CursorLookupsClampAndSummarise) {
    const std::vector<double> t{0, 1, 2, 3, 4};
    const std::vector<double> v{-10, -12, -8, -9, -11};
    struct Case {
        double at;
        double wantT;
        double wantDbm;
    };
    for (const Case& c : {Case{-5, 0, -10}, Case{1.4, 1, -12}, Case{1.6, 2, -8}, Case{99, 4, -11}}) {
        const auto s = TraceValueAt(t, v, c.at);
        ASSERT_TRUE(s) << c.at;
        EXPECT_EQ(s->t, c.wantT) << c.at;
        EXPECT_EQ(s->dbm, c.wantDbm) << c.at;
    }
    EXPECT_FALSE(TraceValueAt({}, {}, 1.0));

    const TraceSpanStats mid = TraceStatsBetween(t, v, 3.0, 1.0);  // cursors either way round
    EXPECT_EQ(mid.count, 3);
    EXPECT_EQ(mid.min, -12);
    EXPECT_EQ(mid.max, -8);
    EXPECT_NEAR(mid.mean, -29.0 / 3, 1e-12);
    EXPECT_EQ(TraceStatsBetween(t, v, 1.2, 1.8).count, 0);

    EXPECT_EQ(TraceCursorReadout(std::nullopt, std::nullopt, {}, false), "Cursors: no data");
    EXPECT_EQ(TraceCursorReadout(TraceSampleAt{1, -12}, TraceSampleAt{3, -9}, mid, false),
              "A 1 s -12.00 dBm  B 3 s -9.00 dBm  dt 2.000 s  dB +3.00  min -12.00 max -8.00 "
              "mean -9.67");
}

TEST(TraceViewWindow, RollingRecordLookupsMatchEveryReading) {
    constexpr std::int64_t kStart = 1765198800000;
    RollingRecord record(24LL * 3600 * 1000);
    std::vector<double> times, values;
    // Readings every 5 ms over several blocks, a sawtooth in tenths of a dB.
    for (int i = 0; i < 3000; ++i) {
        const double dbm = -20.0 + (i % 37) / 10.0;
        record.Add(kStart + 5 * i, dbm);
        times.push_back(double(kStart + 5 * i));
        values.push_back(dbm);
    }
    for (const auto& [a, b] : {std::pair{kStart + 3, kStart + 14000}, std::pair{kStart + 1283, kStart + 9001},
                               std::pair{kStart - 500, kStart + 99999}}) {
        const TraceSpanStats want = TraceStatsBetween(times, values, double(a), double(b));
        const TraceSpanStats got = record.StatsBetween(a, b);
        EXPECT_EQ(got.count, want.count) << a - kStart;
        EXPECT_NEAR(got.min, want.min, 1e-9);
        EXPECT_NEAR(got.max, want.max, 1e-9);
        EXPECT_NEAR(got.mean, want.mean, 1e-9);
        const auto gotAt = record.ValueAt(a);
        const auto wantAt = TraceValueAt(times, values, double(a));
        ASSERT_TRUE(gotAt && wantAt);
        EXPECT_EQ(gotAt->t, wantAt->t);
        EXPECT_NEAR(gotAt->dbm, wantAt->dbm, 1e-9);
    }
    EXPECT_FALSE(RollingRecord(1000).ValueAt(kStart));
}

TEST(TraceViewWindow, ZoomedTraceStaysInsideThePlot) {
    const std::vector<double> samples{0, 10, 20, 30, 40};
    // Samples 1.5..2.5 on 10..30 dBm: the line runs from edge to edge through sample 2.
    const TraceGraphModel m = ComputeZoomedTraceGraph(samples, 5, {}, TraceViewWindow{1.5, 2.5, 10, 30},
                                                      TraceGraphOptions{}, {}, {});
    ASSERT_EQ(m.trace.size(), 3u);
    EXPECT_EQ(m.trace.front(), (TracePoint{kTracePlotLeft, 155}));  // 15 dBm at the left edge
    EXPECT_EQ(m.trace[1], (TracePoint{275, 105}));
    EXPECT_EQ(m.trace.back(), (TracePoint{kTracePlotRight, 55}));
    EXPECT_FALSE(m.newestMarker);
    EXPECT_EQ(m.xLabels.front().text, "1.5");
}

}  // namespace
}  // namespace velquor
