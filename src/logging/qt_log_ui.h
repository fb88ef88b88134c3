#pragma once

#include <QPointer>
#include <QWidget>

#include "logging/dialog_save_table.h"
#include "logging/log_ui.h"

namespace velquor {

// The logger's modal parts with Qt: message boxes, CDialogSaveTable and the
// desktop's "open" action.
class CQtLogUi : public ILogUi {
public:
    // view owns the message boxes and the dialog; it may go away before this object.
    explicit CQtLogUi(QWidget* view) : m_pView(view) {}

    void ShowMessage(const std::string& text, const std::string& caption,
                     bool ownedByView) override;
    std::optional<LogFileOptions> AskSaveOptions() override;
    void OpenFile(const std::string& path) override;

private:
    QPointer<QWidget> m_pView;
};

}  // namespace velquor
