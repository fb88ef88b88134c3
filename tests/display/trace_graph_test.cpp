#include "display/trace_graph.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <array>
#include <string>
#include <vector>

#include "display/trace_recorder.h"

namespace velquor {
namespace {

TraceGraphModel GraphOf(const std::vector<double>& samples, int count = -2, int offset = 0) {
    TraceGraphInput in;
    in.history = samples;
    in.recorded = static_cast<int>(samples.size());
    in.count = count == -2 ? in.recorded : count;
    in.offset = offset;
    in.timeTitleExtent = {48, 16};
    in.powerTitleExtent = {30, 16};
    return ComputeTraceGraph(in);
}

std::vector<std::string> Texts(const std::vector<TraceText>& labels) {
    std::vector<std::string> out;
    for (const TraceText& t : labels)
        out.push_back(t.text);
    return out;
}

TEST(TraceGraph, EmptyGraphHasDefaultAxesAndNoTrace) {
    const TraceGraphModel g = GraphOf({}, -1);
    EXPECT_EQ(Texts(g.xLabels), (std::vector<std::string>{"  0", " 45", " 90", "135", "180", "225",
                                                          "270", "315", "360", "405", "450"}));
    EXPECT_EQ(Texts(g.yLabels),
              (std::vector<std::string>{"0.00", "5.00", "10.00", "15.00", "20.00", "25.00", "30.00",
                                        "35.00", "40.00", "45.00", "50.00"}));
    ASSERT_EQ(g.xLabels.size(), 11u);
    EXPECT_EQ(g.xLabels[0].x, 35);
    EXPECT_EQ(g.xLabels[0].y, 207);
    EXPECT_EQ(g.xLabels[10].x, 485);
    EXPECT_EQ(g.yLabels[0].x, 12);
    EXPECT_EQ(g.yLabels[0].y, 197);
    EXPECT_EQ(g.yLabels[10].y, -3);
    ASSERT_EQ(g.gridLines.size(), 22u);
    EXPECT_EQ(g.gridLines[2].x1, 95);
    EXPECT_EQ(g.gridLines[2].y1, 205);
    EXPECT_EQ(g.gridLines[2].y2, 5);
    EXPECT_EQ(g.gridLines[21].y1, 5);
    EXPECT_EQ(g.gridLines[21].x2, 500);
    EXPECT_TRUE(g.trace.empty());
    EXPECT_FALSE(g.newestMarker);
}

TEST(TraceGraph, AxisTitlesShareTheRowBelowTheTickLabels) {
    const TraceGraphModel g = GraphOf({}, -1);
    EXPECT_EQ(g.timeTitle.text, "Second");
    EXPECT_EQ(g.timeTitle.x, (510 - 48) / 2);
    EXPECT_EQ(g.timeTitle.y, 220);
    EXPECT_EQ(g.powerTitle.text, "dBm");
    EXPECT_EQ(g.powerTitle.x, 0);
    EXPECT_EQ(g.powerTitle.y, 220);
}

TEST(TraceGraph, NoAxisRepeatsATickLabel) {
    const struct {
        std::vector<double> samples;
        std::vector<std::string> x;  // first, second and last
        std::vector<std::string> y;
    } cases[] = {
        // Eleven ticks over three samples: whole numbers would read 0 0 0 1 1 ...
        {{10, 11, 12}, {"0.0", "0.2", "2.0"}, {"0.00", "5.00", "50.00"}},
        {{10, 10, 10, 10}, {"0.0", "0.3", "3.0"}, {"9.990", "9.992", "10.010"}},
        {{-20.0, -20.0, -20.1, -20.0}, {"0.0", "0.3", "3.0"}, {"-20.11", "-20.10", "-19.99"}},
        {{0, 20, 10, 5, 7, 8, 9, 10, 11, 12, 13, 14},
         {"  0", "  1", " 11"},
         {"-2.00", "0.40", "22.00"}},
    };
    for (const auto& c : cases) {
        const TraceGraphModel g = GraphOf(c.samples);
        for (const auto* labels : {&g.xLabels, &g.yLabels}) {
            std::vector<std::string> texts = Texts(*labels);
            std::sort(texts.begin(), texts.end());
            EXPECT_EQ(std::adjacent_find(texts.begin(), texts.end()), texts.end())
                << testing::PrintToString(Texts(*labels));
        }
        EXPECT_EQ(g.xLabels.front().text, c.x[0]);
        EXPECT_EQ(g.xLabels[1].text, c.x[1]);
        EXPECT_EQ(g.xLabels.back().text, c.x[2]);
        EXPECT_EQ(g.yLabels.front().text, c.y[0]);
        EXPECT_EQ(g.yLabels[1].text, c.y[1]);
        EXPECT_EQ(g.yLabels.back().text, c.y[2]);
    }
}

TEST(TraceGraph, ThreeSamplesUseTheDefaultScale) {
    const TraceGraphModel g = GraphOf({10, 11, 12});
    EXPECT_EQ(g.scale.bottom, 0.0);
    EXPECT_EQ(g.scale.top, 50.0);
    EXPECT_EQ(g.trace, (std::vector<TracePoint>{{50, 165}, {275, 161}, {500, 157}}));
    ASSERT_TRUE(g.newestMarker);
    EXPECT_EQ(*g.newestMarker, (TracePoint{500, 157}));
    EXPECT_EQ(Texts(g.xLabels).front(), "0.0");
    EXPECT_EQ(Texts(g.xLabels).back(), "2.0");
}

TEST(TraceGraph, FlatTraceLiesNearTheBottom) {
    const TraceGraphModel g = GraphOf({10, 10, 10, 10});
    EXPECT_NEAR(g.scale.bottom, 9.99, 1e-12);
    EXPECT_NEAR(g.scale.top, 10.01, 1e-12);
    EXPECT_NEAR(g.scale.divisor, 0.12, 1e-12);
    EXPECT_EQ(g.yLabels.front().text, "9.990");
    EXPECT_EQ(g.yLabels[5].text, "10.000");
    EXPECT_EQ(g.yLabels.back().text, "10.010");
    ASSERT_EQ(g.trace.size(), 4u);
    for (const TracePoint& p : g.trace)
        EXPECT_EQ(p.y, 188);
    EXPECT_EQ(g.trace[1].x, 200);
}

TEST(TraceGraph, ScaleHasATenthOfTheRangeAsMargin) {
    const TraceGraphModel g = GraphOf({0, 20, 10, 5});
    EXPECT_DOUBLE_EQ(g.scale.bottom, -2.0);
    EXPECT_DOUBLE_EQ(g.scale.top, 22.0);
    EXPECT_DOUBLE_EQ(g.scale.divisor, 24.0);
    // 205 - 22 * 200 / 24 = 21.67 and 205 - 2 * 200 / 24 = 188.33
    EXPECT_EQ(g.trace[1].y, 22);
    EXPECT_EQ(g.trace[0].y, 188);
}

TEST(TraceGraph, ElevenSamplesFallOnTheGridLines) {
    std::vector<double> s(11);
    for (int i = 0; i < 11; ++i)
        s[static_cast<std::size_t>(i)] = i;
    const TraceGraphModel g = GraphOf(s);
    ASSERT_EQ(g.trace.size(), 11u);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(g.trace[static_cast<std::size_t>(i)].x, 50 + 45 * i);
    EXPECT_EQ(Texts(g.xLabels)[3], "  3");
}

TEST(TraceGraph, PointsOutsideTheDefaultScaleStayInThePlot) {
    const TraceGraphModel g = GraphOf({-10, 60});
    EXPECT_EQ(g.trace[0].y, 205);
    EXPECT_EQ(g.trace[1].y, 5);
}

TEST(TraceGraph, SingleSampleHasOnlyTheMarker) {
    const TraceGraphModel g = GraphOf({25});
    EXPECT_EQ(g.trace.size(), 1u);
    ASSERT_TRUE(g.newestMarker);
    EXPECT_EQ(g.newestMarker->x, 50);
    EXPECT_EQ(Texts(g.xLabels).back(), "450");
}

TEST(TraceGraph, LongRecordingFollowsTheNewestWithTheWholeScale) {
    CTraceRecorder rec;
    rec.Play("999");
    rec.Tick(-3.0);  // the lowest sample, soon out of the window
    for (int i = 1; i < 600; ++i)
        rec.Tick(10.0 + (i % 7));
    const TraceGraphModel g = rec.Graph({}, {});
    ASSERT_EQ(g.trace.size(), 449u);
    EXPECT_EQ(g.trace.front().x, 50);
    EXPECT_EQ(g.trace.back().x, 498);
    ASSERT_TRUE(g.newestMarker);
    EXPECT_EQ(*g.newestMarker, g.trace.back());
    EXPECT_EQ(g.xLabels.front().text, "151");
    EXPECT_EQ(g.xLabels.back().text, "600");
    EXPECT_DOUBLE_EQ(rec.ScaleMin(), -3.0 - 1.9);
    EXPECT_DOUBLE_EQ(rec.ScaleMax(), 16.0 + 1.9);
}

TEST(TraceGraph, FinishedLongRecordingShowsItsLastSample) {
    CTraceRecorder rec;
    rec.Play("999");
    for (int i = 0; i < 1000; ++i)
        rec.Tick(i == 999 ? 40.0 : 20.0);
    const TraceGraphModel g = rec.Graph({}, {});
    ASSERT_EQ(g.trace.size(), 450u);
    EXPECT_EQ(g.trace.back().x, 499);
    ASSERT_TRUE(g.newestMarker);
    EXPECT_EQ(*g.newestMarker, g.trace.back());
    EXPECT_LT(g.trace.back().y, g.trace.front().y);  // the 40 dBm sample is drawn
    EXPECT_EQ(g.xLabels.front().text, "550");
    EXPECT_EQ(g.xLabels.back().text, "999");
}

TEST(TraceGraph, ScrolledBackWindowHasNoMarkerAndKeepsTheScale) {
    CTraceRecorder rec;
    rec.Play("999");
    for (int i = 0; i < 1000; ++i)
        rec.Tick(i);
    const double top = rec.Graph({}, {}).scale.top;
    rec.OnSliderReleased(0);
    const TraceGraphModel g = rec.Graph({}, {});
    EXPECT_EQ(g.scale.top, top);
    EXPECT_EQ(g.trace.size(), 450u);
    EXPECT_FALSE(g.newestMarker);
    EXPECT_EQ(g.xLabels.front().text, "  0");
    EXPECT_EQ(g.xLabels.back().text, "449");
}

TEST(TraceGraph, StoppedRecordingShowsOnlyAxes) {
    CTraceRecorder rec;
    rec.Play("99");
    for (int i = 0; i < 10; ++i)
        rec.Tick(30);
    rec.Stop();
    const TraceGraphModel g = rec.Graph({}, {});
    EXPECT_TRUE(g.trace.empty());
    EXPECT_FALSE(g.newestMarker);
    EXPECT_EQ(rec.ScaleMax(), 50.0);
    EXPECT_EQ(g.xLabels.back().text, "450");
}

TEST(TraceGraph, MaxAndMinOfTheFirstValues) {
    const std::array<double, 5> v{3, -1, 7, 2, 9};
    const struct {
        int n;
        double max;
        double min;
    } cases[] = {{1, 3, 3}, {2, 3, -1}, {3, 7, -1}, {5, 9, -1}, {50, 9, -1}, {0, 0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(TraceMax(v, c.n), c.max) << c.n;
        EXPECT_EQ(TraceMin(v, c.n), c.min) << c.n;
    }
}

}  // namespace
}  // namespace velquor
