#include "ui/check_image_button.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "ui/ctrl_id.h"
#include "ui/resources.h"

namespace velquor {
namespace {

const QColor kUnpainted(255, 0, 255);

TEST(CheckImageButtonLogic, StripCell) {
    const struct {
        int check;
        bool enabled;
        int cell;
    } cases[] = {{0, true, 0},  {1, true, 1}, {2, true, 2},  {0, false, 2},
                 {1, false, 2}, {5, true, 0}, {-1, true, 0}, {5, false, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(CheckStripCell(c.check, c.enabled), c.cell) << c.check << " " << c.enabled;
}

TEST(CheckImageButtonLogic, QueryClickAndSet) {
    const int query[][2] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {-1, 0}};
    for (const auto& q : query)
        EXPECT_EQ(CheckQueryResult(q[0]), q[1]) << q[0];

    EXPECT_EQ(ClickedCheck(0, true), 1);
    EXPECT_EQ(ClickedCheck(1, true), 0);
    EXPECT_EQ(ClickedCheck(2, true), 2);
    EXPECT_EQ(ClickedCheck(0, false), 0);
    EXPECT_EQ(ClickedCheck(1, false), 1);

    EXPECT_EQ(SetCheckResult(1, 0), 0);
    EXPECT_EQ(SetCheckResult(0, 2), 2);
    EXPECT_EQ(SetCheckResult(1, 3), 1);
    EXPECT_EQ(SetCheckResult(2, -1), 2);
}

class CheckButtonTest : public testing::Test {
protected:
    void SetUp() override {
        SetCtrlId(&button, 110);
        button.setGeometry(0, 0, 100, 20);
        button.m_font = QFont("Arial", 9);
        button.m_strCaption = "dBm";
        button.m_bAutoToggle = true;
    }

    // Drawn without a background, so unpainted pixels keep the marker colour.
    QImage Render() {
        QImage image(button.size(), QImage::Format_RGB32);
        image.fill(kUnpainted);
        button.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
        return image;
    }

    // The box part of the control (left of the caption) equals the strip's cell.
    static bool ShowsCell(const QImage& image, int cell) {
        const QImage strip = LoadBitmapImage(kBmpCheckStrip);
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 25; ++x) {
                if (image.pixel(x, y) != strip.pixel(cell * 100 + x, y))
                    return false;
            }
        }
        return true;
    }

    CCheckImageButton button;
};

TEST_F(CheckButtonTest, PaintsNothingBeforeTheStripIsLoaded) {
    const QImage image = Render();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixelColor(x, y), kUnpainted);
    }
}

TEST_F(CheckButtonTest, LoadStripTakesTheCellSizeFromTheBitmap) {
    button.LoadStrip();
    ASSERT_NE(button.m_pStrip, nullptr);
    EXPECT_EQ(button.m_pStrip->size(), QSize(300, 20));
    EXPECT_EQ(button.m_nCellWidth, 100);
    EXPECT_EQ(button.m_nCellHeight, 20);
    button.LoadStrip();  // replaces the copy
    EXPECT_NE(button.m_pStrip, nullptr);
}

TEST_F(CheckButtonTest, DrawsTheCellOfItsStateAndTheGreyedCellWhenDisabled) {
    button.LoadStrip();
    for (int check : {0, 1, 2}) {
        button.m_nCheck = check;
        EXPECT_TRUE(ShowsCell(Render(), check)) << check;
    }
    button.setEnabled(false);
    for (int check : {0, 1, 2}) {
        button.m_nCheck = check;
        EXPECT_TRUE(ShowsCell(Render(), 2)) << check;
    }
}

TEST_F(CheckButtonTest, DrawsTheCaptionNotTheWindowText) {
    button.LoadStrip();
    button.setWindowTitle("Show dBM");
    button.m_crText = QColor(10, 10, 100);
    auto darkPixelsRightOfBox = [&] {
        const QImage image = Render();
        int dark = 0;
        for (int y = 1; y < 19; ++y) {
            for (int x = 25; x < 95; ++x)
                dark += qGray(image.pixel(x, y)) < 128;
        }
        return dark;
    };
    EXPECT_GT(darkPixelsRightOfBox(), 5);
    button.m_strCaption.clear();
    EXPECT_EQ(darkPixelsRightOfBox(), 0);
}

TEST_F(CheckButtonTest, ClickTogglesAndAlwaysNotifies) {
    button.LoadStrip();
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    QSignalSpy spy(&button, &CCheckImageButton::command);

    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(button.m_nCheck, 1);
    EXPECT_EQ(button.GetCheck(), 1);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(button.m_nCheck, 0);

    button.m_nCheck = 2;
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(button.m_nCheck, 2);

    button.m_bAutoToggle = false;
    button.m_nCheck = 1;
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(button.m_nCheck, 1);

    ASSERT_EQ(spy.count(), 4);
    for (const auto& args : spy) {
        EXPECT_EQ(args[0].toInt(), 110);
        EXPECT_EQ(args[1].toInt(), 0);
    }

    // A disabled control gets no clicks at all.
    button.setEnabled(false);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(button.m_nCheck, 1);
    EXPECT_EQ(spy.count(), 4);
}

TEST_F(CheckButtonTest, SetCheckIgnoresUnknownStatesButStillRepaints) {
    button.LoadStrip();
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    QCoreApplication::processEvents();

    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    button.installEventFilter(&counter);

    EXPECT_EQ(button.SetCheck(1), 0);
    EXPECT_EQ(button.m_nCheck, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 5000));

    counter.paints = 0;
    EXPECT_EQ(button.SetCheck(3), 0);
    EXPECT_EQ(button.m_nCheck, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 5000));

    button.m_nCheck = 7;  // written directly by an owner
    EXPECT_EQ(button.GetCheck(), 0);
    EXPECT_TRUE(ShowsCell(Render(), 0));
}

}  // namespace
}  // namespace velquor
