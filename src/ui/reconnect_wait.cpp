#include "ui/reconnect_wait.h"

#include <algorithm>

#include "station/meter_target.h"

namespace velquor {

CReconnectWait::CReconnectWait(station::ReconnectPolicy policy) : m_policy(policy) {
    m_policy.enabled = true;
    // The window waits until the meter is back or the user turns it off.
    m_policy.timeout = std::chrono::milliseconds(0);
}

void CReconnectWait::Begin(Clock::time_point now) {
    m_bWaiting = true;
    m_lost = now;
    m_last = now;
    m_nLooks = 0;
    m_next = now + station::BackoffDelay(m_policy, 0);
}

void CReconnectWait::End() {
    m_bWaiting = false;
}

int CReconnectWait::AwaySeconds(Clock::time_point now) const {
    if (!m_bWaiting)
        return 0;
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::seconds>(std::max(now, m_lost) - m_lost).count());
}

std::chrono::milliseconds CReconnectWait::UntilNextLook(Clock::time_point now) const {
    if (!m_bWaiting || now >= m_next)
        return std::chrono::milliseconds(0);
    // Rounded up, so a timer set to it never fires before the look is due.
    return std::chrono::ceil<std::chrono::milliseconds>(m_next - now);
}

void CReconnectWait::Missed(Clock::time_point now) {
    if (!m_bWaiting)
        return;
    ++m_nLooks;
    m_last = now;
    m_next = now + station::BackoffDelay(m_policy, m_nLooks);
}

void CReconnectWait::SomethingAppeared(Clock::time_point now) {
    if (!m_bWaiting)
        return;
    m_next = std::min(m_next, std::max(now, m_last + station::BackoffDelay(m_policy, 0)));
}

std::optional<std::string> WhereIsTheMeter(const std::string& port, const std::string& serial,
                                           const std::vector<DeviceEntry>& listed,
                                           bool portPresent) {
    const station::MeterTarget target =
        port.empty() ? station::MeterTarget::BySerial(serial) : station::MeterTarget::ByPath(port);
    return station::FindSameMeter(target, listed, portPresent);
}

}  // namespace velquor
