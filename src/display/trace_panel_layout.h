#pragma once

#include <array>

#include "display/trace_graph.h"

namespace velquor {

inline constexpr char kTraceDataTitle[] = "Trace Data";
inline constexpr char kTracePeriodLabel[] = "Set Period (Second)";

// Standard placement of the panel in the view.
inline constexpr int kTraceDataPanelX0 = 235;
inline constexpr int kTraceDataPanelY0 = 153;

struct TraceRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const TraceRect&, const TraceRect&) = default;
};

// Where the graph window sits in the view (control 211).
inline constexpr TraceRect kTraceGraphWindowRect{234, 187, kTraceGraphWidth, kTraceGraphHeight};

struct TraceDataPanelLayout {
    TracePoint title;        // top-left of "Trace Data", title font, black
    TracePoint periodLabel;  // top-left of "Set Period (Second)", label font, navy
    TraceRect periodEdit;    // control 210
    TraceRect playButton;    // command 207
    TraceRect stopButton;    // command 208
    TraceRect pauseButton;   // command 209
    TraceRect slider;        // control 206
    // The panel frame, drawn with the view's pen; it leaves a gap where the title sits.
    std::array<TraceLine, 5> frame;
};

// x0/y0: left reference and title line; titleWidth and labelWidth: measured widths of the
// two texts in their fonts; client size of the view.
TraceDataPanelLayout LayoutTraceDataPanel(int x0, int y0, int titleWidth, int labelWidth,
                                          int clientWidth, int clientHeight);

}  // namespace velquor
