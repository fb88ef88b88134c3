#include "telemetry/station_telemetry.h"

#include <algorithm>
#include <utility>

namespace velquor::telemetry {

namespace {

// How long the thread waits at most between two looks at the stop request.
constexpr std::chrono::milliseconds kStopLatency{50};

}  // namespace

MeterIdentity StationMeterIdentity(const station::Station& station, std::size_t meter) {
    const station::MeterInfo info = station.Meter(meter);
    MeterIdentity id;
    id.name = station.MeterName(meter);
    id.serial = info.serial;
    if (info.target.kind != station::MeterTarget::Kind::Simulated)
        id.path = info.path;
    id.model = info.manufacturer;
    // Both come from the unit's record; a frequency of 0 means it was not read.
    if (info.frequency_mhz > 0) {
        id.frequency_mhz = info.frequency_mhz;
        id.cable_loss_db = info.cable_loss_db;
    }
    return id;
}

StationTelemetry::StationTelemetry(station::Station& station, PublisherOptions options)
    : station_(station),
      subscription_(station.Subscribe(16384)),
      topic_(options.topic_prefix + "/" + options.stand) {
    options.current_identity = [&station](std::size_t i) {
        return std::optional<MeterIdentity>(StationMeterIdentity(station, i));
    };
    std::vector<MeterIdentity> meters;
    for (std::size_t i = 0; i < station.MeterCount(); ++i)
        meters.push_back(StationMeterIdentity(station, i));
    publisher_ = std::make_unique<Publisher>(std::move(options), std::move(meters));
}

StationTelemetry::~StationTelemetry() {
    Stop(std::chrono::milliseconds(500));
}

bool StationTelemetry::Start(std::string& error) {
    if (!publisher_->Start(Publisher::Clock::now(), error))
        return false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void StationTelemetry::Run() {
    std::vector<station::Reading> readings;
    while (!stop_.load() && !publisher_->Failed()) {
        readings.clear();
        subscription_->PopAll(readings, std::chrono::milliseconds(0));
        for (const station::Reading& r : readings)
            Take(r);
        const auto now = Publisher::Clock::now();
        publisher_->Service(now);
        Collect();
        // Woken by the broker's answers too, so a backlog drains without waiting.
        publisher_->WaitUntil(std::min(publisher_->NextDue(), now + kStopLatency));
    }
    Collect();
}

void StationTelemetry::Take(const station::Reading& r) {
    // The station counted the meter before its first reading, so it is there to ask.
    while (publisher_->MeterCount() <= r.meter && r.meter < station_.MeterCount())
        publisher_->AddMeter(StationMeterIdentity(station_, publisher_->MeterCount()));
    publisher_->Add(r);
}

void StationTelemetry::Collect() {
    connected_ = publisher_->Connected();
    failed_ = publisher_->Failed();
    std::vector<std::string> notices;
    publisher_->TakeNotices(notices);
    if (publisher_->Failed() && !publisher_->Failure().empty())
        notices.push_back(publisher_->Failure());
    if (notices.empty())
        return;
    std::lock_guard lock(notices_lock_);
    notices_.insert(notices_.end(), notices.begin(), notices.end());
    // Nobody may be reading them; the newest matter.
    if (notices_.size() > 64)
        notices_.erase(notices_.begin(), notices_.end() - 64);
}

std::vector<std::string> StationTelemetry::TakeNotices() {
    std::lock_guard lock(notices_lock_);
    return std::exchange(notices_, {});
}

std::uint64_t StationTelemetry::Stop(std::chrono::milliseconds timeout) {
    if (stopped_)
        return 0;
    stopped_ = true;
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    station_.Unsubscribe(subscription_);
    std::vector<station::Reading> readings;
    subscription_->PopAll(readings, std::chrono::milliseconds(0));
    for (const station::Reading& r : readings)
        Take(r);
    const std::uint64_t undelivered = publisher_->Finish(timeout);
    Collect();
    return undelivered;
}

}  // namespace velquor::telemetry
