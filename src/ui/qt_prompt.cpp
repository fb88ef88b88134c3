#include "ui/qt_prompt.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include "ui/dialog_sel_device.h"

namespace velquor {

template <typename F>
void CQtPrompt::OnGuiThread(F&& f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(app, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

void CQtPrompt::ShowMessage(const std::string& text, const std::string& caption) {
    OnGuiThread([&] {
        QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                        QString::fromStdString(text), QMessageBox::Ok, m_parent.data());
        // Device strings (serial numbers, identity texts) are never markup.
        box.setTextFormat(Qt::PlainText);
        box.setWindowRole("message");
        box.exec();
    });
}

bool CQtPrompt::AskYesNo(const std::string& text, const std::string& caption) {
    bool yes = false;
    OnGuiThread([&] {
        QMessageBox box(QMessageBox::Question, QString::fromStdString(caption),
                        QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No,
                        m_parent.data());
        box.setTextFormat(Qt::PlainText);
        box.setWindowRole("question");
        yes = box.exec() == QMessageBox::Yes;
    });
    return yes;
}

bool CQtPrompt::SelectDevice(const std::vector<std::string>& lines, int& selected) {
    bool ok = false;
    OnGuiThread([&] {
        CDialogSelDevice dialog(m_parent.data());
        for (const std::string& line : lines)
            dialog.m_arrDevices << QString::fromStdString(line);
        ok = dialog.exec() == QDialog::Accepted;
        if (ok)
            selected = dialog.m_nSelected;
    });
    return ok;
}

}  // namespace velquor
