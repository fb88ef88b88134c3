#include <gtest/gtest.h>
#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <vector>

#include "display/trace_fonts.h"
#include "display/trace_graph_painter.h"
#include "display/trace_panel_painter.h"
#include "display/trace_recorder.h"

namespace velquor {
namespace {

const QRgb kTrace = qRgb(10, 10, 200);
const QRgb kNewest = qRgb(0, 0, 255);
const QRgb kWhite = qRgb(255, 255, 255);

QRgb At(const QImage& image, int x, int y) {
    return (image.pixel(x, y) & 0xFFFFFFu) | 0xFF000000u;
}

int CountColour(const QImage& image, QRgb colour, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += At(image, x, y) == colour;
    return n;
}

int CountDark(const QImage& image, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += qGray(At(image, x, y)) < 128;
    return n;
}

QImage RenderSamples(const std::vector<double>& samples) {
    CTraceRecorder rec;
    rec.Play("99");
    for (double v : samples)
        rec.Tick(v);
    return RenderTraceGraph(ComputeTraceGraphModel(rec, DefaultTraceGraphFonts()));
}

// The pixels a text covers when drawn where the painter puts it.
QRect InkOf(const QFont& font, const TraceText& text) {
    const QFontMetrics metrics(font);
    return metrics.tightBoundingRect(QString::fromStdString(text.text))
        .translated(text.x, text.y + metrics.ascent());
}

TEST(TraceRender, NoTextCoversAnother) {
    TraceGraphFonts viewFonts = DefaultTraceGraphFonts();
    viewFonts.label = QFont("Aerial", 10);  // the view's label font
    const std::vector<std::vector<double>> traces = {
        {}, {10, 10, 10, 10}, {-12.3, -12.4, -12.3, -40.5}, {-100.05, -100.0, -99.95, -100.0}};
    for (const TraceGraphFonts& fonts : {DefaultTraceGraphFonts(), viewFonts}) {
        for (const std::vector<double>& samples : traces) {
            CTraceRecorder rec;
            rec.Play("3600");
            for (int i = 0; i < 1500; ++i)
                rec.Tick(samples.empty() ? 0.0
                                         : samples[static_cast<std::size_t>(i) % samples.size()]);
            if (samples.empty())
                rec.Stop();
            const TraceGraphModel model = ComputeTraceGraphModel(rec, fonts);
            std::vector<std::pair<std::string, QRect>> ink;
            for (const auto* labels : {&model.xLabels, &model.yLabels})
                for (const TraceText& t : *labels)
                    ink.emplace_back(t.text, InkOf(fonts.label, t));
            ink.emplace_back(model.timeTitle.text, InkOf(fonts.axisTitle, model.timeTitle));
            ink.emplace_back(model.powerTitle.text, InkOf(fonts.axisTitle, model.powerTitle));
            for (std::size_t i = 0; i < ink.size(); ++i)
                for (std::size_t j = i + 1; j < ink.size(); ++j)
                    EXPECT_FALSE(ink[i].second.intersects(ink[j].second))
                        << '"' << ink[i].first << "\" and \"" << ink[j].first << '"';
        }
    }
}

TEST(TraceRender, EmptyGraphHasDottedGridLabelsAndNoTrace) {
    CTraceRecorder rec;
    const QImage image = RenderTraceGraph(ComputeTraceGraphModel(rec, DefaultTraceGraphFonts()));
    ASSERT_EQ(image.size(), QSize(510, 235));
    const QRect whole = image.rect();
    EXPECT_EQ(CountColour(image, kTrace, whole), 0);
    EXPECT_EQ(CountColour(image, kNewest, whole), 0);
    EXPECT_EQ(At(image, 300, 95), kWhite);

    // Along a vertical grid line the pen alternates black and white.
    int black = 0;
    int white = 0;
    for (int y = 6; y < 205; ++y) {
        black += At(image, 95, y) == qRgb(0, 0, 0);
        white += At(image, 95, y) == kWhite;
    }
    EXPECT_GT(black, 60);
    EXPECT_GT(white, 60);
    int rowBlack = 0;
    for (int x = 51; x < 500; ++x)
        rowBlack += At(image, x, 105) == qRgb(0, 0, 0);
    EXPECT_GT(rowBlack, 120);
    EXPECT_LT(rowBlack, 400);

    EXPECT_GT(CountDark(image, QRect(35, 207, 25, 14)), 0);    // "  0"
    EXPECT_GT(CountDark(image, QRect(12, 197, 36, 14)), 0);    // "0.00"
    EXPECT_GT(CountDark(image, QRect(0, 80, 14, 75)), 0);      // "dBm" downward
    EXPECT_GT(CountDark(image, QRect(200, 220, 110, 15)), 0);  // "Second"
    EXPECT_EQ(CountDark(image, QRect(0, 0, 10, 60)), 0);
}

TEST(TraceRender, TraceLiesAtItsMappedPointsWithCirclesAndMarker) {
    // Flat at 10 dBm: y 188, points at x 50, 200, 350 and 500.
    const QImage image = RenderSamples({10, 10, 10, 10});
    EXPECT_EQ(At(image, 125, 188), kTrace);
    EXPECT_EQ(At(image, 275, 188), kTrace);
    EXPECT_EQ(At(image, 425, 188), kTrace);
    EXPECT_NE(At(image, 125, 150), kTrace);
    // The point circles are filled white over the line and outlined in the trace colour.
    EXPECT_EQ(At(image, 200, 188), kWhite);
    EXPECT_GT(CountColour(image, kTrace, QRect(196, 184, 8, 8)), 8);
    // Only the newest sample carries the marker colour.
    EXPECT_GT(CountColour(image, kNewest, QRect(496, 184, 8, 8)), 8);
    EXPECT_EQ(CountColour(image, kNewest, image.rect()),
              CountColour(image, kNewest, QRect(496, 184, 8, 8)));
}

TEST(TraceRender, SlopedSegmentFollowsTheScale) {
    // Scale -2..22: samples map to y 188, 22, 105, 147 at x 50, 200, 350, 500.
    const QImage image = RenderSamples({0, 20, 10, 5});
    const int expectedY[] = {105, 63, 126};  // midpoints of the three segments
    const int columns[] = {125, 275, 425};
    for (int i = 0; i < 3; ++i) {
        EXPECT_GT(CountColour(image, kTrace, QRect(columns[i], expectedY[i] - 2, 1, 5)), 0)
            << columns[i];
        EXPECT_EQ(CountColour(image, kTrace, QRect(columns[i], 5, 1, expectedY[i] - 10)), 0)
            << columns[i];
    }
}

TEST(TraceRender, SavedPngReadsBackUnchanged) {
    const QImage image = RenderSamples({1, 2, 3, 4, 5});
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("trace.png"));
    QString error;
    ASSERT_TRUE(SaveTraceGraphPng(image, path, error)) << error.toStdString();
    QImage back(path);
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), image);

    EXPECT_FALSE(SaveTraceGraphPng(image, dir.filePath(QStringLiteral("no/such/dir.png")), error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(SaveTraceGraphPng(QImage(), dir.filePath(QStringLiteral("null.png")), error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("null.png"))));
}

TEST(TraceRender, PanelDrawsTitleLabelAndFrameWithTheViewPen) {
    QImage image(768, 480, QImage::Format_RGB32);
    image.fill(Qt::white);
    const TraceDataPanelFonts fonts = DefaultTraceDataPanelFonts();
    const TraceDataPanelLayout layout = MeasureTraceDataPanel(fonts, image.size());
    const int titleWidth =
        QFontMetrics(fonts.title).horizontalAdvance(QStringLiteral("Trace Data"));
    EXPECT_EQ(layout.frame[4].x2, 245 + titleWidth);
    const QColor grey(160, 160, 160);
    {
        QPainter painter(&image);
        painter.setPen(QPen(grey, 2));
        DrawTraceDataPanel(painter, layout, fonts);
        EXPECT_EQ(painter.pen().color(), grey);  // left as it was
        EXPECT_EQ(painter.pen().width(), 2);
    }
    const QRgb frame = grey.rgb();
    EXPECT_EQ(At(image, 230, 300), frame);   // left edge
    EXPECT_EQ(At(image, 500, 470), frame);   // bottom edge
    EXPECT_EQ(At(image, 763, 300), frame);   // right edge
    EXPECT_EQ(At(image, 700, 163), frame);   // top edge right of the title
    EXPECT_EQ(At(image, 243, 163), kWhite);  // gap before the title
    EXPECT_GT(CountDark(image, QRect(245, 153, titleWidth, 20)), 20);

    // The period label is navy: blue clearly above red wherever it is drawn.
    int navy = 0;
    const TracePoint at = layout.periodLabel;
    for (int y = at.y; y < at.y + 15; ++y)
        for (int x = at.x; x < layout.periodEdit.x; ++x) {
            const QRgb c = At(image, x, y);
            navy += qBlue(c) > qRed(c) + 40 && qGray(c) < 200;
        }
    EXPECT_GT(navy, 20);
}

}  // namespace
}  // namespace velquor
