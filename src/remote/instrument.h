#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "measure/measure_pipeline.h"
#include "remote/command_table.h"
#include "remote/meter_backend.h"
#include "remote/status_register.h"
#include "station/reading.h"

namespace velquor::remote {

// How a command ended: an error number (0 for none) with its detail, and the
// reply of a query.
struct Outcome {
    int error = 0;
    std::string detail;
    std::string reply;
};
// Called once when a command that waits is done; from any thread.
using Completion = std::function<void(Outcome)>;

struct InstrumentOptions {
    // For *IDN?; empty: this program's version.
    std::string version;
    // The longest a READ? or INIT waits for each fresh reading it needs, plus a
    // margin for the whole wait. A silent meter is reported lost after about a
    // second anyway, which ends the wait sooner.
    std::chrono::milliseconds reading_wait{1000};
    std::chrono::milliseconds wait_margin{1000};
    // *TST? counts a meter as answering when its last reading is this recent.
    std::chrono::milliseconds answer_age{1500};
    // Monotonic time in ns; steady_clock when empty (tests step it by hand).
    std::function<std::int64_t()> steady_now_ns;
};

// One channel's host-side settings as SCPI sets them. These are the *RST values.
struct ChannelSettings {
    measure::PowerUnit unit = measure::PowerUnit::Dbm;
    int average_count = 1;
    bool average_on = false;
    double offset_db = 0.0;
    bool offset_on = false;
    bool relative_on = false;
    double reference_dbm = 0.0;
    double upper_dbm = 90.0;
    double lower_dbm = -90.0;
    bool limits_on = false;
    bool continuous = true;
    bool operator==(const ChannelSettings&) const = default;
};

// One channel as a front end shows it, taken under one lock.
struct ChannelView {
    ChannelSettings settings;
    bool lost = false;
    bool has_reading = false;     // since the last loss or *RST-style restart
    measure::MeasureResult last;  // meaningful with has_reading
    double temperature_c = 0.0;   // NaN when the meter did not send it
    double battery = 0.0;
    std::int64_t fail_count = 0;
    std::int64_t last_steady_ns = 0;  // 0 before the first reading
};

// What a wait for fresh readings does when it ends.
enum class WaitKind {
    Read,     // replies with the result (READ?, MEASure?)
    Init,     // only keeps the result for FETCh? (INITiate with continuous off)
    Trigger,  // the same, in either mode (*TRG, TRIGger)
};

// The instrument's shared state: the channels' settings and measurement math,
// fed by the station's readings. Every client works on this one object, as they
// would on one bench instrument. Thread-safe: the readings come from the pump
// thread, the commands from the server's thread.
class Instrument {
public:
    Instrument(IMeterBackend& backend, InstrumentOptions options = {});
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // Channels only ever grow (AddChannel), so a number once valid stays valid.
    std::size_t Channels() const;
    IMeterBackend& Backend() { return backend_; }
    const InstrumentOptions& Options() const { return options_; }
    const CommandTable& Table() const { return table_; }
    MeterIdentity Identity(std::size_t ch) const;
    // The backend's next meter becomes the next channel, with the *RST settings;
    // returns its index. Clients connected meanwhile see it from their next command.
    std::size_t AddChannel();

    // The station's stream.
    void OnReading(const station::Reading& reading);
    // Ends the waits whose time is up.
    void Tick();

    // Host-side settings. Apply checks them as a whole: -221 (conflict) or -222
    // and nothing changes, or 0. A new averaging count or offset starts the
    // measurement again.
    ChannelSettings Settings(std::size_t ch) const;
    ChannelView View(std::size_t ch) const;
    Outcome Apply(std::size_t ch, const ChannelSettings& settings);
    // *RST: every channel back to ChannelSettings{}; the meters are not written.
    void Reset();
    // After the meter's own setup changed: results so far no longer count.
    void Invalidate(std::size_t ch);
    // CONFigure: forgets the result kept by READ?/INIT.
    void ClearResult(std::size_t ch);

    // FETCh?: the latest result, -230 when there is none since *RST or a change,
    // -241 while the meter is lost.
    Outcome Fetch(std::size_t ch) const;
    // READ? and INITiate: waits for as many fresh readings as the averaging count.
    // `owner` identifies the client, so its waits end with it.
    void StartWait(std::size_t ch, WaitKind kind, const void* owner, Completion done);
    void CancelWaits(const void* owner);
    // Takes the current result as the reference and turns relative on.
    Outcome TakeReference(std::size_t ch);
    bool LimitFailed(std::size_t ch) const;
    std::int64_t FailCount(std::size_t ch) const;
    void ClearFailures(std::size_t ch);
    bool Lost(std::size_t ch) const;
    // The last reading's temperature or battery; NaN when there is none.
    double Temperature(std::size_t ch) const;
    double Battery(std::size_t ch) const;
    // Bit n-1 set for each meter n that is not answering.
    std::uint32_t SelfTest() const;
    // The OPERation and QUEStionable conditions with their transitions so far.
    InstrumentStatus StatusNow() const;

    // The measurement math's settings a channel's settings stand for.
    static measure::MeasureSettings ToMeasure(const ChannelSettings& s);

private:
    struct Channel {
        ChannelSettings settings;
        measure::MeasurePipeline pipeline;
        bool lost = false;
        bool latched = false;  // a result kept by the last READ?/INIT
        double latched_value = 0.0;
        bool has_reading = false;
        double temperature_c = 0.0;
        double battery = 0.0;
        std::int64_t last_steady_ns = 0;
        std::uint64_t last_seq = 0;  // the stream's number of the last reading seen
    };
    struct Waiter {
        std::size_t channel;
        WaitKind kind;
        const void* owner;
        int remaining;
        std::int64_t deadline_ns;
        Completion done;
    };
    using Finished = std::vector<std::pair<Completion, Outcome>>;

    std::int64_t Now() const;
    int EffectiveCount(const Channel& c) const;
    std::int64_t WaitDeadline(int count) const;
    void InvalidateLocked(std::size_t ch);
    Outcome ApplyLocked(std::size_t ch, const ChannelSettings& settings);
    // Called after every change of what the conditions are made of.
    void UpdateStatusLocked();

    IMeterBackend& backend_;
    InstrumentOptions options_;
    CommandTable table_;
    std::vector<MeterIdentity> identities_;
    mutable std::mutex mutex_;
    std::vector<Channel> channels_;
    std::vector<Waiter> waiters_;
    InstrumentStatus status_;
};

}  // namespace velquor::remote
