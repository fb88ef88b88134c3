#include "ui/image_text_button.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "ui/ctrl_id.h"
#include "ui/resources.h"

namespace velquor {
namespace {

TEST(ImageTextButtonLogic, ChoosesTheImageByLookAndCount) {
    const struct {
        int count;
        ButtonLook look;
        int image;
    } cases[] = {
        {2, ButtonLook::Normal, 0},   {2, ButtonLook::Pressed, 1}, {2, ButtonLook::Disabled, 0},
        {3, ButtonLook::Disabled, 2}, {3, ButtonLook::Pressed, 1}, {1, ButtonLook::Pressed, 0},
        {1, ButtonLook::Disabled, 0}, {0, ButtonLook::Normal, -1}, {4, ButtonLook::Disabled, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseButtonImage(c.count, c.look), c.image)
            << c.count << " " << static_cast<int>(c.look);
    }
}

TEST(ImageTextButtonLogic, TextFormatFlags) {
    EXPECT_EQ(TextFormatToQtFlags(37), Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine);
    EXPECT_EQ(TextFormatToQtFlags(0), Qt::AlignLeft | Qt::AlignTop);
    EXPECT_EQ(TextFormatToQtFlags(kDtRight | kDtBottom | kDtSingleLine),
              Qt::AlignRight | Qt::AlignBottom | Qt::TextSingleLine);
    // Vertical centring needs a single line.
    EXPECT_EQ(TextFormatToQtFlags(kDtVCenter | kDtWordBreak),
              Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
}

class ImageButtonTest : public testing::Test {
protected:
    void SetUp() override {
        SetCtrlId(&button, 207);
        button.setText("Play");
    }

    QImage Render() { return button.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    static bool SameImage(const QImage& a, int bitmapId) { return a == LoadBitmapImage(bitmapId); }

    CImageTextButton button;
};

TEST_F(ImageButtonTest, LoadBitmapsRecordsTheImages) {
    ASSERT_TRUE(button.LoadBitmaps(kBmpPlay, kBmpPlayPressed));
    EXPECT_TRUE(button.m_bImagesLoaded);
    EXPECT_EQ(button.ImageCount(), 2);
    EXPECT_EQ(button.m_rcImage, QRect(0, 0, 24, 24));
    EXPECT_EQ(button.m_bmInfo.bmWidth, 24);
    EXPECT_EQ(button.m_bmInfo.bmHeight, 24);
    EXPECT_EQ(button.sizeHint(), QSize(24, 24));

    // A second call replaces both images.
    ASSERT_TRUE(button.LoadBitmaps(kBmpArrow, kBmpArrowPressed));
    EXPECT_EQ(button.ImageCount(), 2);
    EXPECT_EQ(button.m_rcImage, QRect(0, 0, 32, 32));
    button.resize(32, 32);
    EXPECT_TRUE(SameImage(Render(), kBmpArrow));
}

TEST_F(ImageButtonTest, ImageFollowsTheButtonState) {
    ASSERT_TRUE(button.LoadBitmaps(kBmpPlay, kBmpPlayPressed));
    button.resize(24, 24);
    EXPECT_TRUE(SameImage(Render(), kBmpPlay));
    button.setDown(true);
    EXPECT_TRUE(SameImage(Render(), kBmpPlayPressed));
    button.setDown(false);
    button.setEnabled(false);  // no third image: the normal one
    EXPECT_TRUE(SameImage(Render(), kBmpPlay));

    ASSERT_TRUE(button.LoadBitmaps(kBmpPlay, kBmpPlayPressed, kBmpStop));
    EXPECT_EQ(button.ImageCount(), 3);
    EXPECT_TRUE(SameImage(Render(), kBmpStop));
}

TEST_F(ImageButtonTest, MissingNormalBitmapLeavesOnlyTheFrame) {
    button.resize(40, 30);
    EXPECT_FALSE(button.LoadBitmaps(9999, kBmpPlayPressed));
    EXPECT_FALSE(button.m_bImagesLoaded);
    EXPECT_EQ(button.ImageCount(), 0);
    const QImage image = Render();
    EXPECT_EQ(image.size(), QSize(40, 30));
    EXPECT_EQ(image.pixelColor(20, 15), button.palette().button().color());

    // A failed reload drops images loaded before.
    ASSERT_TRUE(button.LoadBitmaps(kBmpPlay, kBmpPlayPressed));
    EXPECT_FALSE(button.LoadBitmaps(9999, 9998));
    EXPECT_FALSE(button.m_bImagesLoaded);
    EXPECT_EQ(button.ImageCount(), 0);
}

TEST_F(ImageButtonTest, MissingPressedBitmapKeepsTheNormalOne) {
    ASSERT_TRUE(button.LoadBitmaps(kBmpPlay, 9999));
    EXPECT_EQ(button.ImageCount(), 1);
    button.resize(24, 24);
    button.setDown(true);
    EXPECT_TRUE(SameImage(Render(), kBmpPlay));
}

TEST_F(ImageButtonTest, TakesTheImageSizeAtItsFirstDrawing) {
    QWidget parent;
    parent.resize(100, 100);
    button.setParent(&parent);
    button.setGeometry(10, 20, 50, 50);
    ASSERT_TRUE(button.LoadBitmaps(kBmpUsb, kBmpUsbPressed));
    EXPECT_EQ(button.size(), QSize(50, 50));  // loading alone does not resize
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    button.repaint();
    EXPECT_TRUE(QTest::qWaitFor([&] { return button.size() == QSize(32, 32); }, 5000));
    EXPECT_EQ(button.pos(), QPoint(10, 20));
    button.setParent(nullptr);  // the fixture owns it
}

TEST_F(ImageButtonTest, ClickSendsTheCommandId) {
    ASSERT_TRUE(button.LoadBitmaps(kBmpPlay, kBmpPlayPressed));
    button.resize(24, 24);
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    QSignalSpy spy(&button, &CImageTextButton::command);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(12, 12));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toInt(), 207);
    EXPECT_EQ(spy[0][1].toInt(), 0);

    button.setEnabled(false);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(spy.count(), 1);
}

// Counts pixels of exactly this colour: a large bold caption has fully covered pixels.
int CountColour(const QImage& image, const QColor& colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == colour;
    }
    return n;
}

TEST_F(ImageButtonTest, CaptionColourDependsOnImagesAndState) {
    QFont font("Liberation Sans");
    font.setPixelSize(22);
    font.setBold(true);
    button.m_font = font;
    button.m_strCaption = "W";
    button.resize(32, 32);

    // Without images the caption is drawn in its fixed blue.
    EXPECT_GT(CountColour(Render(), QColor(20, 20, 200)), 5);

    ASSERT_TRUE(button.LoadBitmaps(kBmpArrow, kBmpArrowPressed));
    button.m_crText = QColor(255, 0, 0);
    button.m_crTextDisabled = QColor(0, 160, 0);
    EXPECT_GT(CountColour(Render(), QColor(255, 0, 0)), 5);
    button.setEnabled(false);
    QImage disabled = Render();
    EXPECT_GT(CountColour(disabled, QColor(0, 160, 0)), 5);
    EXPECT_EQ(CountColour(disabled, QColor(255, 0, 0)), 0);

    // At a set point the caption's top-left corner is there.
    button.setEnabled(true);
    button.m_nTextX = 16;
    button.m_nTextY = 0;
    const QImage placed = Render();
    int leftHalf = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 14; ++x)
            leftHalf += placed.pixelColor(x, y) == QColor(255, 0, 0);
    }
    EXPECT_EQ(leftHalf, 0);
    EXPECT_GT(CountColour(placed, QColor(255, 0, 0)), 5);
}

}  // namespace
}  // namespace velquor
