#include "meter_session.h"

#include <cstdio>

#include "frame_queue.h"
#include "link/device_list.h"
#include "link/serial_driver.h"
#include "link/sim_driver.h"

namespace velquor::cli {

namespace {

// The sequences' pauses end early on a stop request, and their acknowledgement
// waits run out at once, so connect and setup end within a second of Ctrl-C.
class StopAwareClock : public ISequenceClock {
public:
    explicit StopAwareClock(StopSignal& stop) : m_stop(stop) {}
    void SleepMs(int ms) override { m_stop.WaitFor(std::chrono::milliseconds(ms)); }
    int MinuteSecond() override {
        const int now = m_system.MinuteSecond();
        // Far enough ahead that any wait begun before the stop has run out.
        return m_stop.Requested() ? (now + 30) % 3600 : now;
    }

private:
    StopSignal& m_stop;
    CSystemClock m_system;
};

}  // namespace

MeterSession::MeterSession(const MeterRequest& request, StopSignal& stop)
    : m_port(request.ports.empty() ? "" : request.ports.front()),
      m_serial(request.serials.empty() ? "" : request.serials.front()),
      m_clock(std::make_unique<StopAwareClock>(stop)),
      m_frames(std::make_shared<FrameQueue>()) {
    if (request.simulated > 0)
        m_driver = std::make_unique<CSimDriver>();
    else
        m_driver = std::make_unique<CSerialDriver>();
    m_meter = std::make_unique<COrvaneUSB>(*m_driver);
    // The worker calls this; it captures the link itself, not the owning pointer
    // the destructor resets.
    COrvaneUSB* meter = m_meter.get();
    m_frames->SetLinkLostHandler([this, meter] { m_state.m_bConnected = meter->LinkAlive(); });
    m_meter->StartWorker();
    m_context = std::make_unique<UnitContext>(
        UnitContext{*m_meter, *m_driver, m_state, m_controls, m_prompt, *m_clock, m_frames, {}});
}

MeterSession::~MeterSession() {
    m_frames->SetLinkLostHandler({});
    m_context.reset();
    // Stops the worker, which closes the device.
    m_meter.reset();
}

bool MeterSession::ChooseByListing(std::string& serial, std::string& error) {
    std::vector<DeviceEntry> devices;
    if (!ListDevices(*m_driver, devices)) {
        error = kMsgListFailed;
        return false;
    }
    const std::vector<int> meters = MeterIndexes(devices);
    if (meters.empty()) {
        error = "no meter found";
        return false;
    }
    if (!m_serial.empty()) {
        for (int index : meters) {
            if (devices[static_cast<std::size_t>(index)].serial == m_serial) {
                serial = m_serial;
                return true;
            }
        }
        error = "no meter with serial number " + m_serial;
        return false;
    }
    serial = devices[static_cast<std::size_t>(meters[0])].serial;
    if (meters.size() > 1) {
        std::string others;
        for (std::size_t i = 1; i < meters.size(); ++i)
            others += (i > 1 ? ", " : "") + devices[static_cast<std::size_t>(meters[i])].serial;
        std::fprintf(stderr, "note: using meter %s; also found %s (choose with --serial)\n",
                     serial.c_str(), others.c_str());
    }
    return true;
}

bool MeterSession::OpenForMonitor(std::string& error) {
    std::string target = m_port;
    if (target.empty() && !ChooseByListing(target, error))
        return false;
    if (!m_meter->OpenDevice(target, kMeterBaud)) {
        error = "cannot open " + target;
        if (auto* serial = dynamic_cast<CSerialDriver*>(m_driver.get())) {
            if (!serial->LastError().empty())
                error = "cannot open " + serial->LastError();
        }
        return false;
    }
    m_frames->SetKeep(true);
    m_meter->SetView(m_frames, kMeterFrameMessage);
    return true;
}

bool MeterSession::Connect(std::string& error) {
    m_context->port = m_port;
    m_prompt.wantedSerial = m_serial;
    if (!m_serial.empty() && m_port.empty()) {
        // A single meter is opened without asking, so check the wanted one is it.
        std::vector<DeviceEntry> devices;
        if (ListDevices(*m_driver, devices)) {
            bool present = false;
            for (int index : MeterIndexes(devices))
                present |= devices[static_cast<std::size_t>(index)].serial == m_serial;
            if (!present) {
                error = "no meter with serial number " + m_serial;
                return false;
            }
        }
    }
    const std::size_t shownBefore = m_prompt.shown.size();
    if (!ConnectUnits(*m_context)) {
        // A message the sequence showed is already on stderr.
        error = m_prompt.shown.size() > shownBefore ? "" : "no meter connected";
        auto* serial = dynamic_cast<CSerialDriver*>(m_driver.get());
        if (error.size() && serial != nullptr && !serial->LastError().empty())
            error = "cannot open " + serial->LastError();
        return false;
    }
    m_bIdentityRead = m_meter->EepromStatus() == 0 && !m_state.m_strSerialNumber.empty();
    return true;
}

}  // namespace velquor::cli
