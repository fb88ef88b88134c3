#pragma once

#include <QImage>
#include <QPen>

#include "display/measurement_panel_layout.h"
#include "display/measurement_update.h"
#include "display/panel_style.h"

class QPainter;

namespace velquor {

// The panel's artwork: battery outline 149 (150 x 20), dBm sensor 136 and Watt sensor 135
// (171 x 97 each), thermometer dial 137 (171 x 97, centre 51, 49). Each redraw draws on copies.
struct MeasurementPanelBitmaps {
    QImage battery;
    QImage dbm;
    QImage watt;
    QImage dial;
};

// Draws the Measurement Data panel with its left reference at x0 from an evaluated content
// (EvaluateMeasurementPanel) and returns the panel's extent (750, 143). framePen draws the
// frame; the label font is the one the limit message uses.
PanelPoint DrawMeasurementPanel(QPainter& painter, int x0, const MeasurementPanelContent& content,
                                const MeasurementPanelBitmaps& bitmaps, const PanelFonts& fonts,
                                const QPen& framePen);

}  // namespace velquor
