#include "logging/qt_log_ui.h"

#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>
#include <QUrl>

namespace velquor {

void CQtLogUi::ShowMessage(const std::string& text, const std::string& caption, bool ownedByView) {
    QMessageBox box(ownedByView ? m_pView.data() : nullptr);
    box.setWindowTitle(QString::fromLocal8Bit(caption));
    // File names and system messages are never markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowRole("message");
    box.setText(QString::fromLocal8Bit(text));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

std::optional<LogFileOptions> CQtLogUi::AskSaveOptions() {
    CDialogSaveTable dialog(m_pView.data());
    if (dialog.exec() != QDialog::Accepted || !dialog.m_bFileChosen)
        return std::nullopt;
    LogFileOptions options;
    options.path = QFile::encodeName(dialog.m_strPathName).toStdString();
    options.delimiter = dialog.GetDelimiter();
    options.includeHeader = dialog.m_bIncludeHeader;
    options.includeIndex = dialog.m_bIncludeIndex;
    return options;
}

void CQtLogUi::OpenFile(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path.c_str())));
}

}  // namespace velquor
