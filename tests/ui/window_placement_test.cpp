#include "ui/window_placement.h"

#include <gtest/gtest.h>

namespace velquor {
namespace {

TEST(PlaceBeside, AWindowBesideAnotherStaysOnTheScreen) {
    const QRect screen(0, 0, 1280, 800);
    const QSize panel(260, 250);
    const struct {
        QRect anchor;
        QPoint expected;
    } cases[] = {
        // Room on the right.
        {QRect(0, 40, 768, 532), QPoint(776, 40)},
        // The main window at x = 480: the right has 32 pixels, the left has room.
        {QRect(480, 100, 768, 532), QPoint(212, 100)},
        // Neither side has room: against the right edge.
        {QRect(100, 0, 1100, 532), QPoint(1020, 0)},
        // The anchor low on the screen: pulled up so the bottom shows.
        {QRect(0, 700, 768, 532), QPoint(776, 550)},
        // The anchor partly off the screen to the left.
        {QRect(-600, 10, 768, 532), QPoint(176, 10)},
    };
    for (const auto& c : cases) {
        const QPoint at = PlaceBeside(c.anchor, panel, screen, 8);
        EXPECT_EQ(at, c.expected) << c.anchor.x() << "," << c.anchor.y();
        EXPECT_TRUE(screen.contains(QRect(at, panel)));
    }
}

TEST(KeepOnScreen, MovesAsLittleAsNeededAndKeepsTheTitleBarReachable) {
    const QRect screen(0, 24, 1280, 776);  // a panel above takes the top 24 pixels
    EXPECT_EQ(KeepOnScreen(QRect(100, 100, 300, 200), screen), QPoint(100, 100));
    EXPECT_EQ(KeepOnScreen(QRect(1254, 100, 300, 200), screen), QPoint(980, 100));
    EXPECT_EQ(KeepOnScreen(QRect(-50, 0, 300, 200), screen), QPoint(0, 24));
    // Larger than the screen: its top-left corner is on it.
    EXPECT_EQ(KeepOnScreen(QRect(500, 500, 1500, 900), screen), QPoint(0, 24));
}

}  // namespace
}  // namespace velquor
