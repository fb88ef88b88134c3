#pragma once

#include <QColor>
#include <QFont>
#include <QPen>
#include <QString>
#include <string>

#include "display/panel_geometry.h"
#include "display/rgb_color.h"
#include "display/unit_panel_layout.h"

class QPainter;

namespace velquor {

inline constexpr char kPanelFontFace[] = "Aerial";

// The view's four panel fonts. Needs a QGuiApplication: sizes are fitted to measured metrics.
struct PanelFonts {
    QFont title;    // cell height 20, average width 10, bold
    QFont status;   // cell height 18, average width 9, bold
    QFont label;    // 10 point
    QFont reading;  // cell height 30, average width 15, bold
};

// A bold roman-family font whose line height is cellHeight and whose average character width is
// averageWidth pixels, so that layouts measured in these units come out as intended whatever
// face the font matching substitutes.
QFont MakeCellFont(int cellHeight, int averageWidth);
// 10 point at 96 dots per inch: an em of 13 pixels, independent of the screen's resolution.
QFont MakeLabelFont();
PanelFonts MakePanelFonts();

// Solid, 2 pixels wide, in the grey that stands in for the active window border colour.
QPen PanelFramePen();

inline QColor ToQColor(RgbColor c) {
    return QColor(c.r, c.g, c.b);
}

const QFont& FontFor(const PanelFonts& fonts, PanelFont which);

PanelTextExtent MeasurePanelText(const QFont& font, const QString& text);
PanelTextExtent MeasurePanelText(const QFont& font, const std::string& text);

// A text with its top-left corner at (x, y) on an opaque white cell, as text output does by
// default; returns its extent.
PanelTextExtent DrawPanelText(QPainter& painter, const QFont& font, PanelPoint at,
                              const std::string& text, RgbColor color);

void DrawPanelLine(QPainter& painter, const QPen& pen, const PanelLine& line);

}  // namespace velquor
