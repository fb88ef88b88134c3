#pragma once

#include <atomic>

#include "logging/log_source.h"
#include "logging/shown_power.h"

namespace velquor {

// A meter's latest reading as whoever follows its stream (the window) last handled
// it; the logger reads it from its own thread. alive: the stream has not reported
// the link lost since the meter was (re)connected.
struct LiveReading {
    std::atomic<double> powerDbm{0.0};
    std::atomic<double> temperatureC{0.0};
    std::atomic<bool> alive{false};
};

// Reads a meter's latest reading. Connected while its link is alive and, when a
// flag is given (the view's m_bConnected), while that flag is set: a lost link ends
// a log even before the view has handled the loss, unless the returning flag (the
// window's "Reconnect Automatically") says to wait for it.
// With a shown power (the window's), rows hold that power and its notes instead of
// the meter's own reading, as the window's readouts do.
class CMeterLogSource : public ILogSource {
public:
    explicit CMeterLogSource(const LiveReading& meter, const std::atomic<bool>* connected = nullptr,
                             const std::atomic<bool>* returning = nullptr,
                             const CShownPower* shown = nullptr)
        : m_meter(meter), m_pConnected(connected), m_pReturning(returning), m_pShown(shown) {}

    bool Connected() const override {
        return m_meter.alive.load() && (m_pConnected == nullptr || m_pConnected->load());
    }
    bool Returning() const override { return m_pReturning != nullptr && m_pReturning->load(); }
    std::optional<LogReading> Reading() const override {
        const std::optional<LogSample> sample = Sample();
        return sample ? std::optional(sample->reading) : std::nullopt;
    }
    std::string Notes() const override {
        return m_pShown != nullptr ? m_pShown->Get().notes : std::string();
    }
    std::optional<LogSample> Sample() const override {
        if (m_pShown == nullptr)
            return LogSample{{m_meter.powerDbm.load(), m_meter.temperatureC.load()}, {}};
        CShownPower::State shown = m_pShown->Get();
        if (!shown.power)
            return std::nullopt;
        return LogSample{{*shown.power, m_meter.temperatureC.load()}, std::move(shown.notes)};
    }

private:
    const LiveReading& m_meter;
    const std::atomic<bool>* m_pConnected;
    const std::atomic<bool>* m_pReturning;
    const CShownPower* m_pShown;
};

}  // namespace velquor
