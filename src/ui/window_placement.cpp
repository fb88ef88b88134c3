#include "ui/window_placement.h"

#include <algorithm>

namespace velquor {

QPoint KeepOnScreen(const QRect& frame, const QRect& screen) {
    // The top-left corner wins over the bottom-right one: a title bar off the
    // screen could not be grabbed to move the window back.
    const int x = std::max(std::min(frame.x(), screen.right() + 1 - frame.width()), screen.x());
    const int y = std::max(std::min(frame.y(), screen.bottom() + 1 - frame.height()), screen.y());
    return {x, y};
}

QPoint PlaceBeside(const QRect& anchor, const QSize& size, const QRect& screen, int gap) {
    int x = anchor.right() + 1 + gap;
    if (x + size.width() > screen.right() + 1) {
        const int left = anchor.x() - gap - size.width();
        x = left >= screen.x() ? left : screen.right() + 1 - size.width();
    }
    return KeepOnScreen(QRect(QPoint(x, anchor.y()), size), screen);
}

}  // namespace velquor
