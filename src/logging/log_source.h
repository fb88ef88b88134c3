#pragma once

#include <optional>
#include <string>

namespace velquor {

// One row's readings: power in dBm and temperature in degrees C.
struct LogReading {
    double powerDbm = 0.0;
    double temperatureC = 0.0;
};

// A row's readings with the notes that name what was applied to them.
struct LogSample {
    LogReading reading;
    std::string notes;
};

// What the logger reads. Called on the logger's thread while other threads update
// the values, so implementations read atomics (or take a snapshot under a lock).
class ILogSource {
public:
    virtual ~ILogSource() = default;
    // A unit is connected and its readings are valid; logging stops once false.
    virtual bool Connected() const = 0;
    // Not connected now, but expected back (a reconnect wait is on): a running log
    // writes no rows meanwhile and goes on once Connected() holds again.
    virtual bool Returning() const { return false; }
    // The row's readings, or nothing while there is no power to write (a
    // measurement that has just restarted): that period has no row.
    virtual std::optional<LogReading> Reading() const = 0;
    // Lines that name what was applied to the powers ("# OFS ..."), each ending in
    // CR LF; empty for the meter's readings as they came.
    virtual std::string Notes() const { return {}; }
    // A row's readings and their notes; a source whose notes change while it runs
    // takes both at one moment.
    virtual std::optional<LogSample> Sample() const {
        std::optional<LogReading> reading = Reading();
        if (!reading)
            return std::nullopt;
        return LogSample{*reading, Notes()};
    }
};

}  // namespace velquor
