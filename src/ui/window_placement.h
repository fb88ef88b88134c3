#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace velquor {

// Where a window whose frame is `size` goes beside `anchor` (another window's frame)
// on a screen whose free area is `screen`: right of the anchor if it fits there,
// else left of it, else pushed in from the right edge; level with the anchor's top.
// The result always keeps the window on the screen (its top-left corner when the
// window is larger than the screen).
QPoint PlaceBeside(const QRect& anchor, const QSize& size, const QRect& screen, int gap);

// The position that keeps a window with this frame on the screen, moving it as
// little as possible.
QPoint KeepOnScreen(const QRect& frame, const QRect& screen);

}  // namespace velquor
