#include "ui/dialog_sel_device.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ctrl_id.h"

namespace velquor {

CDialogSelDevice::CDialogSelDevice(QWidget* parent)
    : QDialog(parent), m_listDevices(new QListWidget(this)) {
    setWindowTitle("Select Power Meter Devices");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Power Meter Devices:", this));
    m_listDevices->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listDevices->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_listDevices->setSortingEnabled(false);
    SetCtrlId(m_listDevices, kListId);
    layout->addWidget(m_listDevices);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    SetCtrlId(ok, 1);
    SetCtrlId(cancel, 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &CDialogSelDevice::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDialogSelDevice::reject);
    layout->addWidget(buttons);
    resize(240, 150);
}

void CDialogSelDevice::OnInitDialog() {
    m_listDevices->clear();
    m_listDevices->addItems(m_arrDevices);
    m_listDevices->setCurrentRow(0);
    m_nSelected = 0;
}

int CDialogSelDevice::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void CDialogSelDevice::accept() {
    const int row = m_listDevices->currentRow();
    m_nSelected = row < 0 ? 0 : row;
    QDialog::accept();
}

}  // namespace velquor
