#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "station/reading.h"

namespace velquor::remote {

// Who a meter is, fixed once the station runs.
struct MeterIdentity {
    std::string name;    // the station's name for it
    std::string serial;  // empty when the identity could not be read
    std::string model;
    std::string firmware;  // "1.10"; empty when unknown
};

// What the meter itself stores and the setup sequence writes.
struct MeterSetup {
    int frequency_mhz = 0;
    double cable_loss_db = 0.0;
    bool low_frequency = false;  // calibrated down to 150 MHz
};

// The meter accepts these frequencies (whole MHz).
inline constexpr int kMinFrequencyMhz = 700;
inline constexpr int kMinLowFrequencyMhz = 150;
inline constexpr int kMaxFrequencyMhz = 2700;
inline constexpr double kMaxCableLossDb = 25.5;

// One change to a meter's setup; what is not given keeps its stored value.
struct SetupWrite {
    std::optional<int> frequency_mhz;
    std::optional<double> cable_loss_db;
};

enum class WriteStatus {
    Done,     // acknowledged and read back
    Failed,   // no acknowledgement, or the read-back differs
    Gone,     // the meter is not connected
    Refused,  // the meter does not take this value
};

struct WriteOutcome {
    WriteStatus status = WriteStatus::Failed;
    std::string detail;
};

// The meters as the instrument sees them. Implemented over the station for the
// program and by a fake in the tests.
class IMeterBackend {
public:
    virtual ~IMeterBackend() = default;
    virtual std::size_t MeterCount() const = 0;
    virtual MeterIdentity Identity(std::size_t meter) const = 0;
    // The stored setup as last read from or written to the meter.
    virtual std::optional<MeterSetup> Setup(std::size_t meter) const = 0;
    // Runs the meter's setup sequence (write, acknowledgement, read-back) away from
    // the caller's thread; `done` is called exactly once, from any thread, within
    // the sequence's own bounds.
    virtual void WriteSetup(std::size_t meter, const SetupWrite& write,
                            std::function<void(WriteOutcome)> done) = 0;
    // Whether a lost meter is looked for again (rather than only waited for). Asked
    // often, under the instrument's lock: a plain value, fixed once the station runs.
    virtual bool Reconnects() const { return false; }
};

// Where the readings come from: the station's subscription for the program, a
// queue in the tests.
class IReadingSource {
public:
    virtual ~IReadingSource() = default;
    // Waits at most `timeout` for readings and appends those available; returns how many.
    virtual std::size_t PopAll(std::vector<station::Reading>& out,
                               std::chrono::milliseconds timeout) = 0;
};

}  // namespace velquor::remote
