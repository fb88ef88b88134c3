#pragma once

#include <QPen>

#include "display/panel_style.h"
#include "display/unit_panel_layout.h"

class QPainter;

namespace velquor {

// Measures with the panel fonts, for the layout functions.
PanelTextExtent MeasureWithPanelFonts(const PanelFonts& fonts, PanelFont which,
                                      const std::string& text);

// Draws a laid-out panel: its texts in their fonts and colours, then its lines in framePen.
void PaintPanelDrawing(QPainter& painter, const PanelDrawing& drawing, const PanelFonts& fonts,
                       const QPen& framePen);

// Lay out and draw one panel. The result carries the control updates the view applies to its
// child controls and the panel's extent: (225, 160) and (225, top + 253).
PanelDrawing DrawUnitPropertiesPanel(QPainter& painter, UnitState& unit, const PanelFonts& fonts,
                                     const QPen& framePen);
PanelDrawing DrawUnitSetupPanel(QPainter& painter, UnitState& unit, int top,
                                const PanelFonts& fonts, const QPen& framePen);

}  // namespace velquor
