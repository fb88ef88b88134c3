#include "app/print_snapshot.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <string>
#include <vector>

namespace velquor {
namespace {

TEST(ComputePrintPlacement, ScalesByTheSmallerFactorAndShortensBy20) {
    const struct {
        int pageW, pageH, w, h;
        PrintPlacement expected;
    } cases[] = {
        {2000, 3000, 500, 300, {10, 10, 1980, 1180}},  // width limits
        {3000, 1000, 500, 300, {677, 10, 1646, 980}},  // height limits, centred
        {1000, 600, 500, 300, {10, 10, 980, 580}},     // equal factors count as width-limited
        {300, 100, 50, 30, {77, 10, 146, 80}},        {9000, 13000, 543, 276, {10, 10, 8980, 4554}},
    };
    for (const auto& c : cases) {
        const auto p = ComputePrintPlacement(c.pageW, c.pageH, c.w, c.h);
        ASSERT_TRUE(p) << c.pageW << "x" << c.pageH;
        EXPECT_EQ(*p, c.expected) << c.pageW << "x" << c.pageH << " <- " << c.w << "x" << c.h
                                  << ": got " << p->left << "," << p->top << " " << p->width << "x"
                                  << p->height;
    }
}

TEST(ComputePrintPlacement, NothingToPlaceWithoutSizes) {
    EXPECT_FALSE(ComputePrintPlacement(2000, 3000, 0, 300));
    EXPECT_FALSE(ComputePrintPlacement(2000, 3000, 500, 0));
    EXPECT_FALSE(ComputePrintPlacement(0, 3000, 500, 300));
    EXPECT_FALSE(ComputePrintPlacement(2000, -1, 500, 300));
}

// A 50 x 30 snapshot in four coloured quarters.
QImage Quarters() {
    QImage image(50, 30, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, 25, 15, QColor(200, 0, 0));
    p.fillRect(25, 0, 25, 15, QColor(0, 150, 0));
    p.fillRect(0, 15, 25, 15, QColor(0, 0, 200));
    p.fillRect(25, 15, 25, 15, QColor(200, 200, 0));
    return image;
}

// Prints onto an image standing in for the page, with a one-pixel black pen.
QImage PrintOnto(QSize page, const QImage& snapshot, PrintedPage& printed,
                 std::vector<std::string>& messages) {
    QImage target(page, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    painter.setPen(QPen(Qt::black, 0));
    printed =
        PrintSnapshotPage(painter, QRect(QPoint(0, 0), page), snapshot,
                          [&messages](const QString& t) { messages.push_back(t.toStdString()); });
    return target;
}

bool Dark(QRgb c) {
    return qRed(c) < 60 && qGreen(c) < 60 && qBlue(c) < 60;
}

void ExpectFrame(const QImage& page, const QRect& frame) {
    const int right = frame.x() + frame.width();
    const int bottom = frame.y() + frame.height();
    for (int x = frame.x(); x <= right; x += 7) {
        EXPECT_TRUE(Dark(page.pixel(x, frame.y()))) << "top at " << x;
        EXPECT_TRUE(Dark(page.pixel(x, bottom))) << "bottom at " << x;
    }
    for (int y = frame.y(); y <= bottom; y += 7) {
        EXPECT_TRUE(Dark(page.pixel(frame.x(), y))) << "left at " << y;
        EXPECT_TRUE(Dark(page.pixel(right, y))) << "right at " << y;
    }
}

TEST(PrintSnapshotPage, WidthLimitedPictureFillsItsFrame) {
    PrintedPage printed;
    std::vector<std::string> messages;
    const QImage page = PrintOnto(QSize(200, 300), Quarters(), printed, messages);
    EXPECT_TRUE(printed.picture);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(printed.frame, QRect(10, 10, 180, 100));
    ExpectFrame(page, printed.frame);
    // Each quarter lands in its quarter of the frame (scale 3.6 x 3.33).
    EXPECT_EQ(page.pixel(40, 30), qRgb(200, 0, 0));
    EXPECT_EQ(page.pixel(160, 30), qRgb(0, 150, 0));
    EXPECT_EQ(page.pixel(40, 90), qRgb(0, 0, 200));
    EXPECT_EQ(page.pixel(160, 90), qRgb(200, 200, 0));
    // Nothing outside the frame.
    for (const QPoint p : {QPoint(5, 5), QPoint(195, 60), QPoint(100, 115), QPoint(100, 290)})
        EXPECT_EQ(page.pixel(p), qRgb(255, 255, 255)) << p.x() << "," << p.y();
}

TEST(PrintSnapshotPage, HeightLimitedPictureIsCentred) {
    PrintedPage printed;
    std::vector<std::string> messages;
    const QImage page = PrintOnto(QSize(300, 100), Quarters(), printed, messages);
    EXPECT_TRUE(printed.picture);
    EXPECT_EQ(printed.frame, QRect(77, 10, 146, 80));
    ExpectFrame(page, printed.frame);
    EXPECT_EQ(page.pixel(100, 25), qRgb(200, 0, 0));
    EXPECT_EQ(page.pixel(200, 75), qRgb(200, 200, 0));
    EXPECT_EQ(page.pixel(70, 50), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(230, 50), qRgb(255, 255, 255));
}

TEST(PrintSnapshotPage, WithoutASnapshotOnlyTheFrameIsPrinted) {
    PrintedPage printed;
    std::vector<std::string> messages;
    const QImage page = PrintOnto(QSize(200, 300), QImage(), printed, messages);
    EXPECT_FALSE(printed.picture);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(printed.frame, QRect(10, 10, 180, 280));
    ExpectFrame(page, printed.frame);
    int inked = 0;
    for (int y = 12; y < 289; ++y)
        for (int x = 12; x < 189; ++x)
            inked += page.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_EQ(inked, 0);
}

TEST(PrintSnapshotPage, APageTooSmallForAPictureStillGetsItsFrame) {
    PrintedPage printed;
    std::vector<std::string> messages;
    PrintOnto(QSize(15, 300), Quarters(), printed, messages);
    EXPECT_FALSE(printed.picture);
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace velquor

namespace velquor {
namespace {

TEST(ReasonAsSentence, AMessageBoxShowsASentence) {
    const std::pair<const char*, const char*> cases[] = {
        {"cannot tell the format of shot.bmp: name it .png, .jpg, .jpeg or .pdf",
         "Cannot tell the format of shot.bmp: name it .png, .jpg, .jpeg or .pdf."},
        {"cannot write /x.png: Permission denied", "Cannot write /x.png: Permission denied."},
        {"Already a sentence.", "Already a sentence."},
        {" no snapshot to save ", "No snapshot to save."},
        // A meter's name leads as it was typed.
        {"abc123: no meter with this serial number", "abc123: no meter with this serial number."},
        {"", ""},
    };
    for (const auto& [reason, shown] : cases)
        EXPECT_EQ(ReasonAsSentence(reason).toStdString(), shown);
}

}  // namespace
}  // namespace velquor
