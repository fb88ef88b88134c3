#include "display/trace_panel_painter.h"

#include <QFontMetrics>
#include <QPainter>

#include "display/trace_fonts.h"

namespace velquor {

namespace {

const QColor kTitleColor(0, 0, 0);
const QColor kLabelColor(16, 16, 128);

void DrawTextAt(QPainter& painter, const TracePoint& at, const QString& text) {
    const QFontMetrics metrics(painter.font());
    painter.drawText(QPoint(at.x, at.y + metrics.ascent()), text);
}

}  // namespace

TraceDataPanelFonts DefaultTraceDataPanelFonts() {
    return TraceDataPanelFonts{TraceTitleFont(), TraceLabelFont()};
}

TraceDataPanelLayout MeasureTraceDataPanel(const TraceDataPanelFonts& fonts, QSize client, int x0,
                                           int y0) {
    const int titleWidth =
        QFontMetrics(fonts.title).horizontalAdvance(QString::fromLatin1(kTraceDataTitle));
    const int labelWidth =
        QFontMetrics(fonts.label).horizontalAdvance(QString::fromLatin1(kTracePeriodLabel));
    return LayoutTraceDataPanel(x0, y0, titleWidth, labelWidth, client.width(), client.height());
}

void DrawTraceDataPanel(QPainter& painter, const TraceDataPanelLayout& layout,
                        const TraceDataPanelFonts& fonts) {
    const QPen framePen = painter.pen();
    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setFont(fonts.title);
    painter.setPen(kTitleColor);
    DrawTextAt(painter, layout.title, QString::fromLatin1(kTraceDataTitle));
    painter.setFont(fonts.label);
    painter.setPen(kLabelColor);
    DrawTextAt(painter, layout.periodLabel, QString::fromLatin1(kTracePeriodLabel));
    painter.setPen(framePen);
    for (const TraceLine& line : layout.frame)
        painter.drawLine(line.x1, line.y1, line.x2, line.y2);
    painter.restore();
}

}  // namespace velquor
