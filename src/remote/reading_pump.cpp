#include "remote/reading_pump.h"

#include <vector>

namespace velquor::remote {

ReadingPump::ReadingPump(IReadingSource& source, Instrument& instrument, EventHandler on_event)
    : source_(source), instrument_(instrument), on_event_(std::move(on_event)) {}

ReadingPump::~ReadingPump() {
    Stop();
}

void ReadingPump::Start() {
    if (thread_.joinable())
        return;
    stop_ = false;
    thread_ = std::thread([this] { Loop(); });
}

void ReadingPump::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void ReadingPump::Loop() {
    std::vector<station::Reading> batch;
    batch.reserve(256);
    while (!stop_) {
        batch.clear();
        source_.PopAll(batch, kPollInterval);
        for (const station::Reading& r : batch) {
            instrument_.OnReading(r);
            if (on_event_ && r.kind != station::ReadingKind::Measurement)
                on_event_(r);
        }
        instrument_.Tick();
    }
}

}  // namespace velquor::remote
