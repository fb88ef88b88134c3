#pragma once

#include <QFont>
#include <QSize>

#include "display/trace_panel_layout.h"

class QPainter;

namespace velquor {

struct TraceDataPanelFonts {
    QFont title;  // "Trace Data"
    QFont label;  // "Set Period (Second)"
};

TraceDataPanelFonts DefaultTraceDataPanelFonts();

// Layout of the "Trace Data" panel with its two texts measured in their fonts.
TraceDataPanelLayout MeasureTraceDataPanel(const TraceDataPanelFonts& fonts, QSize client,
                                           int x0 = kTraceDataPanelX0, int y0 = kTraceDataPanelY0);

// Draws what the panel paints itself: the title in black, the period label in navy and the
// frame with the painter's current pen. The controls are placed by the view from the layout.
// The painter's pen and font are left as they were.
void DrawTraceDataPanel(QPainter& painter, const TraceDataPanelLayout& layout,
                        const TraceDataPanelFonts& fonts);

}  // namespace velquor
