#pragma once

#include <atomic>
#include <chrono>
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
#include "meter/sequence_clock.h"
#include "station/device_watch.h"
#include "station/meter_session.h"
#include "station/meter_target.h"
#include "station/reading.h"
#include "station/reconnect_policy.h"
#include "station/subscription.h"

namespace velquor::station {

// Makes the driver backend for a target. The default: the Linux serial backend for
// serial numbers and paths, one simulated meter per simulated target.
using DriverFactory = std::function<std::unique_ptr<IFtdiDriver>(const MeterTarget&)>;
DriverFactory DefaultDriverFactory(SerialPaths paths = {});

// Where a meter stands. With reconnecting off, a Lost meter stays open and is
// Connected again (after a reconnected event) when its frames resume.
enum class MeterState {
    Connected,
    Lost,     // link lost; with reconnecting on, the wait for it is about to begin
    Waiting,  // waiting for the next attempt to find and open it
    Opening,  // found; opening and running the connect sequence
    GaveUp,   // the reconnect time-out passed
    Closed,
};

struct MeterStatus {
    MeterState state = MeterState::Closed;
    // Monotonic time of the loss (0 while connected and never lost).
    std::int64_t lost_steady_ns = 0;
    int attempts = 0;  // attempts since the loss
    std::string last_notice;
    // Why the last attempt to open it again failed (empty after a success).
    std::string last_failure;
};

// Something the user should read about a meter that is not a reading: a meter at
// the same place refused for naming a different serial, the time-out, a message
// the connect sequence raised on a reconnect.
struct MeterNotice {
    enum class Kind { Note, Refused, GaveUp };
    std::size_t meter = 0;
    Kind kind = Kind::Note;
    std::string text;  // one line, without the meter's name
};
using NoticeHandler = std::function<void(const MeterNotice&)>;

struct StationOptions {
    LinkTimings timings;
    ReconnectPolicy reconnect;
    SerialPaths serial_paths;
    // Null: DefaultDriverFactory(serial_paths).
    DriverFactory make_driver;
    // Clock for each session's sequences; null: the session's own interruptible one.
    std::function<std::unique_ptr<ISequenceClock>()> make_clock;
    // Called on a meter's own supervising thread; must not block for long.
    NoticeHandler on_notice;
    // Stamps every decoded measurement of every meter (benchmarks); must outlive the station.
    CFrameTimingLog* timing_log = nullptr;
};

// Runs any number of meters, each on its own link worker, and hands every reading,
// stamped and tagged with its meter, to every subscriber. One ordered stream per
// meter: measurements, a link-lost event, after a reconnect a reconnected event.
// Subscribers that fall behind lose readings (counted), never stall a meter.
class Station {
public:
    explicit Station(StationOptions options = {});
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Opens every target at once and runs their connect sequences. A target that
    // fails is reported in errors as "LABEL: reason". Without keep_going any failure
    // closes the others and returns false; with it, false only when none opened.
    // Call once.
    bool Open(const std::vector<MeterTarget>& targets, bool keep_going,
              std::vector<std::string>& errors);

    // For a person's window: adds a meter that is not open yet, named by its
    // target's label until its first Connect succeeds, and returns its index. It is
    // opened with Connect. Safe while other threads read the station.
    std::size_t Add(const MeterTarget& target);
    // Runs the connect sequence on a meter for a person (front: the prompt that
    // shows its messages, asks its questions and lets the person pick a listed
    // meter), on the caller's thread. A meter that is open is connected afresh; a
    // wait for it after a loss ends either way. False with the reason.
    bool Connect(std::size_t index, const SequenceFront& front, std::string& error);
    // Adds a meter to a running station and runs its connect sequence on the
    // caller's thread. It joins the station (the next index, its readings flowing)
    // only when that succeeds: no thread ever sees a meter that did not open.
    // One add at a time; Abort and Close cut a running one short.
    std::optional<std::size_t> AddAndConnect(const MeterTarget& target,
                                             const SequenceFront& front, std::string& error);

    // These four are safe from any thread while meters are added; an index below
    // a MeterCount() once seen stays valid.
    std::size_t MeterCount() const;
    // A copy: a reconnect or a setup may change it meanwhile.
    MeterInfo Meter(std::size_t index) const;
    // The serial when the identity was read, else the path (or label); a duplicate
    // gets "#2", "#3". Fixed once the meter first opened.
    std::string MeterName(std::size_t index) const;
    MeterStatus Status(std::size_t index) const;

    // Runs the setup sequence on one meter (frequency, cable loss, display flags),
    // on the caller's thread; waits for a connect sequence in progress on that meter.
    // With a front, its prompt shows the messages and asks the question as they come.
    SetupOutcome Setup(std::size_t index, const SetupRequest& request,
                       const SequenceFront& front = {});

    // A new consumer of every meter's readings from now on.
    std::shared_ptr<Subscription> Subscribe(std::size_t capacity = 4096);
    void Unsubscribe(const std::shared_ptr<Subscription>& subscription);

    // Turns reconnecting on or off (or changes its delays) while the station runs.
    // Turned off, a wait in progress ends and its meter stays lost; turned on, meters
    // already lost are looked for from now, their time-out counted from now.
    void SetReconnect(const ReconnectPolicy& policy);
    ReconnectPolicy Reconnecting() const;

    // From any thread (a signal watcher): makes a running Open and every reconnect
    // wait end soon. Close still has to be called.
    void Abort();
    // Stops every meter's supervisor and link worker with a bound and ends every
    // subscription. Safe to call twice.
    void Close();

private:
    struct Slot;

    enum class Wake { Due, Changed, Stop };

    std::unique_ptr<Slot> MakeSlot(const MeterTarget& target, std::uint32_t index);
    Slot& SlotAt(std::size_t index) const;
    // base, or base#2, #3 ... not taken by another meter. Under m_slotsLock.
    std::string UniqueNameLocked(const std::string& base, std::size_t self) const;
    void Supervise(Slot& slot);
    // One absence of a meter: waits and attempts until it is back, the time-out, the
    // policy turned off (true) or the stop (false).
    bool LookForMeter(Slot& slot);
    void Notice(Slot& slot, MeterNotice::Kind kind, const std::string& text);
    // Waits for the next attempt: until `until` (Due), or earlier when the watch sees
    // the meter's node appear, but not before `earliest`; Changed when woken to look
    // at the policy again.
    Wake WaitForChance(Slot& slot, DeviceWatch* watch,
                       std::chrono::steady_clock::time_point earliest,
                       std::chrono::steady_clock::time_point until);

    StationOptions m_options;
    mutable std::mutex m_policyLock;
    ReconnectPolicy m_policy;
    std::atomic<bool> m_reconnecting{false};  // m_policy.enabled, for the link workers
    std::shared_ptr<ReadingFeed> m_feed;
    // One Add or AddAndConnect at a time; Close waits for a running one.
    std::mutex m_addLock;
    // Guards the list and the names against an add while other threads read them.
    // A slot itself never moves. Lock order: a slot's sequenceLock, m_slotsLock,
    // the slot's stateLock.
    mutable std::mutex m_slotsLock;
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::vector<std::string> m_names;
    Slot* m_pending = nullptr;  // being opened by AddAndConnect; Abort reaches it
    std::atomic<bool> m_aborted{false};
    bool m_opened = false;
    bool m_closed = false;  // under m_slotsLock
};

// Meters a running station could add, none of them open: while it runs simulated
// meters, the next ones up to kMaxSimulatedMeters; while it runs real ones, those
// the lister lists (by serial) whose serial is not open. A listing that fails
// gives its reason in error; the simulated ones are still returned.
std::vector<MeterTarget> AddableTargets(const Station& station, IFtdiDriver* lister,
                                        std::string& error);

}  // namespace velquor::station
