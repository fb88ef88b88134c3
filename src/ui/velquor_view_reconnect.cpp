// The main view's "Reconnect Automatically" setting and its meter's loss; the
// station looks for the lost meter.
#include "logging/logger_controller.h"
#include "ui/velquor_view.h"

namespace velquor {

void CVelquorView::SetReconnect(bool on) {
    m_bReconnect = on;
    if (m_station) {
        station::ReconnectPolicy policy = m_station->Reconnecting();
        policy.enabled = on;
        m_station->SetReconnect(policy);
    }
    // A log waiting for the meter ends once nobody waits for it any more.
    if (m_pLogger)
        m_pLogger->NotifyConnectionChanged();
    UpdateStatusNote();
}

void CVelquorView::OnMeterLost() {
    m_bMeterLost = true;
    m_strEndedLogFile.clear();  // a log this loss ends is noted once it has ended
    UpdateStatusNote();
}

}  // namespace velquor
