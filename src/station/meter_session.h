#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/ftdi_driver.h"
#include "link/serial_driver.h"
#include "link/usb.h"
#include "meter/frame_timing_log.h"
#include "meter/orvane_usb.h"
#include "meter/sequence_clock.h"
#include "meter/unit_sequences.h"
#include "meter/unit_state.h"
#include "station/device_watch.h"
#include "station/meter_target.h"
#include "station/reading.h"

namespace velquor::station {

// What is known about an open meter, as the connect (or the last setup) left it.
struct MeterInfo {
    std::string name;          // unique within a station; set by the station
    std::string serial;        // from the meter's identity; empty when it could not be read
    std::string path;          // device node in use; for a serial target the node it was found at
    std::string manufacturer;  // the identity text
    bool identity_read = false;
    MeterTarget target;
    std::string calibration_date;  // "MAY-18-2015"
    std::string firmware;          // "1.10"
    std::string frequency_range;   // "700-2700" or "100-2700"
    int frequency_mhz = 0;
    double cable_loss_db = 0.0;
    bool show_dbm = false;
    bool show_watt = false;
    bool low_frequency = false;
};

// A unit setup as the user gave it. A field left empty keeps the unit's current value.
struct SetupRequest {
    std::optional<std::string> frequency;   // MHz, as typed
    std::optional<std::string> cable_loss;  // dB, as typed
    std::optional<bool> show_dbm;
    std::optional<bool> show_watt;
    // The answer to "calibrated for low frequency?", asked when a frequency below
    // 700 MHz is set on a unit not marked for it. No answer counts as No.
    std::optional<bool> low_frequency_answer;
};

struct SetupOutcome {
    SetupResult result = SetupResult::NotConnected;
    // Every message the sequence raised, in order; the last one is its verdict.
    std::vector<std::string> messages;
    bool asked_low_frequency = false;

    bool Ok() const { return result == SetupResult::Success; }
    std::string Message() const { return messages.empty() ? std::string() : messages.back(); }
};

// Receives the session's measurement and link-lost readings, on the link worker
// thread, stamped at decode. Must not block.
// Stamps a reading with the wall clock (UTC microseconds) and the monotonic clock.
void StampNow(Reading& reading);

class IReadingHandler {
public:
    virtual ~IReadingHandler() = default;
    virtual void OnReading(const Reading& reading) = 0;
};

// Who a sequence run on behalf of a person talks to: the questions and messages
// (shown as they come, the device choice included), the setup controls it reads and
// fills, and the flag that ends its waits once nobody waits for it any more. A null
// member: the session's headless one.
struct SequenceFront {
    IPrompt* prompt = nullptr;
    IUnitControls* controls = nullptr;
    const std::atomic<bool>* abandon = nullptr;
};

struct SessionOptions {
    LinkTimings timings;
    std::uint32_t meter_index = 0;  // stamped into every reading
    // Where the serial backend looks; used to name the node a serial number is found at.
    SerialPaths serial_paths;
    // The connect and setup sequences' pauses and clock; null: the session's own,
    // which a Abort() cuts short.
    std::unique_ptr<ISequenceClock> clock;
    // Stamps every decoded measurement (benchmarks); must outlive the session.
    CFrameTimingLog* timing_log = nullptr;
};

// One meter: its driver backend, the link with its worker, the connect sequence run
// without a user (its messages become texts returned to the caller) and the setup
// sequence. Readings go to the handler, on the link worker, without a copy per frame.
//
// Connect, Reconnect, CloseDevice and Setup are meant for one thread at a time;
// Info, Abort and the handler may be used from any thread.
class MeterSession {
public:
    MeterSession(MeterTarget target, std::unique_ptr<IFtdiDriver> driver,
                 SessionOptions options = {});
    ~MeterSession();
    MeterSession(const MeterSession&) = delete;
    MeterSession& operator=(const MeterSession&) = delete;

    const MeterTarget& Target() const { return m_target; }

    // Opens the meter and runs the connect sequence. False with a one-line reason
    // (without the target's label). Messages raised by a successful run (e.g. a
    // legacy unit to be reset) are appended to notes, unless a front's prompt has
    // shown them. With a front, a listed target is picked from the listing again.
    bool Connect(std::string& error, std::vector<std::string>& notes,
                 const SequenceFront& front = {});
    enum class ReconnectResult { Failed, Refused, Connected };
    // Connects again on a fresh link (the old one closed and stopped), after a loss.
    // A meter whose identity names another serial number than the one read before
    // is closed again and Refused (error says so); Info keeps the old meter's data.
    ReconnectResult Reconnect(std::string& error, std::vector<std::string>& notes);
    // Closes the device and stops the link worker; the session can Reconnect later.
    void CloseDevice();
    // Whether the meter is there now: its serial listed, its path present.
    bool Present();
    // A watch on the place the meter's node appears in (null for a simulated meter).
    std::unique_ptr<DeviceWatch> WatchForReturn() const;

    bool Connected() const { return m_state.m_bConnected.load(); }
    // The link's own verdict: false once it injected the link-lost frame.
    bool LinkAlive() const;
    MeterInfo Info() const;

    // With a front's controls the request is not used: the sequence reads what they hold.
    SetupOutcome Setup(const SetupRequest& request, const SequenceFront& front = {});

    void SetReadingHandler(IReadingHandler* handler) { m_handler.store(handler); }
    // Cuts the sequence's pauses and reply waits short, for a quick shutdown. Irreversible.
    void Abort();
    bool Aborted() const { return m_aborted.load(); }

    // For a caller that drives the session alone (tests, a single-meter tool).
    COrvaneUSB& Link() { return *m_link; }
    IFtdiDriver& Driver() { return *m_driver; }

private:
    class FrameTap;
    class InterruptibleClock;
    class CollectingPrompt;

    bool RunConnect(std::string& error, std::vector<std::string>& notes, MeterInfo& info,
                    const SequenceFront& front);
    // The name handed to the open call; empty lists the meters and lets the front pick.
    std::string OpenName(bool pick) const;
    // The target as it is looked for now: a listed meter by the serial it was found with.
    MeterTarget Sought() const;
    std::string NodePath() const;
    void NewLink();
    MeterInfo InfoFromState() const;
    std::string OpenFailureText() const;
    void DeliverFrame(const std::uint8_t* payload, int length);

    const MeterTarget m_target;
    const LinkTimings m_timings;
    const std::uint32_t m_meterIndex;
    const SerialPaths m_serialPaths;
    CFrameTimingLog* const m_timingLog;
    std::unique_ptr<IFtdiDriver> m_driver;
    std::unique_ptr<ISequenceClock> m_clock;
    InterruptibleClock* m_ownClock = nullptr;
    std::shared_ptr<FrameTap> m_tap;
    // Replaced by NewLink on the sequence's thread; Abort reaches it from any thread.
    std::mutex m_linkLock;
    std::unique_ptr<COrvaneUSB> m_link;
    UnitState m_state;
    PlainUnitControls m_controls;
    std::atomic<IReadingHandler*> m_handler{nullptr};
    std::atomic<bool> m_aborted{false};

    mutable std::mutex m_infoLock;
    MeterInfo m_info;
};

}  // namespace velquor::station
