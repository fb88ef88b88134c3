#include "station/reconnect_wait.h"

#include <algorithm>

#include "station/meter_target.h"

namespace velquor::station {

ReconnectWait::ReconnectWait(ReconnectPolicy policy) : m_policy(policy) {}

void ReconnectWait::Begin(Clock::time_point now) {
    m_bWaiting = true;
    m_lost = now;
    m_last = now;
    m_nLooks = 0;
    m_next = now + BackoffDelay(m_policy, 0);
}

void ReconnectWait::End() {
    m_bWaiting = false;
}

std::chrono::milliseconds ReconnectWait::Away(Clock::time_point now) const {
    if (!m_bWaiting)
        return std::chrono::milliseconds(0);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::max(now, m_lost) - m_lost);
}

int ReconnectWait::AwaySeconds(Clock::time_point now) const {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(Away(now)).count());
}

bool ReconnectWait::GaveUp(Clock::time_point now) const {
    return m_bWaiting && TimedOut(m_policy, Away(now));
}

ReconnectWait::Clock::time_point ReconnectWait::NextLook() const {
    if (m_policy.timeout.count() > 0)
        return std::min(m_next, m_lost + m_policy.timeout);
    return m_next;
}

ReconnectWait::Clock::time_point ReconnectWait::Earliest() const {
    return m_last + BackoffDelay(m_policy, 0);
}

std::chrono::milliseconds ReconnectWait::UntilNextLook(Clock::time_point now) const {
    const Clock::time_point next = NextLook();
    if (!m_bWaiting || now >= next)
        return std::chrono::milliseconds(0);
    // Rounded up, so a timer set to it never fires before the look is due.
    return std::chrono::ceil<std::chrono::milliseconds>(next - now);
}

void ReconnectWait::Missed(Clock::time_point now) {
    if (!m_bWaiting)
        return;
    ++m_nLooks;
    m_last = now;
    m_next = now + BackoffDelay(m_policy, m_nLooks);
}

void ReconnectWait::SomethingAppeared(Clock::time_point now) {
    if (!m_bWaiting)
        return;
    m_next = std::min(m_next, std::max(now, Earliest()));
}

}  // namespace velquor::station
