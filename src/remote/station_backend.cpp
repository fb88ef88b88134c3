#include "remote/station_backend.h"

#include "meter/number_format.h"

namespace velquor::remote {

StationBackend::StationBackend(station::Station& station)
    : station_(station), reconnects_(station.Reconnecting().enabled) {
    for (std::size_t i = 0; i < station_.MeterCount(); ++i)
        AddMeter();
}

void StationBackend::AddMeter() {
    std::lock_guard lock(workers_lock_);
    const std::size_t meter = workers_.size();
    workers_.push_back(std::make_unique<Worker>());
    Worker& w = *workers_.back();
    w.thread = std::thread([this, meter, &w] { Run(meter, w); });
}

StationBackend::Worker* StationBackend::WorkerOf(std::size_t meter) {
    std::lock_guard lock(workers_lock_);
    return meter < workers_.size() ? workers_[meter].get() : nullptr;
}

StationBackend::~StationBackend() {
    Stop();
}

void StationBackend::Stop() {
    std::vector<Worker*> workers;
    {
        std::lock_guard lock(workers_lock_);
        for (auto& w : workers_)
            workers.push_back(w.get());
    }
    for (Worker* w : workers) {
        std::lock_guard lock(w->lock);
        w->stop = true;
        w->wake.notify_all();
    }
    for (Worker* w : workers) {
        if (w->thread.joinable())
            w->thread.join();
    }
}

std::size_t StationBackend::MeterCount() const {
    return station_.MeterCount();
}

MeterIdentity StationBackend::Identity(std::size_t meter) const {
    const station::MeterInfo info = station_.Meter(meter);
    return MeterIdentity{station_.MeterName(meter), info.serial, kMeterModelName, info.firmware};
}

std::optional<MeterSetup> StationBackend::Setup(std::size_t meter) const {
    const station::MeterInfo info = station_.Meter(meter);
    return MeterSetup{info.frequency_mhz, info.cable_loss_db, info.low_frequency};
}

void StationBackend::WriteSetup(std::size_t meter, const SetupWrite& write,
                                std::function<void(WriteOutcome)> done) {
    Worker* w = WorkerOf(meter);
    if (w == nullptr) {
        done(WriteOutcome{WriteStatus::Gone, "no such meter"});
        return;
    }
    {
        std::lock_guard lock(w->lock);
        if (!w->stop) {
            w->jobs.push_back(Job{write, std::move(done)});
            w->wake.notify_one();
            return;
        }
    }
    done(WriteOutcome{WriteStatus::Gone, "server stopping"});
}

WriteOutcome StationBackend::ToOutcome(const station::SetupOutcome& outcome) {
    switch (outcome.result) {
        case SetupResult::Success:
            return WriteOutcome{WriteStatus::Done, {}};
        case SetupResult::NotConnected:
            return WriteOutcome{WriteStatus::Gone, "meter not connected"};
        case SetupResult::InvalidInput:
        case SetupResult::OutOfRange:
            return WriteOutcome{WriteStatus::Refused, outcome.Message()};
        case SetupResult::Abandoned:  // the station never gives up a setup it started
        case SetupResult::Failed:
            break;
    }
    return WriteOutcome{WriteStatus::Failed, "no acknowledgement or wrong read-back"};
}

void StationBackend::Run(std::size_t meter, Worker& w) {
    for (;;) {
        Job job;
        bool stopping = false;
        {
            std::unique_lock lock(w.lock);
            w.wake.wait(lock, [&w] { return w.stop || !w.jobs.empty(); });
            if (w.jobs.empty())
                return;
            job = std::move(w.jobs.front());
            w.jobs.pop_front();
            // Stop() writes the flag under the lock while a setup may be running here.
            stopping = w.stop;
        }
        if (stopping) {
            job.done(WriteOutcome{WriteStatus::Gone, "server stopping"});
            continue;
        }
        station::SetupRequest request;
        if (job.write.frequency_mhz)
            request.frequency = FormatC("%d", *job.write.frequency_mhz);
        if (job.write.cable_loss_db)
            request.cable_loss = FormatC("%.4f", *job.write.cable_loss_db);
        // The frequency was checked against the unit's range, so the low-frequency
        // question does not arise; should it, the answer is no.
        request.low_frequency_answer = false;
        job.done(ToOutcome(station_.Setup(meter, request)));
    }
}

}  // namespace velquor::remote
