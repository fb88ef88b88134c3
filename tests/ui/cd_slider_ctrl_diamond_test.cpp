#include "ui/cd_slider_ctrl_diamond.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <string>
#include <vector>

#include "ui/ctrl_id.h"

namespace velquor {
namespace {

const QColor kBase(200, 200, 240);

class SliderTest : public testing::Test {
protected:
    void SetUp() override {
        SetCtrlId(&slider, 206);
        slider.InitColors();
        slider.SetRange(0, 100);
        slider.m_bPlainChannel = 1;
        slider.setGeometry(0, 0, 100, 24);
    }

    QImage Render() { return slider.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // A point in the middle of the drawn thumb.
    QPoint ThumbCentre() const {
        const ThumbRect r = slider.GetThumbItemRect();
        return {r.left + 5, r.top + 8};
    }

    void Hover(QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, slider.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(&slider, &move);
    }

    CCDSliderCtrlDiamond slider;
};

TEST_F(SliderTest, InitColorsDerivesLightAndDarkFromTheBase) {
    EXPECT_EQ(slider.m_crBase, kBase);
    EXPECT_EQ(slider.m_crLight, QColor(226, 226, 248));
    EXPECT_EQ(slider.m_crDark, QColor(86, 86, 209));
    slider.InitColors();  // repeatable
    EXPECT_EQ(slider.m_brushSolid.color(), kBase);
    const QImage pattern = slider.m_brushPattern.textureImage();
    ASSERT_EQ(pattern.size(), QSize(8, 8));
    EXPECT_EQ(pattern.pixelColor(0, 0), slider.m_crLight);
    EXPECT_EQ(pattern.pixelColor(1, 0), kBase);
    EXPECT_EQ(slider.pageStep(), 20);
}

TEST_F(SliderTest, IdleThumbIsSolidAndPressedThumbIsCheckered) {
    const ThumbRect r = slider.GetThumbItemRect();
    QImage image = Render();
    for (int y = r.top + 3; y <= r.top + 12; ++y) {
        for (int x = r.left + 2; x <= r.left + 8; ++x)
            ASSERT_EQ(image.pixelColor(x, y), kBase) << x << "," << y;
    }
    // The plain channel bitmap is under the rest of the control.
    EXPECT_EQ(image.pixelColor(50, 3), QColor(0, 255, 255));

    slider.setSliderDown(true);
    image = Render();
    const SliderPoint origin = PatternOrigin(r);
    int light = 0;
    for (int y = r.top + 3; y <= r.top + 12; ++y) {
        for (int x = r.left + 2; x <= r.left + 8; ++x) {
            const QColor expected = CheckerBitAt(x, y, origin) ? kBase : slider.m_crLight;
            ASSERT_EQ(image.pixelColor(x, y), expected) << x << "," << y;
            light += expected == slider.m_crLight;
        }
    }
    EXPECT_GT(light, 20);
}

TEST_F(SliderTest, HoverHighlightsTheThumbOnlyWhileOverIt) {
    slider.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
    slider.clearFocus();
    EXPECT_FALSE(slider.IsThumbHighlighted());
    Hover(ThumbCentre());
    EXPECT_TRUE(slider.IsThumbHighlighted());
    Hover({95, 8});
    EXPECT_FALSE(slider.IsThumbHighlighted());
}

TEST_F(SliderTest, PlainChannelNeverShadesTheThumb) {
    slider.SetPos(100);
    const ThumbRect r = slider.GetThumbItemRect();
    EXPECT_EQ(Render().pixelColor(r.left + 5, r.top + 8), kBase);
}

TEST_F(SliderTest, TickChannelShadesTheThumbByPosition) {
    slider.m_bPlainChannel = 0;
    slider.SetPos(0);
    ThumbRect r = slider.GetThumbItemRect();
    QImage image = Render();
    EXPECT_EQ(image.pixelColor(r.left + 5, r.top + 8), kBase);  // alpha 0
    EXPECT_EQ(image.pixelColor(50, 3), QColor(0, 128, 128));

    slider.SetPos(100);
    r = slider.GetThumbItemRect();
    const QColor shaded = Render().pixelColor(r.left + 5, r.top + 8);
    // 100/255 of RGB(10, 10, 10) over the base colour.
    const double a = 100.0 / 255.0;
    EXPECT_NEAR(shaded.red(), 200 * (1 - a) + 10 * a, 2.0);
    EXPECT_NEAR(shaded.green(), 200 * (1 - a) + 10 * a, 2.0);
    EXPECT_NEAR(shaded.blue(), 240 * (1 - a) + 10 * a, 2.0);
}

class SliderNotifyTest : public SliderTest {
protected:
    void SetUp() override {
        SliderTest::SetUp();
        slider.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
        QCoreApplication::processEvents();
    }
};

TEST_F(SliderNotifyTest, ReleaseAfterRepaintNotifiesOnceWithTheCurrentPosition) {
    QSignalSpy spy(&slider, &CCDSliderCtrlDiamond::released);
    slider.repaint();
    ASSERT_TRUE(slider.m_bNotifyPending);

    QTest::mouseClick(&slider, Qt::LeftButton, {}, ThumbCentre());
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toInt(), 206);
    EXPECT_EQ(spy[0][1].toInt(), SLN_RELEASED);
    EXPECT_EQ(spy[0][2].toInt(), 0);
    EXPECT_FALSE(slider.m_bNotifyPending);

    // No thumb paint in between: the next release says nothing.
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, ThumbCentre());
    EXPECT_EQ(spy.count(), 1);

    // A repaint re-arms it, even though the position did not change.
    slider.repaint();
    QTest::mouseClick(&slider, Qt::LeftButton, {}, ThumbCentre());
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy[1][2].toInt(), 0);
}

TEST_F(SliderNotifyTest, ReportsThePositionAfterThePressMovedIt) {
    QSignalSpy spy(&slider, &CCDSliderCtrlDiamond::released);
    slider.repaint();
    QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(60, 8));  // right of the thumb
    EXPECT_EQ(slider.GetPos(), 20);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][2].toInt(), 20);
}

TEST_F(SliderNotifyTest, DragEndsAfterTheNotification) {
    std::vector<std::string> order;
    bool downWhenNotified = false;
    QObject::connect(&slider, &CCDSliderCtrlDiamond::released, [&](int, int, int) {
        order.push_back("released");
        downWhenNotified = slider.isSliderDown();
    });
    QObject::connect(&slider, &QSlider::sliderReleased, [&] { order.push_back("sliderReleased"); });
    QSignalSpy spy(&slider, &CCDSliderCtrlDiamond::released);

    slider.repaint();
    const QPoint start = ThumbCentre();
    QTest::mousePress(&slider, Qt::LeftButton, {}, start);
    ASSERT_TRUE(slider.isSliderDown());
    QMouseEvent move(QEvent::MouseMove, QPoint(start.x() + 38, start.y()),
                     slider.mapToGlobal(QPoint(start.x() + 38, start.y())), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&slider, &move);
    EXPECT_EQ(slider.GetPos(), 50);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(start.x() + 38, start.y()));

    EXPECT_EQ(order, (std::vector<std::string>{"released", "sliderReleased"}));
    EXPECT_TRUE(downWhenNotified);
    EXPECT_FALSE(slider.isSliderDown());
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][2].toInt(), 50);
}

TEST_F(SliderNotifyTest, OtherButtonsDoNotNotify) {
    QSignalSpy spy(&slider, &CCDSliderCtrlDiamond::released);
    slider.repaint();
    QTest::mouseClick(&slider, Qt::RightButton, {}, ThumbCentre());
    EXPECT_EQ(spy.count(), 0);
    EXPECT_TRUE(slider.m_bNotifyPending);
}

}  // namespace
}  // namespace velquor
