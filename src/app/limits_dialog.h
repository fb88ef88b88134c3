#pragma once

#include <QDialog>

#include "ui/measure_controller.h"

class QCheckBox;
class QLineEdit;

namespace velquor {

// "Limits": an upper and a lower limit in dBm, each with its own check box. OK
// applies them through the controller; a refusal is shown and the dialog stays.
class CLimitsDialog : public QDialog {
    Q_OBJECT

public:
    CLimitsDialog(CMeasureController& measure, QWidget* parent);

    CMeasureController::LimitsInput Input() const;
    void accept() override;

private:
    CMeasureController& m_measure;
    QCheckBox* m_upperOn;
    QLineEdit* m_upper;
    QCheckBox* m_lowerOn;
    QLineEdit* m_lower;
};

}  // namespace velquor
