#include "display/trace_graph_painter.h"

#include <QFontMetrics>
#include <QImageWriter>
#include <QPainter>
#include <QPen>
#include <QSaveFile>

#include "display/readout_marks_paint.h"
#include "display/trace_fonts.h"
#include "display/trace_recorder.h"

namespace velquor {

namespace {

const QColor kTextColor(0, 0, 0);
const QColor kGridColor(0, 0, 0);
const QColor kTraceColor(10, 10, 200);
const QColor kNewestColor(0, 0, 255);
// The colour a failed reading is shown in on the panel.
const QColor kLimitColor(kReadoutFailedColor.r, kReadoutFailedColor.g, kReadoutFailedColor.b);

// A dotted line of three pixels on, three off.
QPen GridPen() {
    QPen pen(kGridColor, 1, Qt::CustomDashLine);
    pen.setDashPattern({3, 3});
    return pen;
}

// Circle inside the 6 x 6 box around a point, its right and bottom edges excluded.
QRect PointCircle(const TracePoint& p) {
    return QRect(p.x - 3, p.y - 3, 5, 5);
}

void DrawTextAt(QPainter& painter, const TraceText& text) {
    const QFontMetrics metrics(painter.font());
    painter.drawText(QPoint(text.x, text.y + metrics.ascent()), QString::fromStdString(text.text));
}

}  // namespace

TraceGraphFonts DefaultTraceGraphFonts() {
    return TraceGraphFonts{TraceLabelFont(), TraceAxisTitleFont()};
}

TraceTextExtent MeasureTraceText(const QFont& font, const QString& text) {
    const QFontMetrics metrics(font);
    return TraceTextExtent{metrics.horizontalAdvance(text), metrics.height()};
}

TraceGraphModel ComputeTraceGraphModel(CTraceRecorder& recorder, const TraceGraphFonts& fonts) {
    return recorder.Graph(MeasureTraceText(fonts.axisTitle, QStringLiteral("Second")),
                          MeasureTraceText(fonts.axisTitle, QStringLiteral("dBm")),
                          MeasureTraceText(fonts.axisTitle, QString::fromUtf8(kTraceClockTitle)));
}

void DrawTraceGraph(QPainter& painter, const TraceGraphModel& model, const TraceGraphFonts& fonts) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(0, 0, kTraceGraphWidth, kTraceGraphHeight), Qt::white);
    painter.setBackgroundMode(Qt::TransparentMode);

    painter.setFont(fonts.label);
    for (std::size_t k = 0; k < model.xLabels.size(); ++k) {
        painter.setPen(kTextColor);
        DrawTextAt(painter, model.xLabels[k]);
        if (k < model.yLabels.size())
            DrawTextAt(painter, model.yLabels[k]);
    }
    painter.setPen(GridPen());
    for (const TraceLine& line : model.gridLines)
        painter.drawLine(line.x1, line.y1, line.x2, line.y2);

    painter.setPen(kTextColor);
    painter.setFont(fonts.axisTitle);
    DrawTextAt(painter, model.timeTitle);
    DrawTextAt(painter, model.powerTitle);

    painter.setPen(QPen(kLimitColor, 1));
    for (const TraceLine& line : model.limitLines)
        painter.drawLine(line.x1, line.y1, line.x2, line.y2);

    painter.setPen(QPen(kTraceColor, 1));
    for (const TraceLine& line : model.envelope)
        painter.drawLine(line.x1, line.y1, line.x2, line.y2);
    painter.setPen(QPen(kLimitColor, 1));
    for (const TraceLine& line : model.failedEnvelope)
        painter.drawLine(line.x1, line.y1, line.x2, line.y2);

    // Each segment is drawn before the circle at its start, so the circles sit on the line.
    painter.setPen(QPen(kTraceColor, 1));
    painter.setBrush(Qt::white);
    for (std::size_t i = 0; i + 1 < model.trace.size(); ++i) {
        const TracePoint& a = model.trace[i];
        const TracePoint& b = model.trace[i + 1];
        painter.drawLine(a.x, a.y, b.x, b.y);
        painter.drawEllipse(PointCircle(a));
    }
    if (model.newestMarker) {
        painter.setPen(QPen(kNewestColor, 1));
        painter.drawEllipse(PointCircle(*model.newestMarker));
    }
    painter.setPen(QPen(kLimitColor, 1));
    painter.setBrush(kLimitColor);
    for (const TracePoint& p : model.failedPoints)
        painter.drawEllipse(PointCircle(p));
    painter.restore();
}

QImage RenderTraceGraph(const TraceGraphModel& model, const TraceGraphFonts& fonts) {
    QImage image(kTraceGraphWidth, kTraceGraphHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    DrawTraceGraph(painter, model, fonts);
    return image;
}

bool SaveTraceGraphPng(const QImage& image, const QString& path, QString& error) {
    if (image.isNull()) {
        error = QStringLiteral("There is no graph to save.");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("Cannot create %1: %2").arg(path, file.errorString());
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        error = QStringLiteral("Cannot write %1: %2").arg(path, writer.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = QStringLiteral("Cannot save %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

}  // namespace velquor
