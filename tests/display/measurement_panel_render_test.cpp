#include "display/measurement_panel.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

namespace velquor {
namespace {

constexpr int kX0 = kMeasurementPanelX0;
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kGaugeGrey = qRgb(200, 200, 200);

class MeasurementPanelRender : public testing::Test {
protected:
    MeasurementPanelRender() : fonts_(MakePanelFonts()) {
        // Plain artwork: a grey battery outline (so the white blink shows) and white boxes.
        bitmaps_.battery = QImage(kBatteryBitmapWidth, kBatteryBitmapHeight, QImage::Format_RGB32);
        bitmaps_.battery.fill(kGaugeGrey);
        for (QImage* image : {&bitmaps_.dbm, &bitmaps_.watt, &bitmaps_.dial}) {
            *image = QImage(kReadoutBitmapWidth, kReadoutBitmapHeight, QImage::Format_RGB32);
            image->fill(kWhite);
        }
    }

    // One repaint: evaluate, then draw into a fresh view-sized image.
    QImage Render(bool connected, const MeterReadings& readings) {
        const MeasurementPanelContent content =
            EvaluateMeasurementPanel(state_, connected, readings);
        QImage view(768, 480, QImage::Format_RGB32);
        view.fill(kWhite);
        QPainter painter(&view);
        extent_ = DrawMeasurementPanel(painter, kX0, content, bitmaps_, fonts_, PanelFramePen());
        return view;
    }

    int TitleWidth() const {
        return MeasurePanelText(fonts_.title, std::string(kMeasurementDataTitle)).cx;
    }

    PanelFonts fonts_;
    MeasurementPanelBitmaps bitmaps_;
    MeasurementDisplayState state_;
    PanelPoint extent_;
};

TEST_F(MeasurementPanelRender, StripBlinksRedYellowRedBesideTitle) {
    const int stripX = kX0 + 11 + TitleWidth();  // left of where the message starts
    const QRgb expected[] = {qRgb(255, 0, 0), qRgb(255, 255, 0), qRgb(255, 0, 0)};
    for (QRgb colour : expected) {
        const QImage view = Render(true, {46.0, 25.0, 640.0});
        EXPECT_EQ(view.pixel(stripX, 30), colour);
        EXPECT_EQ(view.pixel(kX0 + 10 + TitleWidth() + 144, 39), colour);  // last strip pixel
        // The message may run past the strip; below the text only the strip is coloured.
        EXPECT_EQ(view.pixel(kX0 + 10 + TitleWidth() + 145, 39), kWhite);
        EXPECT_EQ(view.pixel(stripX + 20, 40), kWhite);
        EXPECT_EQ(view.pixel(stripX + 20, 39), colour);
    }
    EXPECT_EQ(extent_, (PanelPoint{750, 143}));
}

TEST_F(MeasurementPanelRender, NoStripWithoutOverLimit) {
    for (bool connected : {true, false}) {
        const QImage view = Render(connected, {connected ? 45.0 : 60.0, 45.0, 640.0});
        EXPECT_EQ(view.pixel(kX0 + 11 + TitleWidth(), 30), kWhite) << connected;
    }
}

TEST_F(MeasurementPanelRender, GaugeFillGrowsFromTheRightEnd) {
    const QRgb fill = qRgb(100, 100, 200);
    const int y = 21 + 10;
    QImage view = Render(true, {20.0, 25.0, 620.0});  // bar 36: 36 pixels filled
    EXPECT_EQ(view.pixel(586 + 104, y), kGaugeGrey);
    EXPECT_EQ(view.pixel(586 + 105, y), fill);
    EXPECT_EQ(view.pixel(586 + 140, y), fill);
    EXPECT_EQ(view.pixel(586 + 141, y), kGaugeGrey);
    EXPECT_EQ(view.pixel(586 + 120, 21 + 4), fill);
    EXPECT_EQ(view.pixel(586 + 120, 21 + 3), kGaugeGrey);
    EXPECT_EQ(view.pixel(586 + 120, 21 + 15), fill);
    EXPECT_EQ(view.pixel(586 + 120, 21 + 16), kGaugeGrey);

    view = Render(true, {20.0, 25.0, 664.0});
    EXPECT_EQ(view.pixel(586 + 69, y), fill);
    EXPECT_EQ(view.pixel(586 + 68, y), kGaugeGrey);
}

TEST_F(MeasurementPanelRender, EmptyGaugeBlinksWhiteOnlyWhileConnected) {
    const QPoint probe(586 + 5, 21 + 5);
    EXPECT_EQ(Render(true, {20.0, 25.0, 576.0}).pixel(probe), kGaugeGrey);
    EXPECT_EQ(Render(true, {20.0, 25.0, 576.0}).pixel(probe), kWhite);
    EXPECT_EQ(Render(true, {20.0, 25.0, 576.0}).pixel(probe), kGaugeGrey);
    for (int i = 0; i < 3; ++i) {
        const QImage view = Render(false, {20.0, 25.0, 640.0});
        EXPECT_EQ(view.pixel(probe), kGaugeGrey);
        EXPECT_EQ(view.pixel(586 + 140, 21 + 10), kGaugeGrey);  // empty: nothing filled
    }
}

TEST_F(MeasurementPanelRender, NeedlePointsAt25WhenNotConnected) {
    const QRgb needle = qRgb(200, 200, 10);
    const int dx = kX0 + 344;
    const int dy = 42;
    QImage view = Render(false, {20.0, 80.0, 640.0});
    // The tip (81, 31) is on the outline; (62, 42) lies on the needle's axis.
    EXPECT_EQ(view.pixel(dx + 81, dy + 31), needle);
    EXPECT_EQ(view.pixel(dx + 62, dy + 42), needle);
    EXPECT_EQ(view.pixel(dx + 51, dy + 49), needle);
    EXPECT_EQ(view.pixel(dx + 78, dy + 71), kWhite);

    view = Render(true, {20.0, 48.9, 640.0});  // tip at (78, 71)
    EXPECT_EQ(view.pixel(dx + 78, dy + 71), needle);
    EXPECT_EQ(view.pixel(dx + 81, dy + 31), kWhite);
}

// Leftmost column in [x0, x1) of the rectangle's rows holding a dark (text) pixel, or -1.
int FirstDarkColumn(const QImage& image, int x0, int x1, int y0, int y1) {
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y)
            if (qGray(image.pixel(x, y)) < 128)
                return x;
    return -1;
}

TEST_F(MeasurementPanelRender, WideReadingStartsAtTheBoxEdge) {
    fonts_.reading.setPixelSize(80);
    fonts_.reading.setStretch(100);
    ASSERT_GT(MeasurePanelText(fonts_.reading, std::string("20.0")).cx, 100);
    const QImage view = Render(true, {20.0, 25.0, 640.0});
    const int first = FirstDarkColumn(view, kX0, kX0 + 171, 42 + 31, 42 + 97);
    ASSERT_NE(first, -1);
    EXPECT_GE(first, kX0 + 35);
    EXPECT_LE(first, kX0 + 35 + 8);  // only the glyph's own side bearing in front
    const int firstWatt = FirstDarkColumn(view, kX0 + 172, kX0 + 343, 42 + 31, 42 + 97);
    ASSERT_NE(firstWatt, -1);
    EXPECT_GE(firstWatt, kX0 + 172 + 36);
    EXPECT_LE(firstWatt, kX0 + 172 + 36 + 8);
}

TEST_F(MeasurementPanelRender, NarrowReadingIsCentredInItsBox) {
    const std::string text = "20.0";
    const int cx = MeasurePanelText(fonts_.reading, text).cx;
    ASSERT_LT(cx, 100);
    const QImage view = Render(true, {20.0, 25.0, 640.0});
    const int first = FirstDarkColumn(view, kX0, kX0 + 171, 42 + 31, 42 + 97);
    ASSERT_NE(first, -1);
    EXPECT_GE(first, kX0 + DbmReadoutX(cx));
    EXPECT_LE(first, kX0 + DbmReadoutX(cx) + 5);
}

TEST_F(MeasurementPanelRender, FrameUsesTheGivenPen) {
    const QImage view = Render(false, {20.0, 25.0, 640.0});
    const QRgb grey = PanelFramePen().color().rgb();
    EXPECT_EQ(view.pixel(kX0 - 5, 80), grey);
    EXPECT_EQ(view.pixel(755, 80), grey);
    EXPECT_EQ(view.pixel(500, 143), grey);
}

TEST(PanelFontsTest, CellFontsMatchTheirMetrics) {
    const PanelFonts fonts = MakePanelFonts();
    const QFontMetrics reading(fonts.reading);
    const QFontMetrics title(fonts.title);
    EXPECT_LE(reading.height(), 30);
    EXPECT_GE(reading.height(), 27);
    EXPECT_NEAR(reading.averageCharWidth(), 15, 1);
    EXPECT_LE(title.height(), 20);
    EXPECT_NEAR(title.averageCharWidth(), 10, 1);
    EXPECT_TRUE(fonts.reading.bold());
    EXPECT_EQ(fonts.label.pixelSize(), 13);
    EXPECT_EQ(fonts.label.family(), QString("Aerial"));
}

}  // namespace
}  // namespace velquor
