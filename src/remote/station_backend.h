#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "remote/meter_backend.h"
#include "station/station.h"

namespace velquor::remote {

// The model the instrument names in *IDN?.
inline constexpr const char* kMeterModelName = "ViridIrivi RA";

// The station's meters as the instrument's backend: identity and stored setup from
// the station, setup writes through the station's setup sequence (the same one the
// window runs, with its acknowledgement and read-back) on one thread per meter, so
// a meter that never acknowledges holds up no other meter and no client.
class StationBackend : public IMeterBackend {
public:
    explicit StationBackend(station::Station& station);
    // Stop() unless done.
    ~StationBackend() override;
    // Ends the setup threads: a setup in progress finishes first, within the
    // sequence's bounds (Station::Abort cuts them short); writes still queued and
    // any asked for later end as Gone. Call it before the instrument that started
    // them goes.
    void Stop();
    // The station's next meter gets its setup thread (before the instrument's
    // channel for it). Not after Stop.
    void AddMeter();

    std::size_t MeterCount() const override;
    MeterIdentity Identity(std::size_t meter) const override;
    std::optional<MeterSetup> Setup(std::size_t meter) const override;
    void WriteSetup(std::size_t meter, const SetupWrite& write,
                    std::function<void(WriteOutcome)> done) override;
    bool Reconnects() const override { return reconnects_; }

    // Maps the station's verdict on a setup to the instrument's.
    static WriteOutcome ToOutcome(const station::SetupOutcome& outcome);

private:
    struct Job {
        SetupWrite write;
        std::function<void(WriteOutcome)> done;
    };
    struct Worker {
        std::mutex lock;
        std::condition_variable wake;
        std::deque<Job> jobs;
        bool stop = false;
        std::thread thread;
    };
    void Run(std::size_t meter, Worker& worker);
    Worker* WorkerOf(std::size_t meter);

    station::Station& station_;
    const bool reconnects_;
    mutable std::mutex workers_lock_;  // the list grows while the server writes setups
    std::vector<std::unique_ptr<Worker>> workers_;
};

// The station's subscription as the instrument's reading source.
class SubscriptionSource : public IReadingSource {
public:
    explicit SubscriptionSource(std::shared_ptr<station::Subscription> subscription)
        : subscription_(std::move(subscription)) {}
    std::size_t PopAll(std::vector<station::Reading>& out,
                       std::chrono::milliseconds timeout) override {
        return subscription_->PopAll(out, timeout);
    }

private:
    std::shared_ptr<station::Subscription> subscription_;
};

}  // namespace velquor::remote
