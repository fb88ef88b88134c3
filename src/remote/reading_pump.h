#pragma once

#include <atomic>
#include <chrono>
#include <functional>
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

    // on_event, when given, also sees each link-lost and reconnected event (on the
    // pump's thread), for a program that reports them.
    using EventHandler = std::function<void(const station::Reading&)>;
    ReadingPump(IReadingSource& source, Instrument& instrument, EventHandler on_event = {});
    ~ReadingPump();
    ReadingPump(const ReadingPump&) = delete;
    ReadingPump& operator=(const ReadingPump&) = delete;

    void Start();
    void Stop();

private:
    void Loop();

    IReadingSource& source_;
    Instrument& instrument_;
    EventHandler on_event_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace velquor::remote
