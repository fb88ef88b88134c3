#include "ui/picture.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <string>
#include <vector>

#include "ui/bitmap_to_dib.h"

namespace velquor {
namespace {

// Collects the texts CPicture would show.
struct Messages {
    PictureMessageSink Sink() {
        return [this](const QString& text) { texts.push_back(text.toStdString()); };
    }
    std::vector<std::string> texts;
};

// A BMP file image: left half red, right half blue.
std::vector<std::uint8_t> RedBlueBmp() {
    QImage image(4, 2, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    return MakeBmpFileImage(BitmapToDib({}, image, 24));
}

TEST(CPicture, LoadsABmpFileImageAndStretchesItIntoTheRectangle) {
    Messages messages;
    CPicture picture(messages.Sink());
    const std::vector<std::uint8_t> file = RedBlueBmp();
    ASSERT_TRUE(picture.LoadFromBuffer(file.data(), file.size()));
    ASSERT_TRUE(picture.m_pPicture);

    QImage target(100, 60, QImage::Format_RGB32);
    target.fill(Qt::white);
    {
        QPainter painter(&target);
        EXPECT_TRUE(picture.Draw(&painter, QRect(10, 20, 80, 30)));
    }
    // Stretched without keeping the ratio: 80 x 30, red left of x 50, blue right of it.
    EXPECT_EQ(target.pixel(12, 22), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(45, 47), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(55, 22), qRgb(0, 0, 255));
    EXPECT_EQ(target.pixel(88, 47), qRgb(0, 0, 255));
    for (const QPoint p : {QPoint(9, 30), QPoint(91, 30), QPoint(50, 19), QPoint(50, 51)})
        EXPECT_EQ(target.pixel(p), qRgb(255, 255, 255)) << p.x() << "," << p.y();
    EXPECT_TRUE(messages.texts.empty());
}

TEST(CPicture, ABufferThatIsNoPictureLoadsQuietlyAndDrawsNothing) {
    Messages messages;
    CPicture picture(messages.Sink());
    const std::string junk = "this is not a bitmap";
    EXPECT_TRUE(
        picture.LoadFromBuffer(reinterpret_cast<const std::uint8_t*>(junk.data()), junk.size()));
    EXPECT_FALSE(picture.m_pPicture);
    QImage target(10, 10, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    EXPECT_FALSE(picture.Draw(&painter, QRect(0, 0, 10, 10)));
    EXPECT_TRUE(messages.texts.empty());

    // A truncated BMP is no picture either, and a picture held before is dropped.
    const std::vector<std::uint8_t> file = RedBlueBmp();
    ASSERT_TRUE(picture.LoadFromBuffer(file.data(), file.size()));
    ASSERT_TRUE(picture.m_pPicture);
    EXPECT_TRUE(picture.LoadFromBuffer(file.data(), 20));
    EXPECT_FALSE(picture.m_pPicture);
    EXPECT_TRUE(messages.texts.empty());
}

TEST(CPicture, DrawWithoutATargetFailsSilently) {
    Messages messages;
    CPicture picture(messages.Sink());
    const std::vector<std::uint8_t> file = RedBlueBmp();
    ASSERT_TRUE(picture.LoadFromBuffer(file.data(), file.size()));
    EXPECT_FALSE(picture.Draw(nullptr, QRect(0, 0, 10, 10)));
    EXPECT_TRUE(messages.texts.empty());
}

TEST(CPicture, ReportsFailuresWithTheirTexts) {
    Messages messages;
    // A painter that paints on nothing: the render fails.
    CPicture picture(messages.Sink());
    const std::vector<std::uint8_t> file = RedBlueBmp();
    ASSERT_TRUE(picture.LoadFromBuffer(file.data(), file.size()));
    QPainter idle;
    EXPECT_FALSE(picture.Draw(&idle, QRect(0, 0, 10, 10)));
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Can not allocate enough memory\t");

    // No reader for the format at all.
    CPicture unreadable(messages.Sink(), "no-such-format");
    EXPECT_FALSE(unreadable.LoadFromBuffer(file.data(), file.size()));
    ASSERT_EQ(messages.texts.size(), 2u);
    EXPECT_EQ(messages.texts[1], "IPicture interface is not supported\t");

    // A null buffer is refused without a message.
    EXPECT_FALSE(picture.LoadFromBuffer(nullptr, 10));
    EXPECT_EQ(messages.texts.size(), 2u);
}

}  // namespace
}  // namespace velquor
