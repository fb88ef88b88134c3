#include "ui/save_file_dialog.h"

#include <QFileDialog>

namespace velquor {

QString AskSaveFile(QWidget* parent, const QString& caption, const QString& defaultName,
                    const QString& filter, const QString& defaultSuffix) {
    // Not the static getSaveFileName: it leaves a typed name without its extension.
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.selectFile(defaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

}  // namespace velquor
