#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace velquor {

// Runs a blocking sequence on a helper thread while the GUI thread shows a modal
// busy indication and keeps painting. Returns when the sequence has finished;
// the thread is joined before this returns.
void RunBusy(QWidget* parent, const QString& text, const std::function<void()>& sequence);

}  // namespace velquor
