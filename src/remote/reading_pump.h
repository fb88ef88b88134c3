#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "remote/instrument.h"
#include "remote/meter_backend.h"

namespace velquor::remote {

// Moves the station's readings into the instrument on a thread of its own and
// ends waits whose time is up.
class ReadingPump {
public:
    // Each wait for readings is bounded by this, so Stop returns within it.
    static constexpr std::chrono::milliseconds kPollInterval{50};

    ReadingPump(IReadingSource& source, Instrument& instrument);
    ~ReadingPump();
    ReadingPump(const ReadingPump&) = delete;
    ReadingPump& operator=(const ReadingPump&) = delete;

    void Start();
    void Stop();

private:
    void Loop();

    IReadingSource& source_;
    Instrument& instrument_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace velquor::remote
