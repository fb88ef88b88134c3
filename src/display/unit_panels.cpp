#include "display/unit_panels.h"

#include <QPainter>

namespace velquor {

namespace {

PanelTextMeasure MeasureFor(const PanelFonts& fonts) {
    return [&fonts](PanelFont which, const std::string& text) {
        return MeasureWithPanelFonts(fonts, which, text);
    };
}

}  // namespace

PanelTextExtent MeasureWithPanelFonts(const PanelFonts& fonts, PanelFont which,
                                      const std::string& text) {
    return MeasurePanelText(FontFor(fonts, which), text);
}

void PaintPanelDrawing(QPainter& painter, const PanelDrawing& drawing, const PanelFonts& fonts,
                       const QPen& framePen) {
    for (const PanelText& text : drawing.texts)
        DrawPanelText(painter, FontFor(fonts, text.font), text.at, text.text, text.color);
    for (const PanelLine& line : drawing.lines)
        DrawPanelLine(painter, framePen, line);
}

PanelDrawing DrawUnitPropertiesPanel(QPainter& painter, UnitState& unit, const PanelFonts& fonts,
                                     const QPen& framePen) {
    PanelDrawing drawing = LayoutUnitPropertiesPanel(unit, MeasureFor(fonts));
    PaintPanelDrawing(painter, drawing, fonts, framePen);
    return drawing;
}

PanelDrawing DrawUnitSetupPanel(QPainter& painter, UnitState& unit, int top,
                                const PanelFonts& fonts, const QPen& framePen) {
    PanelDrawing drawing = LayoutUnitSetupPanel(unit, top, MeasureFor(fonts));
    PaintPanelDrawing(painter, drawing, fonts, framePen);
    return drawing;
}

}  // namespace velquor
