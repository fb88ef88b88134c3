#pragma once

#include <QPointer>

#include "meter/unit_state.h"

class QLineEdit;

namespace velquor {

class CCheckImageButton;

// The setup controls as the connect and setup sequences see them. The sequences
// may run on a helper thread; every access is carried over to the GUI thread.
class CViewUnitControls : public IUnitControls {
public:
    CViewUnitControls(QLineEdit* frequency, QLineEdit* cableLoss, CCheckImageButton* showDbm,
                      CCheckImageButton* showWatt);

    std::string CableLossText() const override;
    void SetCableLossText(const std::string& text) override;
    std::string FrequencyText() const override;
    void SetFrequencyText(const std::string& text) override;
    bool ShowDbmChecked() const override;
    void SetShowDbmChecked(bool on) override;
    bool ShowWattChecked() const override;
    void SetShowWattChecked(bool on) override;

private:
    QPointer<QLineEdit> m_frequency;
    QPointer<QLineEdit> m_cableLoss;
    QPointer<CCheckImageButton> m_showDbm;
    QPointer<CCheckImageButton> m_showWatt;
};

}  // namespace velquor
