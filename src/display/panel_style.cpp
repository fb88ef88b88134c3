#include "display/panel_style.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace velquor {

namespace {

constexpr int kLabelFontPixels = 13;  // 10 pt * 96 / 72, truncated
const QColor kFrameGrey(160, 160, 160);

// The face named "Aerial" is not installed anywhere; where the system would substitute a face
// by family, name the metric-compatible faces so text widths come out as the layout expects.
QFont FaceWithFallbacks(const char* fallback, const char* installed) {
    QFont font(QString::fromLatin1(kPanelFontFace));
    font.setFamilies({QString::fromLatin1(kPanelFontFace), QString::fromLatin1(fallback),
                      QString::fromLatin1(installed)});
    return font;
}

}  // namespace

QFont MakeCellFont(int cellHeight, int averageWidth) {
    // Pitch and family 0x10 asks for a roman face when the named one is not installed.
    QFont font = FaceWithFallbacks("Times New Roman", "Liberation Serif");
    font.setStyleHint(QFont::Serif);
    font.setWeight(QFont::Bold);
    int pixels = std::max(cellHeight, 1);
    font.setPixelSize(pixels);
    while (pixels > 1 && QFontMetrics(font).height() > cellHeight)
        font.setPixelSize(--pixels);
    const int average = QFontMetrics(font).averageCharWidth();
    if (average > 0 && average != averageWidth) {
        const double stretch = 100.0 * averageWidth / average;
        font.setStretch(std::clamp(static_cast<int>(std::lround(stretch)), 1, 4000));
    }
    return font;
}

QFont MakeLabelFont() {
    QFont font = FaceWithFallbacks("Arial", "Liberation Sans");
    font.setPixelSize(kLabelFontPixels);
    return font;
}

PanelFonts MakePanelFonts() {
    PanelFonts fonts;
    fonts.reading = MakeCellFont(30, 15);
    fonts.title = MakeCellFont(20, 10);
    fonts.status = MakeCellFont(18, 9);
    fonts.label = MakeLabelFont();
    return fonts;
}

QPen PanelFramePen() {
    QPen pen(kFrameGrey);
    pen.setWidth(2);
    pen.setStyle(Qt::SolidLine);
    return pen;
}

const QFont& FontFor(const PanelFonts& fonts, PanelFont which) {
    switch (which) {
        case PanelFont::Title:
            return fonts.title;
        case PanelFont::Status:
            return fonts.status;
        case PanelFont::Label:
            break;
    }
    return fonts.label;
}

PanelTextExtent MeasurePanelText(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    return {metrics.horizontalAdvance(text), metrics.height()};
}

PanelTextExtent MeasurePanelText(const QFont& font, const std::string& text) {
    return MeasurePanelText(font, QString::fromStdString(text));
}

PanelTextExtent DrawPanelText(QPainter& painter, const QFont& font, PanelPoint at,
                              const std::string& text, RgbColor color) {
    const QString qtext = QString::fromStdString(text);
    const QFontMetrics metrics(font);
    const PanelTextExtent extent{metrics.horizontalAdvance(qtext), metrics.height()};
    painter.save();
    painter.fillRect(QRect(at.x, at.y, extent.cx, extent.cy), Qt::white);
    painter.setFont(font);
    painter.setPen(ToQColor(color));
    painter.drawText(QPoint(at.x, at.y + metrics.ascent()), qtext);
    painter.restore();
    return extent;
}

void DrawPanelLine(QPainter& painter, const QPen& pen, const PanelLine& line) {
    painter.save();
    painter.setPen(pen);
    painter.drawLine(QPoint(line.from.x, line.from.y), QPoint(line.to.x, line.to.y));
    painter.restore();
}

}  // namespace velquor
