#include "app/limits_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

#include "meter/number_format.h"
#include "meter/prompt.h"

namespace velquor {

namespace {

QString Number(double value) {
    return QString::fromStdString(FormatC("%g", value));
}

}  // namespace

CLimitsDialog::CLimitsDialog(CMeasureController& measure, QWidget* parent)
    : QDialog(parent), m_measure(measure) {
    setWindowTitle("Limits");
    const measure::UserLimits& limits = measure.Settings().limits;
    m_upperOn = new QCheckBox("&Upper limit (dBm):", this);
    m_upperOn->setObjectName("upperOn");
    m_upperOn->setChecked(limits.upper_dbm.has_value());
    m_upper = new QLineEdit(Number(limits.upper_dbm.value_or(measure.UpperLimitValue())), this);
    m_upper->setObjectName("upper");
    m_lowerOn = new QCheckBox("&Lower limit (dBm):", this);
    m_lowerOn->setObjectName("lowerOn");
    m_lowerOn->setChecked(limits.lower_dbm.has_value());
    m_lower = new QLineEdit(Number(limits.lower_dbm.value_or(measure.LowerLimitValue())), this);
    m_lower->setObjectName("lower");

    auto* grid = new QGridLayout;
    grid->addWidget(m_upperOn, 0, 0);
    grid->addWidget(m_upper, 0, 1);
    grid->addWidget(m_lowerOn, 1, 0);
    grid->addWidget(m_lower, 1, 1);
    auto* note = new QLabel("A reading equal to a limit passes.", this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

CMeasureController::LimitsInput CLimitsDialog::Input() const {
    return {m_upperOn->isChecked(), m_upper->text().toStdString(), m_lowerOn->isChecked(),
            m_lower->text().toStdString()};
}

void CLimitsDialog::accept() {
    std::string error;
    if (!m_measure.SetLimitsText(Input(), error)) {
        QMessageBox::warning(this, kAppTitle, QString::fromStdString(error));
        return;
    }
    QDialog::accept();
}

}  // namespace velquor
