#include "remote/instrument.h"

#include <cmath>
#include <limits>

#include "remote/commands.h"
#include "remote/scpi_error.h"
#include "remote/scpi_values.h"
#include "station/stream_gap.h"

namespace velquor::remote {

namespace {

std::int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t Ns(std::chrono::milliseconds ms) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(ms).count();
}

void Run(std::vector<std::pair<Completion, Outcome>>& finished) {
    for (auto& [done, outcome] : finished)
        done(std::move(outcome));
}

}  // namespace

Instrument::Instrument(IMeterBackend& backend, InstrumentOptions options)
    : backend_(backend), options_(std::move(options)) {
    if (!options_.steady_now_ns)
        options_.steady_now_ns = SteadyNs;
    if (options_.version.empty())
        options_.version = VELQUOR_VERSION;
    for (const CommandDef& def : CommandDefs())
        table_.Add(def.pattern);
    const std::size_t n = backend_.MeterCount();
    channels_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        identities_.push_back(backend_.Identity(i));
        std::string ignored;
        channels_[i].pipeline.Apply(ToMeasure(channels_[i].settings), ignored);
    }
}

std::size_t Instrument::Channels() const {
    std::lock_guard lock(mutex_);
    return channels_.size();
}

MeterIdentity Instrument::Identity(std::size_t ch) const {
    std::lock_guard lock(mutex_);
    return identities_.at(ch);
}

std::size_t Instrument::AddChannel() {
    std::lock_guard lock(mutex_);
    const std::size_t ch = channels_.size();
    identities_.push_back(backend_.Identity(ch));
    channels_.emplace_back();
    std::string ignored;
    channels_.back().pipeline.Apply(ToMeasure(channels_.back().settings), ignored);
    UpdateStatusLocked();
    return ch;
}

Instrument::~Instrument() {
    // Waits still open end here, so no client is left waiting on a gone instrument.
    std::vector<Waiter> open;
    {
        std::lock_guard lock(mutex_);
        open.swap(waiters_);
    }
    for (Waiter& w : open)
        w.done(Outcome{err::kHardwareMissing, "server stopping", {}});
}

std::int64_t Instrument::Now() const {
    return options_.steady_now_ns();
}

measure::MeasureSettings Instrument::ToMeasure(const ChannelSettings& s) {
    measure::MeasureSettings m;
    m.unit = s.unit;
    m.average_count = s.average_on ? s.average_count : 1;
    m.offset_db = s.offset_on ? s.offset_db : 0.0;
    m.relative = s.relative_on;
    m.reference_dbm = s.reference_dbm;
    if (s.limits_on) {
        m.limits.upper_dbm = s.upper_dbm;
        m.limits.lower_dbm = s.lower_dbm;
    }
    return m;
}

int Instrument::EffectiveCount(const Channel& c) const {
    return c.settings.average_on ? c.settings.average_count : 1;
}

std::int64_t Instrument::WaitDeadline(int count) const {
    return Now() + Ns(options_.reading_wait) * count + Ns(options_.wait_margin);
}

void Instrument::OnReading(const station::Reading& r) {
    Finished finished;
    {
        std::lock_guard lock(mutex_);
        if (r.meter >= channels_.size())
            return;
        Channel& c = channels_[r.meter];
        // Every entry of a meter's stream is numbered, its link events too.
        const bool gap = station::MissedBefore(c.last_seq, r.seq) > 0;
        switch (r.kind) {
            case station::ReadingKind::Measurement: {
                c.lost = false;
                c.has_reading = true;
                c.temperature_c = r.temperature_c;
                c.battery = r.battery;
                c.last_steady_ns = r.steady_ns;
                // Readings dropped on the way (a pump that fell behind): an average,
                // and a wait for fresh readings, must not span the gap.
                if (gap) {
                    c.pipeline.RestartAverage();
                    for (Waiter& w : waiters_) {
                        if (w.channel == r.meter) {
                            w.remaining = EffectiveCount(c);
                            w.deadline_ns = WaitDeadline(w.remaining);
                        }
                    }
                }
                if (!c.pipeline.Process(r.power_dbm, r.steady_ns))
                    break;
                for (auto it = waiters_.begin(); it != waiters_.end();) {
                    if (it->channel != r.meter || --it->remaining > 0) {
                        ++it;
                        continue;
                    }
                    c.latched = true;
                    c.latched_value = c.pipeline.OutputValue();
                    Outcome o;
                    if (it->kind == WaitKind::Read)
                        o.reply = FormatNr3(c.latched_value);
                    finished.emplace_back(std::move(it->done), std::move(o));
                    it = waiters_.erase(it);
                }
                break;
            }
            case station::ReadingKind::LinkLost:
                c.lost = true;
                c.has_reading = false;
                c.pipeline.RestartAverage();
                c.latched = false;
                for (auto it = waiters_.begin(); it != waiters_.end();) {
                    if (it->channel != r.meter) {
                        ++it;
                        continue;
                    }
                    finished.emplace_back(std::move(it->done),
                                          Outcome{err::kHardwareMissing, "meter lost", {}});
                    it = waiters_.erase(it);
                }
                break;
            case station::ReadingKind::Reconnected:
                c.lost = false;
                break;
        }
        UpdateStatusLocked();
    }
    Run(finished);
}

void Instrument::Tick() {
    Finished finished;
    {
        std::lock_guard lock(mutex_);
        const std::int64_t now = Now();
        for (auto it = waiters_.begin(); it != waiters_.end();) {
            if (it->deadline_ns > now) {
                ++it;
                continue;
            }
            finished.emplace_back(std::move(it->done),
                                  Outcome{err::kDataStale, "no fresh reading in time", {}});
            it = waiters_.erase(it);
        }
        UpdateStatusLocked();
    }
    Run(finished);
}

ChannelSettings Instrument::Settings(std::size_t ch) const {
    std::lock_guard lock(mutex_);
    return channels_[ch].settings;
}

ChannelView Instrument::View(std::size_t ch) const {
    std::lock_guard lock(mutex_);
    const Channel& c = channels_[ch];
    ChannelView v;
    v.settings = c.settings;
    v.lost = c.lost;
    v.has_reading = c.pipeline.HasReading();
    v.last = c.pipeline.Last();
    v.temperature_c = c.has_reading ? c.temperature_c : std::nan("");
    v.battery = c.has_reading ? c.battery : std::nan("");
    v.fail_count = c.pipeline.Failures().Total();
    v.last_steady_ns = c.last_steady_ns;
    return v;
}

Outcome Instrument::ApplyLocked(std::size_t ch, const ChannelSettings& s) {
    Channel& c = channels_[ch];
    std::string error;
    if (!c.pipeline.Apply(ToMeasure(s), error))
        return Outcome{err::kSettingsConflict, error, {}};
    const bool restart =
        EffectiveCount(c) != (s.average_on ? s.average_count : 1) ||
        (c.settings.offset_on ? c.settings.offset_db : 0.0) != (s.offset_on ? s.offset_db : 0.0);
    const bool trigger_changed = c.settings.continuous != s.continuous;
    c.settings = s;
    if (restart)
        InvalidateLocked(ch);
    else if (trigger_changed)
        c.latched = false;
    UpdateStatusLocked();
    return {};
}

Outcome Instrument::Apply(std::size_t ch, const ChannelSettings& settings) {
    std::lock_guard lock(mutex_);
    return ApplyLocked(ch, settings);
}

void Instrument::Reset() {
    std::lock_guard lock(mutex_);
    for (std::size_t ch = 0; ch < channels_.size(); ++ch) {
        ApplyLocked(ch, ChannelSettings{});
        InvalidateLocked(ch);
        channels_[ch].pipeline.ClearFailures();
    }
}

void Instrument::InvalidateLocked(std::size_t ch) {
    Channel& c = channels_[ch];
    c.pipeline.RestartAverage();
    c.latched = false;
    // A wait in progress now needs a full set of readings taken under the new settings.
    for (Waiter& w : waiters_) {
        if (w.channel == ch) {
            w.remaining = EffectiveCount(c);
            w.deadline_ns = WaitDeadline(w.remaining);
        }
    }
    UpdateStatusLocked();
}

void Instrument::Invalidate(std::size_t ch) {
    std::lock_guard lock(mutex_);
    InvalidateLocked(ch);
}

void Instrument::ClearResult(std::size_t ch) {
    std::lock_guard lock(mutex_);
    channels_[ch].latched = false;
}

Outcome Instrument::Fetch(std::size_t ch) const {
    std::lock_guard lock(mutex_);
    const Channel& c = channels_[ch];
    if (c.lost)
        return Outcome{err::kHardwareMissing, "meter lost", {}};
    if (c.settings.continuous) {
        if (!c.pipeline.HasReading())
            return Outcome{err::kDataStale, "no reading yet", {}};
        return Outcome{0, {}, FormatNr3(c.pipeline.OutputValue())};
    }
    if (!c.latched)
        return Outcome{err::kDataStale, "no measurement initiated", {}};
    return Outcome{0, {}, FormatNr3(c.latched_value)};
}

void Instrument::StartWait(std::size_t ch, WaitKind kind, const void* owner, Completion done) {
    Outcome refused;
    {
        std::lock_guard lock(mutex_);
        const Channel& c = channels_[ch];
        if (c.lost) {
            refused = Outcome{err::kHardwareMissing, "meter lost", {}};
        } else if (kind == WaitKind::Init && c.settings.continuous) {
            refused = Outcome{err::kInitIgnored, "continuous measurement is on", {}};
        } else {
            const int count = EffectiveCount(c);
            waiters_.push_back(
                Waiter{ch, kind, owner, count, WaitDeadline(count), std::move(done)});
            UpdateStatusLocked();
            return;
        }
    }
    done(std::move(refused));
}

void Instrument::CancelWaits(const void* owner) {
    std::lock_guard lock(mutex_);
    std::erase_if(waiters_, [owner](const Waiter& w) { return w.owner == owner; });
    UpdateStatusLocked();
}

Outcome Instrument::TakeReference(std::size_t ch) {
    std::lock_guard lock(mutex_);
    Channel& c = channels_[ch];
    std::string error;
    if (c.lost)
        return Outcome{err::kHardwareMissing, "meter lost", {}};
    if (!c.pipeline.TakeReference(error))
        return Outcome{err::kDataStale, "no reading to take as the reference", {}};
    c.settings.reference_dbm = c.pipeline.Settings().reference_dbm;
    c.settings.relative_on = true;
    return {};
}

bool Instrument::LimitFailed(std::size_t ch) const {
    std::lock_guard lock(mutex_);
    const Channel& c = channels_[ch];
    return c.pipeline.HasReading() && measure::Failed(c.pipeline.Last().limit);
}

std::int64_t Instrument::FailCount(std::size_t ch) const {
    std::lock_guard lock(mutex_);
    return channels_[ch].pipeline.Failures().Total();
}

void Instrument::ClearFailures(std::size_t ch) {
    std::lock_guard lock(mutex_);
    channels_[ch].pipeline.ClearFailures();
}

bool Instrument::Lost(std::size_t ch) const {
    std::lock_guard lock(mutex_);
    return channels_[ch].lost;
}

double Instrument::Temperature(std::size_t ch) const {
    std::lock_guard lock(mutex_);
    const Channel& c = channels_[ch];
    return c.has_reading ? c.temperature_c : std::numeric_limits<double>::quiet_NaN();
}

double Instrument::Battery(std::size_t ch) const {
    std::lock_guard lock(mutex_);
    const Channel& c = channels_[ch];
    return c.has_reading ? c.battery : std::numeric_limits<double>::quiet_NaN();
}

std::uint32_t Instrument::SelfTest() const {
    std::lock_guard lock(mutex_);
    const std::int64_t now = Now();
    std::uint32_t failed = 0;
    for (std::size_t i = 0; i < channels_.size() && i < 32; ++i) {
        const Channel& c = channels_[i];
        if (c.lost || !c.has_reading || now - c.last_steady_ns > Ns(options_.answer_age))
            failed |= 1u << i;
    }
    return failed;
}

InstrumentStatus Instrument::StatusNow() const {
    std::lock_guard lock(mutex_);
    return status_;
}

void Instrument::UpdateStatusLocked() {
    std::uint16_t operation = waiters_.empty() ? 0 : status_bit::kMeasuring;
    std::uint16_t questionable = 0;
    for (const Channel& c : channels_) {
        if (c.lost) {
            questionable |= status_bit::kMeterLost;
            if (backend_.Reconnects())
                operation |= status_bit::kReconnecting;
            continue;
        }
        if (!c.pipeline.HasReading())
            continue;
        const measure::LimitState limit = c.pipeline.Last().limit;
        if (limit == measure::LimitState::FailUpper)
            questionable |= status_bit::kOverUpper | status_bit::kPower;
        else if (limit == measure::LimitState::FailLower)
            questionable |= status_bit::kUnderLower | status_bit::kPower;
    }
    status_.operation.Set(operation);
    status_.questionable.Set(questionable);
}

}  // namespace velquor::remote
