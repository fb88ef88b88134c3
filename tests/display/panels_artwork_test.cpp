#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>

#include "display/measurement_panel.h"
#include "display/unit_panels.h"
#include "meter/unit_state.h"
#include "ui/resources.h"

namespace velquor {
namespace {

MeasurementPanelBitmaps ResourceBitmaps() {
    return {LoadBitmapImage(kBmpBattery), LoadBitmapImage(kBmpSensorDbm),
            LoadBitmapImage(kBmpSensorWatt), LoadBitmapImage(kBmpThermometer)};
}

// The three panels as the view chains them. With VELQUOR_RENDER_DIR set, the image is saved
// there for a look by eye.
QImage RenderView(UnitState& unit, MeasurementDisplayState& state, const MeterReadings& readings,
                  const char* name) {
    const PanelFonts fonts = MakePanelFonts();
    QImage view(768, 480, QImage::Format_RGB32);
    view.fill(Qt::white);
    {
        QPainter painter(&view);
        const PanelDrawing properties =
            DrawUnitPropertiesPanel(painter, unit, fonts, PanelFramePen());
        const PanelDrawing setup =
            DrawUnitSetupPanel(painter, unit, properties.extent.y + 10, fonts, PanelFramePen());
        const MeasurementPanelContent content =
            EvaluateMeasurementPanel(state, unit.m_bConnected.load(), readings);
        DrawMeasurementPanel(painter, setup.extent.x + 10, content, ResourceBitmaps(), fonts,
                             PanelFramePen());
    }
    const QByteArray dir = qgetenv("VELQUOR_RENDER_DIR");
    if (!dir.isEmpty())
        view.save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name)));
    return view;
}

TEST(PanelsArtwork, BitmapsHaveThePanelSizes) {
    const MeasurementPanelBitmaps b = ResourceBitmaps();
    EXPECT_EQ(b.battery.size(), QSize(kBatteryBitmapWidth, kBatteryBitmapHeight));
    EXPECT_EQ(b.dbm.size(), QSize(kReadoutBitmapWidth, kReadoutBitmapHeight));
    EXPECT_EQ(b.watt.size(), QSize(kReadoutBitmapWidth, kReadoutBitmapHeight));
    EXPECT_EQ(b.dial.size(), QSize(kReadoutBitmapWidth, kReadoutBitmapHeight));
}

TEST(PanelsArtwork, ChainedPanelsOverRealArtwork) {
    UnitState unit;
    MeasurementDisplayState state;
    const QRgb needle = qRgb(200, 200, 10);
    QImage view = RenderView(unit, state, {20.0, 25.0, 620.0}, "panels_not_connected.png");
    EXPECT_EQ(view.pixel(235 + 344 + 62, 42 + 42), needle);  // idle dial at 25 C

    unit.m_bConnected = true;
    unit.m_bLowFrequency = true;
    unit.m_strSerialNumber = "123456";
    view = RenderView(unit, state, {46.0, 48.9, 620.0}, "panels_over_limit.png");
    EXPECT_EQ(view.pixel(235 + 344 + 78, 42 + 71), needle);
    EXPECT_EQ(view.pixel(586 + 120, 21 + 10), qRgb(100, 100, 200));
    EXPECT_EQ(unit.m_strFreqRange, "100-2700");
}

}  // namespace
}  // namespace velquor
