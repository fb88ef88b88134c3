#include "app/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ctrl_id.h"
#include "ui/resources.h"

namespace velquor {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Velquor");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* row = new QHBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(LoadAppIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    row->addWidget(icon);
    auto* text = new QLabel(kAboutVersionText, this);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    row->addWidget(text, 1);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    SetCtrlId(ok, 1);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* column = new QVBoxLayout;
    column->addWidget(ok);
    column->addStretch(1);
    row->addLayout(column);
    resize(352, 90);
}

}  // namespace velquor
