#include "meter_session.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
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
      m_prompt(stop),
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
        std::fprintf(stderr,
                     "velquor-cli: note: using meter %s; also found %s (choose with --serial)\n",
                     serial.c_str(), others.c_str());
    }
    return true;
}

bool MeterSession::ChooseTarget(std::string& error) {
    if (!m_target.empty())
        return true;
    if (!m_port.empty()) {
        m_target = m_port;
        return true;
    }
    return ChooseByListing(m_target, error);
}

std::string MeterSession::OpenError() const {
    if (auto* serial = dynamic_cast<CSerialDriver*>(m_driver.get())) {
        if (!serial->LastError().empty())
            return "cannot open " + serial->LastError();
    }
    return "cannot open " + m_target;
}

bool MeterSession::OpenForMonitor(std::string& error) {
    if (!ChooseTarget(error))
        return false;
    if (!m_meter->OpenDevice(m_target, kMeterBaud)) {
        error = OpenError();
        return false;
    }
    m_frames->SetKeep(true);
    m_meter->SetView(m_frames, kMeterFrameMessage);
    return true;
}

bool MeterSession::Connect(std::string& error) {
    if (!ChooseTarget(error))
        return false;
    // The meter is chosen: the sequence opens it by that name instead of listing.
    m_context->port = m_target;
    const std::size_t shownBefore = m_prompt.shown.size();
    if (!ConnectUnits(*m_context)) {
        // A message the sequence showed is already on stderr.
        error = m_prompt.shown.size() > shownBefore ? "" : OpenError();
        return false;
    }
    m_bIdentityRead = m_meter->EepromStatus() == 0 && !m_state.m_strSerialNumber.empty();
    return true;
}

MeterPresence MeterSession::Check() {
    const bool byPath = !m_port.empty();
    // A device node that vanished is a meter unplugged (or its simulator gone): a
    // cheap check, so it is made every time.
    struct stat info {};
    if (byPath && stat(m_target.c_str(), &info) != 0 && errno == ENOENT)
        return MeterPresence::Gone;
    if (m_meter->LinkAlive())
        return MeterPresence::Alive;
    if (byPath)
        return MeterPresence::Silent;
    // Listing costs more; while the link is down, once a second is enough.
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastListing >= std::chrono::seconds(1)) {
        m_lastListing = now;
        std::vector<DeviceEntry> devices;
        m_bListedLately = !ListDevices(*m_driver, devices) ||
                          std::any_of(devices.begin(), devices.end(),
                                      [&](const DeviceEntry& d) { return d.serial == m_target; });
    }
    return m_bListedLately ? MeterPresence::Silent : MeterPresence::Gone;
}

std::string MeterSession::Name() const {
    return m_bIdentityRead ? m_state.m_strSerialNumber : m_target;
}

}  // namespace velquor::cli
