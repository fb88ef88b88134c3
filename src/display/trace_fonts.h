#pragma once

#include <QFont>

namespace velquor {

// The view's label font: "Aerial" at 10 points, taken as 13 pixels (10 points at 96 dpi) so
// the graph looks the same on screen and in an off-screen image.
QFont TraceLabelFont();

// The view's title font: "Aerial", 20 pixels high, bold.
QFont TraceTitleFont();

// The axis titles use the drawing surface's default font: the system's general font, bold,
// 16 pixels high.
QFont TraceAxisTitleFont();

}  // namespace velquor
