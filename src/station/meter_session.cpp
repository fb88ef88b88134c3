#include "station/meter_session.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <limits>

#include "link/device_list.h"
#include "link/sim_driver.h"
#include "link/sysfs_devices.h"
#include "meter/number_format.h"

namespace velquor::station {

namespace {

// The realtime and monotonic clocks, as std::chrono reads them on every platform.
template <typename ClockType, typename Unit>
std::int64_t ClockCount() {
    return std::chrono::duration_cast<Unit>(ClockType::now().time_since_epoch()).count();
}

// The reading a frame carries, or false for frames that are no reading.
bool ReadingOfFrame(const std::uint8_t* payload, int length, Reading& r) {
    if (length < 1)
        return false;
    if (payload[0] == kOpLinkLost) {
        r.kind = ReadingKind::LinkLost;
        return true;
    }
    if (payload[0] != kOpMeasurement)
        return false;
    const Measurement m = DecodeMeasurement(payload, length);
    // A field the frame was too short to carry is not a number rather than a made-up value.
    constexpr double kAbsent = std::numeric_limits<double>::quiet_NaN();
    r.kind = ReadingKind::Measurement;
    r.power_dbm = m.hasPower ? m.powerDbm : kAbsent;
    r.temperature_c = m.hasTemperature ? m.temperatureC : kAbsent;
    r.battery = m.hasBattery ? m.battery : kAbsent;
    return true;
}

}  // namespace

void StampNow(Reading& reading) {
    reading.utc_us = ClockCount<std::chrono::system_clock, std::chrono::microseconds>();
    reading.steady_ns = ClockCount<std::chrono::steady_clock, std::chrono::nanoseconds>();
}

// ---- helpers the sequences run with ----------------------------------------

class MeterSession::FrameTap : public IFrameSink {
public:
    explicit FrameTap(MeterSession& owner) : m_owner(owner) {}
    void PostFrame(std::uint32_t, std::vector<std::uint8_t>) override {}
    bool TakeFrame(std::uint32_t, const std::uint8_t* frame, int length) override {
        m_owner.DeliverFrame(frame, length);
        return true;
    }

private:
    MeterSession& m_owner;
};

// The sequences' pauses on the steady clock, cut short by Abort. After an abort the
// clock also runs ahead, so a wait that counts on it (the acknowledgement wait) ends
// at its next look instead of spinning through its ten seconds.
class MeterSession::InterruptibleClock : public ISequenceClock {
public:
    void SleepMs(int ms) override {
        std::unique_lock lock(m_lock);
        m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_aborted; });
    }
    std::int64_t SteadyMs() override {
        std::lock_guard lock(m_lock);
        if (m_aborted)
            m_jumpMs += 11000;
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
                   .count() +
               m_jumpMs;
    }
    void Abort() {
        {
            std::lock_guard lock(m_lock);
            m_aborted = true;
        }
        m_wake.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_aborted = false;
    std::int64_t m_jumpMs = 0;
};

// Keeps every message for the caller. Without a person to ask, the low-frequency
// question takes the preset answer and the meter is never chosen from a list (the
// session names it); with one (a front's prompt), everything is passed on as it comes.
class MeterSession::CollectingPrompt : public IPrompt {
public:
    explicit CollectingPrompt(IPrompt* person = nullptr) : m_person(person) {}
    void ShowMessage(const std::string& text, const std::string& caption) override {
        messages.push_back(text);
        if (m_person != nullptr)
            m_person->ShowMessage(text, caption);
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
        asked = true;
        return m_person != nullptr ? m_person->AskYesNo(text, caption) : answer.value_or(false);
    }
    bool SelectDevice(const std::vector<std::string>& lines, int& selected) override {
        return m_person != nullptr && m_person->SelectDevice(lines, selected);
    }
    bool Shown() const { return m_person != nullptr; }

    std::vector<std::string> messages;
    std::optional<bool> answer;
    bool asked = false;

private:
    IPrompt* m_person;
};

// ---- session ----------------------------------------------------------------

MeterSession::MeterSession(MeterTarget target, std::unique_ptr<IFtdiDriver> driver,
                           SessionOptions options)
    : m_target(std::move(target)),
      m_timings(options.timings),
      m_meterIndex(options.meter_index),
      m_serialPaths(options.serial_paths),
      m_timingLog(options.timing_log),
      m_driver(std::move(driver)),
      m_clock(std::move(options.clock)) {
    if (!m_clock) {
        auto own = std::make_unique<InterruptibleClock>();
        m_ownClock = own.get();
        m_clock = std::move(own);
    }
    m_tap = std::make_shared<FrameTap>(*this);
    m_state.m_strSerialNumber.clear();
    {
        std::lock_guard lock(m_infoLock);
        m_info.target = m_target;
        m_info.name = m_target.Label();
    }
    NewLink();
}

MeterSession::~MeterSession() {
    // The worker calls into this object; it goes first.
    std::unique_ptr<COrvaneUSB> link;
    {
        std::lock_guard lock(m_linkLock);
        link = std::move(m_link);
    }
}

void MeterSession::NewLink() {
    auto link = std::make_unique<COrvaneUSB>(*m_driver, m_timings);
    link->SetTimingLog(m_timingLog);
    // Frames reach the tap from the start; the station decides which it passes on.
    link->SetView(m_tap, kMeterFrameMessage);
    std::unique_ptr<COrvaneUSB> old;
    {
        std::lock_guard lock(m_linkLock);
        // The old worker goes before the new one opens the same device.
        old = std::move(m_link);
    }
    old.reset();
    link->StartWorker();
    std::lock_guard lock(m_linkLock);
    if (m_aborted.load())
        link->CancelRequests();
    m_link = std::move(link);
}

void MeterSession::DeliverFrame(const std::uint8_t* payload, int length) {
    IReadingHandler* handler = m_handler.load(std::memory_order_acquire);
    if (handler == nullptr)
        return;
    Reading r;
    if (!ReadingOfFrame(payload, length, r))
        return;
    r.meter = m_meterIndex;
    StampNow(r);
    handler->OnReading(r);
}

void MeterSession::Abort() {
    m_aborted.store(true);
    if (m_ownClock != nullptr)
        m_ownClock->Abort();
    std::lock_guard lock(m_linkLock);
    if (m_link)
        m_link->CancelRequests();
}

bool MeterSession::LinkAlive() const {
    return m_link->LinkAlive();
}

MeterTarget MeterSession::Sought() const {
    if (m_target.kind != MeterTarget::Kind::Listed)
        return m_target;
    MeterTarget sought = m_target;
    sought.value = Info().serial;
    return sought;
}

std::string MeterSession::OpenName(bool pick) const {
    switch (m_target.kind) {
        case MeterTarget::Kind::Simulated:
            return SimulatedMeterModel(m_target.sim_index).serial;
        case MeterTarget::Kind::Listed:
            return pick ? std::string() : Sought().value;
        case MeterTarget::Kind::Serial:
        case MeterTarget::Kind::Path:
            break;
    }
    return m_target.value;
}

std::string MeterSession::NodePath() const {
    std::string serial = m_target.value;
    switch (m_target.kind) {
        case MeterTarget::Kind::Path:
            return m_target.value;
        case MeterTarget::Kind::Simulated:
            return m_target.Label();
        case MeterTarget::Kind::Listed:
            serial = m_state.m_strSerialNumber;
            break;
        case MeterTarget::Kind::Serial:
            break;
    }
    if (serial.empty() || dynamic_cast<CSerialDriver*>(m_driver.get()) == nullptr)
        return {};
    for (const FtdiTty& tty : ListFtdiTtys(m_serialPaths.sysfsRoot)) {
        if (tty.identity.serial == serial)
            return m_serialPaths.devRoot + "/" + tty.name;
    }
    return {};
}

bool MeterSession::Present() {
    if (m_target.kind == MeterTarget::Kind::Path) {
        return DevicePathPresent(m_target.value);
    }
    std::vector<DeviceEntry> devices;
    if (!ListDevices(*m_driver, devices))
        return false;
    return FindSameMeter(Sought(), devices, false).has_value();
}

std::string MeterSession::OpenFailureText() const {
    if (const auto* serial = dynamic_cast<const CSerialDriver*>(m_driver.get())) {
        std::string reason = serial->LastError();
        // The caller names the target; do not say the path twice.
        const std::string prefix = m_target.value + ": ";
        if (reason.rfind(prefix, 0) == 0)
            reason.erase(0, prefix.size());
        if (!reason.empty())
            return reason;
    }
    return "cannot open the meter";
}

MeterInfo MeterSession::InfoFromState() const {
    MeterInfo info;
    info.target = m_target;
    info.identity_read = m_link->EepromStatus() == 0;
    info.serial = m_state.m_strSerialNumber;
    info.manufacturer = m_state.m_strManufacturer;
    info.path = NodePath();
    info.name = !info.serial.empty() ? info.serial
                : !info.path.empty() ? info.path
                                     : m_target.Label();
    info.calibration_date = m_state.m_strCalDate;
    info.firmware = m_state.m_strFirmware;
    info.low_frequency = m_state.m_bLowFrequency;
    info.frequency_range = m_state.m_bLowFrequency ? "100-2700" : "700-2700";
    info.frequency_mhz = m_state.m_nFrequency;
    info.cable_loss_db = m_state.m_dCableLoss;
    info.show_dbm = m_state.m_bShowDbm;
    info.show_watt = m_state.m_bShowWatt;
    return info;
}

bool MeterSession::RunConnect(std::string& error, std::vector<std::string>& notes,
                              MeterInfo& info, const SequenceFront& front) {
    const bool pick = m_target.kind == MeterTarget::Kind::Listed && front.prompt != nullptr;
    if (m_target.kind != MeterTarget::Kind::Path && !pick) {
        // The sequence would open whatever the driver finds by that name; say plainly
        // when no meter with the serial number is attached.
        std::vector<DeviceEntry> devices;
        if (ListDevices(*m_driver, devices) && !FindSameMeter(Sought(), devices, false)) {
            error = "no meter with this serial number";
            return false;
        }
    }
    // Whatever the identity query leaves here is the truth: empty when it failed.
    m_state.m_strSerialNumber.clear();
    m_state.m_strManufacturer.clear();
    CollectingPrompt prompt(front.prompt);
    IUnitControls& controls = front.controls != nullptr ? *front.controls : m_controls;
    UnitContext ctx{*m_link,  *m_driver, m_state,          controls,    prompt,
                    *m_clock, m_tap,     OpenName(pick), front.abandon};
    if (!ConnectUnits(ctx)) {
        error = prompt.messages.empty() ? OpenFailureText() : prompt.messages.back();
        // A unit that opened but did not answer stays closed until the next attempt,
        // and an idle worker would report a link lost for a meter never connected.
        m_link->CloseDevice();
        m_link->StopWorker();
        m_state.m_bConnected = false;
        return false;
    }
    if (m_link->EepromStatus() != 0) {
        m_state.m_strSerialNumber.clear();
        m_state.m_strManufacturer.clear();
    }
    if (!prompt.Shown())
        notes.insert(notes.end(), prompt.messages.begin(), prompt.messages.end());
    info = InfoFromState();
    return true;
}

bool MeterSession::Connect(std::string& error, std::vector<std::string>& notes,
                           const SequenceFront& front) {
    if (!m_link->WorkerRunning())
        m_link->StartWorker();
    MeterInfo info;
    if (!RunConnect(error, notes, info, front))
        return false;
    std::lock_guard lock(m_infoLock);
    m_info = std::move(info);
    return true;
}

MeterSession::ReconnectResult MeterSession::Reconnect(std::string& error,
                                                      std::vector<std::string>& notes) {
    NewLink();
    m_state.m_bConnected = false;
    MeterInfo info;
    std::vector<std::string> raised;
    if (!RunConnect(error, raised, info, {}))
        return ReconnectResult::Failed;
    const std::string expected = Info().serial;
    if (!SameMeterIdentity(expected, info.serial)) {
        error = "the meter at " + (info.path.empty() ? m_target.Label() : info.path) +
                " has serial number " + info.serial + ", not " + expected + "; refused";
        m_link->CloseDevice();
        m_state.m_bConnected = false;
        return ReconnectResult::Refused;
    }
    notes.insert(notes.end(), raised.begin(), raised.end());
    std::lock_guard lock(m_infoLock);
    // A meter first opened without its identity keeps the name it was given.
    if (info.serial.empty())
        info.serial = m_info.serial;
    m_info = std::move(info);
    return ReconnectResult::Connected;
}

void MeterSession::CloseDevice() {
    m_link->CloseDevice();
    // Nothing to serve until a reconnect, which brings a link of its own.
    m_link->StopWorker();
    m_state.m_bConnected = false;
}

std::unique_ptr<DeviceWatch> MeterSession::WatchForReturn() const {
    switch (m_target.kind) {
        case MeterTarget::Kind::Path: {
            const std::filesystem::path path(m_target.value);
            return std::make_unique<DeviceWatch>(path.parent_path().string(),
                                                 path.filename().string());
        }
        case MeterTarget::Kind::Serial:
        case MeterTarget::Kind::Listed:
            if (dynamic_cast<CSerialDriver*>(m_driver.get()) != nullptr)
                return std::make_unique<DeviceWatch>(m_serialPaths.devRoot, std::string());
            return nullptr;
        case MeterTarget::Kind::Simulated:
            break;
    }
    return nullptr;
}

MeterInfo MeterSession::Info() const {
    std::lock_guard lock(m_infoLock);
    return m_info;
}

SetupOutcome MeterSession::Setup(const SetupRequest& request, const SequenceFront& front) {
    SetupOutcome outcome;
    // A lost link fails the way an unconnected unit does, at once, not after the
    // acknowledgement wait.
    if (!m_link->LinkAlive())
        m_state.m_bConnected = false;
    // Start from the unit's values, never from what an earlier refused setup typed.
    m_controls.frequency = FormatC("%d", m_state.m_nFrequency);
    m_controls.cableLoss = FormatC("%3.1f", m_state.m_dCableLoss);
    m_controls.showDbm = m_state.m_bShowDbm;
    m_controls.showWatt = m_state.m_bShowWatt;
    if (request.frequency)
        m_controls.frequency = *request.frequency;
    if (request.cable_loss)
        m_controls.cableLoss = *request.cable_loss;
    if (request.show_dbm)
        m_controls.showDbm = *request.show_dbm;
    if (request.show_watt)
        m_controls.showWatt = *request.show_watt;

    CollectingPrompt prompt(front.prompt);
    prompt.answer = request.low_frequency_answer;
    IUnitControls& controls = front.controls != nullptr ? *front.controls : m_controls;
    UnitContext ctx{*m_link,  *m_driver, m_state,           controls,    prompt,
                    *m_clock, m_tap,     OpenName(false), front.abandon};
    outcome.result = OnSetupUnit(ctx);
    outcome.messages = std::move(prompt.messages);
    outcome.asked_low_frequency = prompt.asked;
    if (outcome.result == SetupResult::Success) {
        // The unit's own record says what it now holds.
        UnitParameters r{};
        if (m_link->ReadParameters(r)) {
            m_state.m_nFrequency = FrequencyMhz(r);
            m_state.m_strFrequency = FormatC("%d", m_state.m_nFrequency);
            m_state.m_dCableLoss = CableLossDb(r);
            m_state.m_bShowDbm = (r[4] & kFlagShowDbm) != 0;
            m_state.m_bShowWatt = (r[4] & kFlagShowWatt) != 0;
            m_state.m_bLowFrequency = LowFrequency(r);
        }
    }
    MeterInfo info = InfoFromState();
    std::lock_guard lock(m_infoLock);
    info.name = m_info.name;
    info.serial = m_info.serial;
    info.manufacturer = m_info.manufacturer;
    info.identity_read = m_info.identity_read;
    info.path = m_info.path;
    m_info = std::move(info);
    return outcome;
}

}  // namespace velquor::station
