#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "station/station.h"
#include "telemetry/publisher.h"

namespace velquor::telemetry {

// The meters' identity as the publisher names them, from the station.
MeterIdentity StationMeterIdentity(const station::Station& station, std::size_t meter);

// A running station's readings published on a thread of its own, for a front end
// whose own thread must never wait on the broker (the window). Start, then read
// its state and notices from any thread; Stop says goodbye within a bound. A meter
// the station adds meanwhile is published from its first reading on.
class StationTelemetry {
public:
    StationTelemetry(station::Station& station, PublisherOptions options);
    // Stop() unless done.
    ~StationTelemetry();
    StationTelemetry(const StationTelemetry&) = delete;
    StationTelemetry& operator=(const StationTelemetry&) = delete;

    // The first connection attempt and the thread; false with a reason when it
    // cannot even start (a broker not there yet is retried, not refused).
    bool Start(std::string& error);
    bool Connected() const { return connected_.load(); }
    // The broker side refused the credentials or the certificate: the work ended.
    bool Failed() const { return failed_.load(); }
    // "velquor/v1/STAND"
    const std::string& Topic() const { return topic_; }
    // What the user should read since the last call (lost, back, dropping, refused).
    std::vector<std::string> TakeNotices();
    // Sends what is buffered, then the goodbye, within timeout; the thread ends.
    // Returns the readings that did not reach the broker.
    std::uint64_t Stop(std::chrono::milliseconds timeout = std::chrono::seconds(3));

private:
    void Run();
    void Collect();
    // Hands a reading on; a meter added to the station since is published first.
    void Take(const station::Reading& r);

    station::Station& station_;
    std::shared_ptr<station::Subscription> subscription_;
    std::unique_ptr<Publisher> publisher_;
    const std::string topic_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> failed_{false};
    std::mutex notices_lock_;
    std::vector<std::string> notices_;
    std::thread thread_;
    bool stopped_ = false;
};

}  // namespace velquor::telemetry
