// The main view's wait for a lost meter: the "Reconnect Automatically" setting,
// the looks for the meter and the reconnect attempts.
#include <QSocketNotifier>
#include <filesystem>

#include "link/device_list.h"
#include "logging/logger_controller.h"
#include "station/meter_target.h"
#include "ui/velquor_view.h"
#include "ui/view_frame_sink.h"
#include "ui/view_unit_controls.h"

namespace velquor {

namespace {

// Attempts nobody asked for stay quiet: a message is only kept, a question is
// answered No and no meter is chosen from a list.
class QuietPrompt : public IPrompt {
public:
    void ShowMessage(const std::string& text, const std::string&) override { last = text; }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    bool SelectDevice(const std::vector<std::string>&, int&) override { return false; }
    std::string last;
};

}  // namespace

void CVelquorView::SetReconnect(bool on) {
    m_bReconnect = on;
    if (!on)
        EndWait();
    else if (m_bMeterLost && !m_unit.m_bConnected && !m_reconnect.Waiting())
        BeginWait();
    // A log waiting for the meter ends once nobody waits for it any more.
    if (m_pLogger)
        m_pLogger->NotifyConnectionChanged();
    UpdateStatusNote();
}

void CVelquorView::OnMeterLost() {
    m_bMeterLost = true;
    m_strEndedLogFile.clear();  // a log this loss ends is noted once it has ended
    m_strLostPort = m_strPort;
    m_strLostSerial = m_meter.EepromSerial();
    m_pUnitAtLoss = std::make_unique<UnitState>();
    CopyUnitState(m_unit, *m_pUnitAtLoss);
    m_strReconnectNote.clear();
    if (m_bReconnect)
        BeginWait();
    UpdateStatusNote();
}

void CVelquorView::BeginWait() {
    m_reconnect.Begin(station::ReconnectWait::Clock::now());
    // A path is watched in its folder; a meter known by its serial number in /dev.
    const std::filesystem::path where(m_strLostPort.empty() ? "/dev/" : m_strLostPort);
    m_pDeviceWatch = std::make_unique<station::DeviceWatch>(where.parent_path().string(),
                                                            where.filename().string());
    if (m_pDeviceWatch->Fd() >= 0) {
        m_pWatchNotifier =
            std::make_unique<QSocketNotifier>(m_pDeviceWatch->Fd(), QSocketNotifier::Read);
        connect(m_pWatchNotifier.get(), &QSocketNotifier::activated, this, [this] {
            if (m_pDeviceWatch && m_pDeviceWatch->Drain()) {
                m_reconnect.SomethingAppeared(station::ReconnectWait::Clock::now());
                ScheduleLook();
            }
        });
    }
    ScheduleLook();
}

void CVelquorView::EndWait() {
    m_reconnect.End();
    m_reconnectTimer.stop();
    m_pWatchNotifier.reset();
    m_pDeviceWatch.reset();
}

void CVelquorView::ScheduleLook() {
    const auto wait = m_reconnect.UntilNextLook(station::ReconnectWait::Clock::now());
    m_reconnectTimer.start(std::max(1, static_cast<int>(wait.count())), this);
}

void CVelquorView::LookForMeter() {
    m_reconnectTimer.stop();
    if (!m_reconnect.Waiting())
        return;
    if (m_bBusy) {
        // A sequence of the user's runs; look again once it has had time to end.
        m_reconnectTimer.start(kStatusRefreshMs, this);
        return;
    }
    std::vector<DeviceEntry> listed;
    bool portPresent = false;
    if (m_strLostPort.empty()) {
        ListDevices(m_openWatch, listed);
    } else {
        std::error_code error;
        portPresent = std::filesystem::exists(m_strLostPort, error);
    }
    const auto where = station::WhereIsTheMeter(m_strLostPort, m_strLostSerial, listed, portPresent);
    bool connected = false;
    if (where) {
        QuietPrompt quiet;
        UnitContext ctx{m_meter,  m_openWatch, m_unit, *m_controls, quiet,
                        *m_clock, m_sink,      *where, &m_bAbandon};
        RunSequence("Reconnecting to the meter...",
                    [&] { connected = velquor::ConnectUnits(ctx); });
        if (!connected && !quiet.last.empty())
            m_strReconnectNote = "last try: " + quiet.last;
        const std::string found = m_meter.EepromSerial();
        if (connected && !station::SameMeterIdentity(m_strLostSerial, found)) {
            // Another meter at the same place is not the one the log and the trace
            // belong to: it is let go, and the wait goes on.
            m_meter.CloseDevice();
            CopyUnitState(*m_pUnitAtLoss, m_unit);
            m_unit.m_bConnected = false;
            connected = false;
            m_strReconnectNote = "found " + found + " instead of " + m_strLostSerial;
        }
    }
    if (!connected) {
        m_reconnect.Missed(station::ReconnectWait::Clock::now());
        ScheduleLook();
        UpdateStatusNote();
        update();
        return;
    }
    EndWait();
    m_bMeterLost = false;
    m_strReconnectNote.clear();
    m_pLogger->NotifyConnectionChanged();
    UpdateStatusNote();
    update();
}

}  // namespace velquor
