#include "display/trace_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "display/station_trace.h"
#include "display/trace_graph.h"

namespace velquor {
namespace {

TEST(TraceScale, NiceStepIsTheSmallestOf1_2_2point5_5ThatCoversTheSpan) {
    const struct {
        double span;
        double step;
    } cases[] = {{0.2, 0.02}, {1.0, 0.1}, {2.2, 0.25}, {4.0, 0.5}, {7.0, 1.0},
                 {13.0, 2.0}, {0.013, 0.002}, {260.0, 50.0}, {0.0, 1.0}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(NiceTraceStep(c.span, 10), c.step) << c.span;
}

TEST(TraceScale, NiceScaleHoldsTheDataOnRoundSteps) {
    const struct {
        double lo, hi, bottom, top;
    } cases[] = {
        {12.0, 12.0, 11.9, 12.1},      // flat: 0.02 steps, 12.00 the middle line
        {11.992, 12.004, 11.9, 12.1},  // nearly flat
        {10.03, 10.97, 10.0, 11.0},
        {-51.1, -48.9, -51.25, -48.75},  // 0.25 steps
        {0.4, 9.6, 0.0, 10.0},
        {9.9, 20.1, 6.0, 26.0},  // 10.2 needs 2 dB steps, the spare ones shared out
    };
    for (const auto& c : cases) {
        const TraceScale s = NiceTraceScale(c.lo, c.hi);
        EXPECT_NEAR(s.bottom, c.bottom, 1e-9) << c.lo << ".." << c.hi;
        EXPECT_NEAR(s.top, c.top, 1e-9) << c.lo << ".." << c.hi;
        EXPECT_NEAR(s.divisor, s.top - s.bottom, 1e-12);
        EXPECT_LE(s.bottom, c.lo);
        EXPECT_GE(s.top, c.hi);
    }
}

TEST(TraceScale, AConstantLevelIsDrawnOnALabelledLine) {
    // The classic rule put a constant 12.0 dBm on none of its labels.
    std::vector<double> history(20, 12.0);
    TraceGraphInput input;
    input.history = history;
    input.recorded = 20;
    input.count = 20;
    input.options.scale.mode = TraceScaleMode::kNice;
    const TraceGraphModel model = ComputeTraceGraph(input);
    ASSERT_FALSE(model.trace.empty());
    bool onLine = false;
    for (const TraceText& label : model.yLabels) {
        // A label stands 8 pixels above its grid line.
        if (label.text == "12.00")
            onLine = label.y + 8 == model.trace.front().y;
    }
    EXPECT_TRUE(onLine);
}

TEST(TraceScale, FixedScaleIsCheckedAndARefusalChangesNothing) {
    const struct {
        const char* bottom;
        const char* top;
        bool ok;
        const char* error;
    } cases[] = {
        {"-10", "20", true, ""},
        {"12,5", "13", true, ""},
        {"20", "-10", false, "The top (-10.00 dBm) must be above the bottom (20.00 dBm)."},
        {"5", "5", false, "The top (5.00 dBm) must be above the bottom (5.00 dBm)."},
        {"abc", "5", false, "Bottom"},
        {"0", "300", false, "Top"},
        {"", "5", false, "Bottom"},
    };
    for (const auto& c : cases) {
        TraceScaleChoice choice;  // classic, 0..50
        std::string error;
        EXPECT_EQ(ParseFixedTraceScale(c.bottom, c.top, choice, error), c.ok) << c.bottom;
        if (c.ok) {
            EXPECT_EQ(choice.mode, TraceScaleMode::kFixed);
            EXPECT_LT(choice.fixedBottom, choice.fixedTop);
        } else {
            EXPECT_EQ(choice, TraceScaleChoice{}) << c.bottom;
            EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        }
    }
}

TEST(TraceScale, LimitsAreDrawnAndTheSamplesBeyondThemMarked) {
    const std::vector<double> history{9.0, 10.0, 11.0, 12.5, 13.0, 7.5};
    TraceGraphInput input;
    input.history = history;
    input.recorded = 6;
    input.count = 6;
    const TraceGraphModel plain = ComputeTraceGraph(input);
    EXPECT_TRUE(plain.limitLines.empty());
    EXPECT_TRUE(plain.failedPoints.empty());

    const struct {
        TraceScaleMode mode;
        std::optional<double> upper, lower;
        std::size_t lines;
        std::vector<std::size_t> failed;  // indices into the trace
    } cases[] = {
        {TraceScaleMode::kClassic, 12.0, 8.0, 2, {3, 4, 5}},
        {TraceScaleMode::kNice, 12.0, std::nullopt, 1, {3, 4}},
        {TraceScaleMode::kClassic, 20.0, std::nullopt, 1, {}},  // the scale reaches it
        {TraceScaleMode::kFitLimits, 11.0, 10.0, 2, {0, 3, 4, 5}},
    };
    for (const auto& c : cases) {
        input.options.scale.mode = c.mode;
        input.options.limits = {c.upper, c.lower};
        const TraceGraphModel m = ComputeTraceGraph(input);
        ASSERT_EQ(m.limitLines.size(), c.lines);
        EXPECT_EQ(m.limitLines[0].y1, TraceY(*c.upper, m.scale));
        EXPECT_EQ(m.limitLines[0].x1, kTracePlotLeft);
        EXPECT_EQ(m.limitLines[0].x2, kTracePlotRight);
        std::vector<TracePoint> expected;
        for (std::size_t i : c.failed)
            expected.push_back(m.trace[i]);
        EXPECT_EQ(m.failedPoints, expected);
    }
}

TEST(TraceScale, FitLimitsPutsBothLimitsInsideTheNiceScale) {
    TraceGraphOptions options;
    options.scale.mode = TraceScaleMode::kFitLimits;
    options.limits = {12.0, 8.0};
    const std::vector<double> history(10, 30.0);  // far outside: the limits decide
    const TraceScale s = ComputeTraceScale(history, 10, options);
    EXPECT_DOUBLE_EQ(s.bottom, 7.5);
    EXPECT_DOUBLE_EQ(s.top, 12.5);
}

TEST(TraceScale, ClockAxisLabelsEveryOtherTickInUtc) {
    std::vector<double> history(11, 1.0);
    std::vector<std::int64_t> times;
    const std::int64_t start = 1765198800000;  // 2025-12-08T13:00:00Z
    for (int i = 0; i < 11; ++i)
        times.push_back(start + i * 1000);
    TraceGraphInput input;
    input.history = history;
    input.recorded = 11;
    input.count = 11;
    input.timesMs = times;
    input.options.wallClock = true;
    input.clockTitleExtent = {60, 10};
    const TraceGraphModel m = ComputeTraceGraph(input);
    ASSERT_EQ(m.xLabels.size(), 11u);
    EXPECT_EQ(m.xLabels[0].text, "13:00:00");
    EXPECT_EQ(m.xLabels[1].text, "");
    EXPECT_EQ(m.xLabels[10].text, "13:00:10");
    EXPECT_EQ(m.timeTitle.text, kTraceClockTitle);
    EXPECT_EQ(m.timeTitle.x, (kTraceGraphWidth - 60) / 2);

    // Without a time for every sample the axis stays in seconds.
    input.timesMs = std::span<const std::int64_t>(times).first(5);
    EXPECT_EQ(ComputeTraceGraph(input).timeTitle.text, "Second");
}

TEST(TraceScale, RollingGraphDrawsOneEnvelopeLinePerColumnAndBreaksAtGaps) {
    std::vector<TraceColumn> columns(450);
    const auto set = [&](std::size_t i, double lo, double hi) { columns[i] = {true, false, lo, hi}; };
    set(0, 10.0, 10.0);
    set(1, 11.0, 11.0);  // a step up: reaches down to its neighbour
    set(3, 9.0, 13.0);   // after a gap, beyond the upper limit of 12
    TraceGraphOptions options;
    options.scale.mode = TraceScaleMode::kFixed;
    options.scale.fixedBottom = 0.0;
    options.scale.fixedTop = 20.0;
    options.limits.upper_dbm = 12.0;
    const std::int64_t t0 = 1765198800000;
    const TraceGraphModel m =
        ComputeRollingGraph(columns, t0, t0 + 24 * 3600 * 1000, options, {60, 10});
    const TraceScale& s = m.scale;
    const std::vector<TraceLine> envelope{
        {kTracePlotLeft, TraceY(10.0, s), kTracePlotLeft, TraceY(10.0, s)},
        {kTracePlotLeft + 1, TraceY(11.0, s), kTracePlotLeft + 1, TraceY(10.0, s)},
        {kTracePlotLeft + 3, TraceY(13.0, s), kTracePlotLeft + 3, TraceY(9.0, s)},
    };
    ASSERT_EQ(m.envelope.size(), envelope.size());
    for (std::size_t i = 0; i < envelope.size(); ++i) {
        EXPECT_EQ(m.envelope[i].x1, envelope[i].x1) << i;
        EXPECT_EQ(m.envelope[i].y1, envelope[i].y1) << i;
        EXPECT_EQ(m.envelope[i].y2, envelope[i].y2) << i;
    }
    ASSERT_EQ(m.failedEnvelope.size(), 1u);
    EXPECT_EQ(m.failedEnvelope[0].y1, TraceY(13.0, s));
    EXPECT_EQ(m.failedEnvelope[0].y2, TraceY(12.0, s));
    EXPECT_EQ(m.limitLines.size(), 1u);
    EXPECT_EQ(m.xLabels[0].text, "13:00:00");
    EXPECT_EQ(m.xLabels[10].text, "13:00:00");  // a day later
    EXPECT_EQ(m.xLabels[2].text, "17:48:00");
}

}  // namespace
}  // namespace velquor
