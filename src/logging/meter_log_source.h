#pragma once

#include <atomic>

#include "logging/log_source.h"
#include "logging/shown_power.h"
#include "meter/orvane_usb.h"

namespace velquor {

// Reads a meter object's latest readings. Connected while the link is alive and,
// when a flag is given (the view's m_bConnected), while that flag is set: a lost
// link ends a log even before the view has handled the link-lost frame, unless the
// returning flag (the window's "Reconnect Automatically") says to wait for it.
// With a shown power (the window's), rows hold that power and its notes instead of
// the meter's own reading, as the window's readouts do.
class CMeterLogSource : public ILogSource {
public:
    explicit CMeterLogSource(const COrvaneUSB& meter, const std::atomic<bool>* connected = nullptr,
                             const std::atomic<bool>* returning = nullptr,
                             const CShownPower* shown = nullptr)
        : m_meter(meter), m_pConnected(connected), m_pReturning(returning), m_pShown(shown) {}

    bool Connected() const override {
        return m_meter.LinkAlive() && (m_pConnected == nullptr || m_pConnected->load());
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
            return LogSample{{m_meter.PowerDbm(), m_meter.TemperatureC()}, {}};
        CShownPower::State shown = m_pShown->Get();
        if (!shown.power)
            return std::nullopt;
        return LogSample{{*shown.power, m_meter.TemperatureC()}, std::move(shown.notes)};
    }

private:
    const COrvaneUSB& m_meter;
    const std::atomic<bool>* m_pConnected;
    const std::atomic<bool>* m_pReturning;
    const CShownPower* m_pShown;
};

}  // namespace velquor
