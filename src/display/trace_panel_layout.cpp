#include "display/trace_panel_layout.h"

namespace velquor {

namespace {

constexpr int kButtonSize = 24;
constexpr int kButtonPitch = 25;
constexpr int kEditWidth = 48;
constexpr int kEditHeight = 20;
constexpr int kSliderWidth = 100;
constexpr int kFrameInset = 5;
constexpr int kFrameBottomMargin = 10;

}  // namespace

TraceDataPanelLayout LayoutTraceDataPanel(int x0, int y0, int titleWidth, int labelWidth,
                                          int clientWidth, int clientHeight) {
    TraceDataPanelLayout layout;
    layout.title = {x0 + 10, y0};
    const int x1 = x0 + titleWidth + 54;
    layout.periodLabel = {x1, y0 + 13};
    layout.periodEdit = {x1 + labelWidth + 2, y0 + 12, kEditWidth, kEditHeight};
    const int x2 = x1 + labelWidth + 54;
    const int y1 = y0 + 10;
    layout.playButton = {x2, y1, kButtonSize, kButtonSize};
    layout.stopButton = {x2 + kButtonPitch, y1, kButtonSize, kButtonSize};
    layout.pauseButton = {x2 + 2 * kButtonPitch, y1, kButtonSize, kButtonSize};
    layout.slider = {x2 + 3 * kButtonPitch, y1, kSliderWidth, kButtonSize};

    const int left = x0 - kFrameInset;
    const int right = clientWidth - kFrameInset;
    const int bottom = clientHeight - kFrameBottomMargin;
    layout.frame = {{
        {x0 + kFrameInset, y1, left, y1},
        {left, y1, left, bottom},
        {left, bottom, right, bottom},
        {right, bottom, right, y1},
        {right, y1, x0 + 10 + titleWidth, y1},
    }};
    return layout;
}

}  // namespace velquor
