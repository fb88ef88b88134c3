#include "display/trace_panel_layout.h"

#include <gtest/gtest.h>

namespace velquor {
namespace {

TEST(TraceDataPanelLayout, PlacesControlsFromTheMeasuredTexts) {
    // Title 80 wide, label 120 wide, view 768 x 480.
    const TraceDataPanelLayout l = LayoutTraceDataPanel(235, 153, 80, 120, 768, 480);
    EXPECT_EQ(l.title, (TracePoint{245, 153}));
    const int x1 = 235 + 80 + 54;
    EXPECT_EQ(l.periodLabel, (TracePoint{x1, 166}));
    EXPECT_EQ(l.periodEdit, (TraceRect{x1 + 122, 165, 48, 20}));
    const int x2 = x1 + 120 + 54;
    EXPECT_EQ(l.playButton, (TraceRect{x2, 163, 24, 24}));
    EXPECT_EQ(l.stopButton, (TraceRect{x2 + 25, 163, 24, 24}));
    EXPECT_EQ(l.pauseButton, (TraceRect{x2 + 50, 163, 24, 24}));
    EXPECT_EQ(l.slider, (TraceRect{x2 + 75, 163, 100, 24}));
}

TEST(TraceDataPanelLayout, FrameLeavesAGapForTheTitle) {
    const TraceDataPanelLayout l = LayoutTraceDataPanel(235, 153, 80, 120, 768, 480);
    const TraceLine expected[] = {{240, 163, 230, 163},
                                  {230, 163, 230, 470},
                                  {230, 470, 763, 470},
                                  {763, 470, 763, 163},
                                  {763, 163, 325, 163}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(l.frame[i].x1, expected[i].x1) << i;
        EXPECT_EQ(l.frame[i].y1, expected[i].y1) << i;
        EXPECT_EQ(l.frame[i].x2, expected[i].x2) << i;
        EXPECT_EQ(l.frame[i].y2, expected[i].y2) << i;
    }
    // The gap spans the title text.
    EXPECT_LT(l.frame[0].x1, l.title.x);
    EXPECT_EQ(l.frame[4].x2, l.title.x + 80);
}

}  // namespace
}  // namespace velquor
