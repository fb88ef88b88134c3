#include "app/print_snapshot.h"

#include <QFileDialog>
#include <QMessageBox>

#include "app/main_frame.h"
#include "app/velquor_doc.h"
#include "meter/prompt.h"
#include "ui/velquor_view.h"

namespace velquor {

void ConnectPrintCommands(CMainFrame& frame, CVelquorView& view) {
    const auto notYet = [&frame] {
        QMessageBox::information(&frame, kAppTitle, "Printing is not available yet.");
    };
    QObject::connect(&frame, &CMainFrame::printRequested, &frame, notYet);
    QObject::connect(&frame, &CMainFrame::printPreviewRequested, &frame, notYet);
    QObject::connect(&frame, &CMainFrame::printSetupRequested, &frame, notYet);
    QObject::connect(&frame, &CMainFrame::saveSnapshotRequested, &frame, [&frame, &view] {
        const QString path = QFileDialog::getSaveFileName(&frame, "Save Snapshot As",
                                                          "snapshot.png", "PNG images (*.png)");
        if (path.isEmpty())
            return;
        QString reason;
        if (!WriteSnapshotFile(view, path, reason))
            QMessageBox::warning(&frame, kAppTitle, reason);
    });
}

bool WriteSnapshotFile(CVelquorView& view, const QString& file, QString& reason) {
    view.repaint();
    const CVelquorDoc* doc = view.GetDocument();
    if (doc == nullptr || !doc->m_pSnapshot || doc->m_pSnapshot->isNull()) {
        reason = "no snapshot to save: the window has not been drawn at a usable size";
        return false;
    }
    if (!doc->m_pSnapshot->save(file, "PNG")) {
        reason = "cannot write " + file;
        return false;
    }
    return true;
}

}  // namespace velquor
