#include "ui/resources.h"

#include <gtest/gtest.h>

namespace velquor {
namespace {

TEST(Resources, EveryBitmapHasItsSize) {
    const struct {
        int id;
        QSize size;
    } cases[] = {
        {131, {32, 32}},  {132, {32, 32}},  {133, {300, 20}}, {135, {171, 97}}, {136, {171, 97}},
        {137, {171, 97}}, {139, {100, 24}}, {140, {100, 24}}, {141, {24, 24}},  {142, {24, 24}},
        {143, {24, 24}},  {144, {24, 24}},  {145, {24, 24}},  {146, {24, 24}},  {147, {32, 32}},
        {148, {32, 32}},  {149, {150, 20}}, {151, {32, 32}},  {152, {32, 32}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LoadBitmapImage(c.id).size(), c.size) << c.id;
        EXPECT_EQ(LoadBitmapResource(c.id).size(), c.size) << c.id;
    }
    for (int id : {-1, 0, 128, 130, 134, 138, 150, 153, 9999}) {
        EXPECT_TRUE(LoadBitmapImage(id).isNull()) << id;
        EXPECT_TRUE(LoadBitmapResource(id).isNull()) << id;
    }
}

TEST(Resources, PressedButtonImagesDifferFromNormalOnes) {
    for (int pressed : {131, 141, 143, 145, 147, 151})
        EXPECT_NE(LoadBitmapImage(pressed), LoadBitmapImage(pressed + 1)) << pressed;
}

bool AllWhite(const QImage& image, int x0, int y0, int x1, int y1) {
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                return false;
        }
    }
    return true;
}

TEST(Resources, ReadoutBoxesAreWhereTheNumbersGo) {
    for (int id : {135, 136})
        EXPECT_TRUE(AllWhite(LoadBitmapImage(id), 35, 31, 135, 61)) << id;
    const QImage dial = LoadBitmapImage(137);
    EXPECT_TRUE(AllWhite(dial, 103, 44, 153, 60));
    EXPECT_TRUE(AllWhite(dial, 103, 67, 153, 83));
    EXPECT_NE(dial.pixel(51, 49), qRgb(255, 255, 255));           // dial hub under the needle
    EXPECT_TRUE(AllWhite(LoadBitmapImage(149), 68, 3, 141, 16));  // battery gauge interior
}

TEST(Resources, SensorPicturesLightOneLampEach) {
    const QImage watt = LoadBitmapImage(135);
    const QImage dbm = LoadBitmapImage(136);
    const QPoint dbmLamp(48, 80), wattLamp(102, 80);
    EXPECT_GT(qGreen(dbm.pixel(dbmLamp)), 200);
    EXPECT_LT(qGreen(dbm.pixel(wattLamp)), 120);
    EXPECT_GT(qGreen(watt.pixel(wattLamp)), 200);
    EXPECT_LT(qGreen(watt.pixel(dbmLamp)), 120);
}

TEST(Resources, ChannelBitmapsHaveTheirExactPixels) {
    const QRgb grey = qRgb(128, 128, 128), white = qRgb(255, 255, 255);
    const QImage plain = LoadBitmapImage(139);
    const QImage ticks = LoadBitmapImage(140);
    for (const QImage* image : {&plain, &ticks}) {
        EXPECT_EQ(image->pixel(0, 0), grey);
        EXPECT_EQ(image->pixel(99, 23), grey);
        EXPECT_EQ(image->pixel(9, 8), white);
        EXPECT_EQ(image->pixel(85, 9), white);
        EXPECT_EQ(image->pixel(50, 7), grey);
        EXPECT_EQ(image->pixel(50, 10), grey);
        EXPECT_EQ(image->pixel(8, 8), grey);
        EXPECT_EQ(image->pixel(86, 9), grey);
    }
    EXPECT_EQ(plain.pixel(50, 3), qRgb(0, 255, 255));
    EXPECT_EQ(plain.pixel(50, 20), qRgb(0, 255, 255));
    const QRgb field = qRgb(0, 128, 128);
    EXPECT_EQ(ticks.pixel(50, 3), field);
    EXPECT_EQ(ticks.pixel(2, 2), qRgb(0, 0, 128));
    for (int i = 0, x = 8; x <= 86; ++i, x += 3) {
        EXPECT_EQ(ticks.pixel(x, 20), white) << x;
        EXPECT_EQ(ticks.pixel(x, 22), white) << x;
        EXPECT_EQ(ticks.pixel(x, 18), i % 2 == 0 ? white : field) << x;
        EXPECT_EQ(ticks.pixel(x + 1, 21), field) << x;
    }
}

TEST(Resources, CheckStripCells) {
    const QImage strip = LoadBitmapImage(133);
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_EQ(strip.pixel(11, 10), white);   // empty box
    EXPECT_NE(strip.pixel(111, 10), white);  // ticked
    EXPECT_NE(strip.pixel(211, 10), white);  // greyed
    EXPECT_EQ(strip.pixel(50, 10), white);   // where the caption goes
    EXPECT_EQ(strip.pixel(150, 10), white);
    EXPECT_EQ(strip.pixel(250, 10), white);
}

TEST(Resources, AppIconComesInAllSizes) {
    const QIcon icon = LoadAppIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        EXPECT_EQ(icon.pixmap(size, size).size(), QSize(size, size)) << size;
    }
}

}  // namespace
}  // namespace velquor
