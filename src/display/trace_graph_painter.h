#pragma once

#include <QFont>
#include <QImage>
#include <QString>

#include "display/trace_graph.h"

class QPainter;

namespace velquor {

class CTraceRecorder;

struct TraceGraphFonts {
    QFont label;      // x and y labels
    QFont axisTitle;  // "Second" and "dBm"
};

TraceGraphFonts DefaultTraceGraphFonts();

// Extent of a text as the graph measures it: advance width and line height.
TraceTextExtent MeasureTraceText(const QFont& font, const QString& text);

// The graph routine's computation for the recorder's current state, with the axis titles
// measured in fonts.axisTitle. Updates the recorder's scale.
TraceGraphModel ComputeTraceGraphModel(CTraceRecorder& recorder, const TraceGraphFonts& fonts);

// Draws the model at the painter's origin onto a white 510 x 235 background.
void DrawTraceGraph(QPainter& painter, const TraceGraphModel& model,
                    const TraceGraphFonts& fonts = DefaultTraceGraphFonts());

// The graph drawn off screen: a 510 x 235 RGB image.
QImage RenderTraceGraph(const TraceGraphModel& model,
                        const TraceGraphFonts& fonts = DefaultTraceGraphFonts());

// Saves the image as PNG. The file is replaced only once the whole image is written; on
// failure returns false with a message in error.
bool SaveTraceGraphPng(const QImage& image, const QString& path, QString& error);

}  // namespace velquor
