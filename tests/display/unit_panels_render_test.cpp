#include "display/unit_panels.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>

#include "meter/unit_state.h"

namespace velquor {
namespace {

bool HasColour(const QImage& image, const QRect& area, QRgb colour) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) == colour)
                return true;
    return false;
}

class UnitPanelsRender : public testing::Test {
protected:
    UnitPanelsRender() : fonts_(MakePanelFonts()), view_(768, 480, QImage::Format_RGB32) {
        view_.fill(Qt::white);
    }

    PanelFonts fonts_;
    QImage view_;
    UnitState unit_;
};

TEST_F(UnitPanelsRender, StatusColourFollowsConnection) {
    const QRgb red = qRgb(128, 16, 16);
    const QRgb green = qRgb(16, 128, 16);
    const QRect statusArea(10, 35, 200, 20);
    {
        QPainter painter(&view_);
        const PanelDrawing d = DrawUnitPropertiesPanel(painter, unit_, fonts_, PanelFramePen());
        EXPECT_EQ(d.extent, (PanelPoint{225, 160}));
    }
    EXPECT_TRUE(HasColour(view_, statusArea, red));
    EXPECT_FALSE(HasColour(view_, statusArea, green));

    view_.fill(Qt::white);
    unit_.m_bConnected = true;
    {
        QPainter painter(&view_);
        DrawUnitPropertiesPanel(painter, unit_, fonts_, PanelFramePen());
    }
    EXPECT_TRUE(HasColour(view_, statusArea, green));
    EXPECT_FALSE(HasColour(view_, statusArea, red));
}

TEST_F(UnitPanelsRender, LabelsAreNavyAndFramesGrey) {
    {
        QPainter painter(&view_);
        DrawUnitPropertiesPanel(painter, unit_, fonts_, PanelFramePen());
        DrawUnitSetupPanel(painter, unit_, kUnitSetupPanelTop, fonts_, PanelFramePen());
    }
    const QRgb navy = qRgb(16, 16, 128);
    const QRgb grey = PanelFramePen().color().rgb();
    const QFontMetrics label(fonts_.label);
    EXPECT_TRUE(HasColour(view_, QRect(10, 60, 100, label.height()), navy));
    EXPECT_TRUE(HasColour(view_, QRect(10, 170 + 231, 150, label.height()), navy));
    EXPECT_EQ(view_.pixel(5, 100), grey);
    EXPECT_EQ(view_.pixel(225, 300), grey);
    EXPECT_EQ(view_.pixel(100, 170 + 204), grey);  // separator
    EXPECT_EQ(view_.pixel(100, 170 + 253), grey);
    EXPECT_EQ(view_.pixel(100, 165), qRgb(255, 255, 255));  // between the two panels
}

TEST_F(UnitPanelsRender, ValueFieldsFitTheirMeasuredTexts) {
    unit_.m_bConnected = true;
    unit_.m_strSerialNumber = "SN-0123456789";
    QPainter painter(&view_);
    const PanelDrawing d = DrawUnitPropertiesPanel(painter, unit_, fonts_, PanelFramePen());
    const auto it = std::find_if(d.controls.begin(), d.controls.end(), [](const ControlUpdate& u) {
        return u.id == kIdEditSerialNumber;
    });
    ASSERT_NE(it, d.controls.end());
    const QFontMetrics metrics(fonts_.label);
    const PanelRect expected{metrics.horizontalAdvance("Serial Number:") + 15, 60,
                             metrics.horizontalAdvance("SN-0123456789") + 10, metrics.height()};
    EXPECT_EQ(it->geometry, expected);
}

}  // namespace
}  // namespace velquor
