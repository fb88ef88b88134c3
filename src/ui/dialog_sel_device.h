#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;

namespace velquor {

// The modal choice between several attached meters.
class CDialogSelDevice : public QDialog {
    Q_OBJECT
public:
    static constexpr int kListId = 1000;

    explicit CDialogSelDevice(QWidget* parent = nullptr);

    // Lines to offer, filled before the dialog is shown.
    QStringList m_arrDevices;
    // Position of the chosen line once the dialog returned OK.
    int m_nSelected = 0;

    int exec() override;
    void accept() override;

    QListWidget* List() const { return m_listDevices; }

private:
    void OnInitDialog();

    QListWidget* m_listDevices;
};

}  // namespace velquor
