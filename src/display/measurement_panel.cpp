#include "display/measurement_panel.h"

#include <QPainter>
#include <QPolygon>

#include "display/readout_marks_paint.h"

namespace velquor {

namespace {

// A private, paintable copy of a resource bitmap. A missing or undersized bitmap gives a white
// one of the expected size, so the panel keeps its geometry.
QImage Workspace(const QImage& source, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (!source.isNull()) {
        QPainter p(&image);
        p.drawImage(0, 0, source);
    }
    return image;
}

// A number drawn centred in the readout box of a bitmap.
void DrawReadout(QImage& image, const QFont& font, const std::string& text, int (*readoutX)(int),
                 int y, RgbColor colour = {0, 0, 0}) {
    QPainter p(&image);
    const PanelTextExtent extent = MeasurePanelText(font, text);
    DrawPanelText(p, font, {readoutX(extent.cx), y}, text, colour);
}

void DrawNeedle(QImage& dial, const NeedlePolygon& needle) {
    QPainter p(&dial);
    QPolygon polygon;
    for (const PanelPoint& point : needle)
        polygon << QPoint(point.x, point.y);
    const QColor colour = ToQColor(kNeedleColor);
    QPen pen(colour);
    pen.setWidth(1);
    p.setPen(pen);
    p.setBrush(colour);
    p.drawPolygon(polygon);
}

}  // namespace

PanelPoint DrawMeasurementPanel(QPainter& painter, int x0, const MeasurementPanelContent& content,
                                const MeasurementPanelBitmaps& bitmaps, const PanelFonts& fonts,
                                const QPen& framePen) {
    painter.save();
    const PanelTextExtent titleExtent =
        MeasurePanelText(fonts.title, std::string(kMeasurementDataTitle));
    const MeasurementPanelLayout layout = LayoutMeasurementPanel(x0, titleExtent.cx);
    DrawPanelText(painter, fonts.title, layout.title, kMeasurementDataTitle, {0, 0, 0});

    QImage battery = Workspace(bitmaps.battery, kBatteryBitmapWidth, kBatteryBitmapHeight);
    {
        QPainter p(&battery);
        const PanelRect& fill = content.batteryFill;
        if (fill.width > 0)
            p.fillRect(QRect(fill.x, fill.y, fill.width, fill.height), ToQColor(kBatteryFillColor));
    }
    if (content.batteryWhite)
        painter.fillRect(
            QRect(layout.battery.x, layout.battery.y, kBatteryBitmapWidth, kBatteryBitmapHeight),
            Qt::white);
    else
        painter.drawImage(layout.battery.x, layout.battery.y, battery);

    QImage dbm = Workspace(bitmaps.dbm, kReadoutBitmapWidth, kReadoutBitmapHeight);
    const RgbColor number = content.marks.failed ? kReadoutFailedColor : RgbColor{0, 0, 0};
    DrawReadout(dbm, fonts.reading, content.dbmText, &DbmReadoutX, kPowerReadoutY, number);
    DrawReadoutMarks(dbm, content.marks);
    painter.drawImage(layout.dbm.x, layout.dbm.y, dbm);

    QImage watt = Workspace(bitmaps.watt, kReadoutBitmapWidth, kReadoutBitmapHeight);
    DrawReadout(watt, fonts.reading, content.wattText, &WattReadoutX, kPowerReadoutY, number);
    painter.drawImage(layout.watt.x, layout.watt.y, watt);

    QImage dial = Workspace(bitmaps.dial, kReadoutBitmapWidth, kReadoutBitmapHeight);
    DrawNeedle(dial, content.needle);
    DrawReadout(dial, fonts.label, content.celsiusText, &DialReadoutX, kCelsiusReadoutY);
    DrawReadout(dial, fonts.label, content.fahrenheitText, &DialReadoutX, kFahrenheitReadoutY);
    painter.drawImage(layout.dial.x, layout.dial.y, dial);

    for (const PanelLine& line : layout.frame)
        DrawPanelLine(painter, framePen, line);

    const PanelRect& clear = layout.stripClear;
    painter.fillRect(QRect(clear.x, clear.y, clear.width, clear.height), Qt::white);
    if (content.strip) {
        const PanelRect& strip = layout.strip;
        painter.fillRect(QRect(strip.x, strip.y, strip.width, strip.height),
                         ToQColor(*content.strip));
    }
    if (!content.message.empty())
        DrawPanelText(painter, fonts.label, layout.message, content.message, {0, 0, 0});

    painter.restore();
    return kMeasurementPanelExtent;
}

}  // namespace velquor
