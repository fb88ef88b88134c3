// The main view's connect and setup sequences: run behind the busy indication,
// abandoned when the window closes, and what the status bar says after them.
#include <QLineEdit>

#include "logging/logger_controller.h"
#include "meter/number_format.h"
#include "ui/busy_runner.h"
#include "ui/measure_controller.h"
#include "ui/open_watch_driver.h"
#include "ui/velquor_view.h"
#include "ui/view_unit_controls.h"

namespace velquor {

namespace {

// Once the window is closing nobody is there to answer: messages are dropped and
// questions answered No. Counts the messages the sequence gave, shown or not.
class AbandonablePrompt : public IPrompt {
public:
    AbandonablePrompt(IPrompt& inner, const std::atomic<bool>& abandoned, int& messages)
        : m_inner(inner), m_abandoned(abandoned), m_nMessages(messages) {}
    void ShowMessage(const std::string& text, const std::string& caption) override {
        ++m_nMessages;
        if (!m_abandoned)
            m_inner.ShowMessage(text, caption);
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        return !m_abandoned && m_inner.AskYesNo(text, caption);
    }
    bool SelectDevice(const std::vector<std::string>& lines, int& selected) override {
        return !m_abandoned && m_inner.SelectDevice(lines, selected);
    }

private:
    IPrompt& m_inner;
    const std::atomic<bool>& m_abandoned;
    int& m_nMessages;
};

}  // namespace

station::SequenceFront CVelquorView::Front() {
    // Counted on the sequence's thread, read once it has been joined.
    m_nSequenceMessages = 0;
    m_pSequencePrompt =
        std::make_unique<AbandonablePrompt>(*m_prompt, m_bAbandon, m_nSequenceMessages);
    return station::SequenceFront{m_pSequencePrompt.get(), m_controls.get(), &m_bAbandon};
}

void CVelquorView::RunSequence(const QString& busyText, const std::function<void()>& sequence) {
    m_bBusy = true;
    if (m_bSequencesInline) {
        sequence();
    } else {
        // The panels show a frozen copy while the sequence writes the unit fields.
        m_pBusyUnit = std::make_unique<UnitState>();
        CopyUnitState(m_unit, *m_pBusyUnit);
        RunBusy(isVisible() ? this : nullptr, busyText, sequence);
        m_pBusyUnit.reset();
    }
    m_bBusy = false;
    if (m_bLinkLostPending) {
        m_bLinkLostPending = false;
        // Only a loss the sequence did not mend: a connect brings a live link.
        if (m_station->Status(0).state != station::MeterState::Connected) {
            station::Reading lost;
            lost.kind = station::ReadingKind::LinkLost;
            OnReading(lost);
        }
    }
    emit sequenceEnded();
}

bool CVelquorView::ConnectUnits() {
    bool connected = false;
    const station::SequenceFront front = Front();
    if (m_pOpenWatch != nullptr)
        m_pOpenWatch->TakeOpenFailure();
    std::string error;
    m_unit.m_bConnected = false;
    RunSequence("Connecting to the meter...",
                [&] { connected = m_station->Connect(0, front, error); });
    if (connected)
        RefreshUnit();
    m_unit.m_bConnected = connected;
    m_live.alive = connected;
    m_pLogger->NotifyConnectionChanged();
    if (m_bAbandon)
        return connected;
    // The sequence ends quietly when the meter cannot be opened; a meter held by
    // another window must not look like a meter that is simply absent.
    const auto failure =
        m_pOpenWatch != nullptr ? m_pOpenWatch->TakeOpenFailure() : std::nullopt;
    if (failure && !connected)
        m_prompt->ShowMessage(OpenFailureMessage(*failure), kAppTitle);
    // It also ends quietly when no meter is listed at all: the status bar says
    // what to check, and counts the tries so that another one visibly happened.
    const bool nothingSaid = !failure && m_nSequenceMessages == 0;
    m_nConnectTries = connected || !nothingSaid ? 0 : m_nConnectTries + 1;
    if (connected) {
        m_strEndedLogFile.clear();
        m_bMeterLost = false;
    }
    UpdateStatusNote();
    return connected;
}

void CVelquorView::OnConnectUnits() {
    if (m_bBusy)
        return;
    // The user's own connect replaces a wait for the lost meter (the station ends it).
    m_bMeterLost = false;
    ConnectUnits();
    UpdateStatusNote();
    update();
}

// With a loss table loaded, the loss written is the table's at the typed frequency;
// a frequency the table does not cover stops the setup before anything is written.
bool CVelquorView::WriteLossTableLoss() {
    if (!m_pMeasure->LossTable() || !m_unit.m_bConnected)
        return true;
    std::string error;
    const auto loss =
        m_pMeasure->LossForFrequencyText(m_editFrequency->text().toStdString(), error);
    if (!loss) {
        m_prompt->ShowMessage(error, kAppTitle);
        return false;
    }
    m_editCableLoss->setText(QString::fromStdString(FormatC("%1.1f", *loss)));
    return true;
}

void CVelquorView::OnSetupUnit() {
    if (m_bBusy)
        return;
    if (!WriteLossTableLoss())
        return;
    const station::SequenceFront front = Front();
    RunSequence("Writing the unit setup...", [&] { m_station->Setup(0, {}, front); });
    if (m_unit.m_bConnected)
        RefreshUnit();
    m_pLogger->NotifyConnectionChanged();
    update();
}

}  // namespace velquor
