#pragma once

#include <atomic>

#include "logging/log_source.h"
#include "meter/orvane_usb.h"

namespace velquor {

// Reads a meter object's latest readings. Connected while the link is alive and,
// when a flag is given (the view's m_bConnected), while that flag is set: a lost
// link ends a log even before the view has handled the link-lost frame, unless the
// returning flag (the window's "Reconnect Automatically") says to wait for it.
class CMeterLogSource : public ILogSource {
public:
    explicit CMeterLogSource(const COrvaneUSB& meter, const std::atomic<bool>* connected = nullptr,
                             const std::atomic<bool>* returning = nullptr)
        : m_meter(meter), m_pConnected(connected), m_pReturning(returning) {}

    bool Connected() const override {
        return m_meter.LinkAlive() && (m_pConnected == nullptr || m_pConnected->load());
    }
    bool Returning() const override { return m_pReturning != nullptr && m_pReturning->load(); }
    LogReading Reading() const override { return {m_meter.PowerDbm(), m_meter.TemperatureC()}; }

private:
    const COrvaneUSB& m_meter;
    const std::atomic<bool>* m_pConnected;
    const std::atomic<bool>* m_pReturning;
};

}  // namespace velquor
