#include "ui/view_unit_controls.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QThread>

#include "ui/check_image_button.h"

namespace velquor {

namespace {

template <typename F>
void OnGuiThread(F&& f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(app, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

std::string TextOf(const QPointer<QLineEdit>& edit) {
    std::string text;
    OnGuiThread([&] {
        if (edit)
            text = edit->text().toStdString();
    });
    return text;
}

void SetTextOf(const QPointer<QLineEdit>& edit, const std::string& text) {
    OnGuiThread([&] {
        if (edit)
            edit->setText(QString::fromStdString(text));
    });
}

bool CheckOf(const QPointer<CCheckImageButton>& button) {
    bool on = false;
    OnGuiThread([&] {
        if (button)
            on = button->GetCheck() == kChecked;
    });
    return on;
}

void SetCheckOf(const QPointer<CCheckImageButton>& button, bool on) {
    OnGuiThread([&] {
        if (button) {
            button->m_nCheck = on ? kChecked : kUnchecked;
            button->update();
        }
    });
}

}  // namespace

CViewUnitControls::CViewUnitControls(QLineEdit* frequency, QLineEdit* cableLoss,
                                     CCheckImageButton* showDbm, CCheckImageButton* showWatt)
    : m_frequency(frequency), m_cableLoss(cableLoss), m_showDbm(showDbm), m_showWatt(showWatt) {}

std::string CViewUnitControls::CableLossText() const {
    return TextOf(m_cableLoss);
}
void CViewUnitControls::SetCableLossText(const std::string& text) {
    SetTextOf(m_cableLoss, text);
}
std::string CViewUnitControls::FrequencyText() const {
    return TextOf(m_frequency);
}
void CViewUnitControls::SetFrequencyText(const std::string& text) {
    SetTextOf(m_frequency, text);
}
bool CViewUnitControls::ShowDbmChecked() const {
    return CheckOf(m_showDbm);
}
void CViewUnitControls::SetShowDbmChecked(bool on) {
    SetCheckOf(m_showDbm, on);
}
bool CViewUnitControls::ShowWattChecked() const {
    return CheckOf(m_showWatt);
}
void CViewUnitControls::SetShowWattChecked(bool on) {
    SetCheckOf(m_showWatt, on);
}

}  // namespace velquor
