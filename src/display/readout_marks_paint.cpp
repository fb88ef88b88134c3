#include "display/readout_marks_paint.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

namespace velquor {

namespace {

// Where the sensor artwork has its caption and its lamps.
constexpr int kCaptionTop = 8;
constexpr int kCaptionBottom = 18;  // exclusive
constexpr int kCaptionLeft = 20;
constexpr int kCaptionRight = 160;
constexpr int kCaptionCentreX = 90;
constexpr int kLampRowTop = 71;
constexpr int kLampRowBottom = 90;
constexpr int kLampRowLeft = 34;
constexpr int kLampRowRight = 164;
constexpr QPoint kLeftLamp(48, 80);
constexpr QPoint kRightLamp(102, 80);
constexpr int kLampLabelDx = 9;
// A point of the body left of both rows, whose colour each row is painted in (the
// body's shade changes from top to bottom only).
constexpr int kBodySampleX = 16;

const QColor kLegend(206, 214, 228);
const QColor kGreenOn(80, 240, 96);
const QColor kRedOn(255, 64, 48);
const QColor kRedLegend(255, 150, 140);

QFont MarkFont() {
    QFont font("Arial");
    font.setPixelSize(10);
    font.setBold(true);
    return font;
}

void PaintOverRows(QImage& image, QPainter& p, int top, int bottom, int left, int right) {
    for (int y = top; y < bottom && y < image.height(); ++y) {
        const QColor body =
            kBodySampleX < image.width() ? image.pixelColor(kBodySampleX, y) : QColor(Qt::white);
        p.fillRect(QRect(left, y, right - left, 1), body);
    }
}

void DrawLamp(QPainter& p, QPoint centre, const QColor& on) {
    p.setPen(Qt::NoPen);
    QColor halo = on;
    halo.setAlpha(70);
    p.setBrush(halo);
    p.drawEllipse(QPointF(centre), 7.5, 7.5);
    p.setBrush(QColor(20, 24, 30));
    p.drawEllipse(QPointF(centre), 4.6, 4.6);
    p.setBrush(on);
    p.drawEllipse(QPointF(centre), 3.8, 3.8);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(QPointF(centre) - QPointF(1.2, 1.2), 1.3, 1.3);
}

// Text whose cap height is centred on y.
void DrawLabel(QPainter& p, const QFont& font, int x, int centreY, const QString& text,
               const QColor& colour) {
    const QFontMetrics metrics(font);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(x, centreY + metrics.capHeight() / 2, text);
}

}  // namespace

void DrawReadoutMarks(QImage& sensor, const ReadoutMarks& marks) {
    if (!marks.Any())
        return;
    QPainter p(&sensor);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QFont font = MarkFont();
    if (!marks.caption.empty()) {
        PaintOverRows(sensor, p, kCaptionTop, kCaptionBottom, kCaptionLeft, kCaptionRight);
        const QString caption = QString::fromStdString(marks.caption);
        const int width = QFontMetrics(font).horizontalAdvance(caption);
        DrawLabel(p, font, kCaptionCentreX - width / 2, (kCaptionTop + kCaptionBottom) / 2, caption,
                  kLegend);
    }
    if (marks.lampRow) {
        PaintOverRows(sensor, p, kLampRowTop, kLampRowBottom, kLampRowLeft, kLampRowRight);
        DrawLamp(p, kLeftLamp, kGreenOn);
        DrawLabel(p, font, kLeftLamp.x() + kLampLabelDx, kLeftLamp.y(),
                  QString::fromStdString(marks.unit), kLegend);
        if (!marks.state.empty()) {
            DrawLamp(p, kRightLamp, marks.failed ? kRedOn : kGreenOn);
            DrawLabel(p, font, kRightLamp.x() + kLampLabelDx, kRightLamp.y(),
                      QString::fromStdString(marks.state), marks.failed ? kRedLegend : kLegend);
        }
    }
}

}  // namespace velquor
