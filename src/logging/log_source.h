#pragma once

namespace velquor {

// One row's readings: power in dBm and temperature in degrees C.
struct LogReading {
    double powerDbm = 0.0;
    double temperatureC = 0.0;
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
    virtual LogReading Reading() const = 0;
};

}  // namespace velquor
