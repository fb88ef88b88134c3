#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace velquor {

// How long a sequence runs before the busy indication appears.
inline constexpr int kBusyShowDelayMs = 300;
// Room beside the indication's title for the window manager's icon and buttons.
inline constexpr int kBusyTitleAllowancePx = 120;
// Object name and window role of the busy indication (tests and the walk-through
// find it by them).
inline constexpr const char* kBusyObjectName = "busyIndicator";

// Runs a blocking sequence on a helper thread while the GUI thread shows a busy
// indication and keeps painting; user input reaches no other window meanwhile,
// but a window's close request does. Returns when the sequence has finished;
// the thread is joined before this returns.
//
// The indication never covers a window the sequence (or anything else) raises
// meanwhile: while another modal window is shown the indication is hidden, and it
// comes back only after the delay once that window has gone.
void RunBusy(QWidget* parent, const QString& text, const std::function<void()>& sequence,
             int showDelayMs = kBusyShowDelayMs);

}  // namespace velquor
