#pragma once

#include <chrono>

#include "station/reconnect_policy.h"

namespace velquor::station {

// The wait for a lost meter: when to look for it again on the policy's back-off
// schedule (first after 0.5 s, then backing off to every 5 s), and when to give up
// (the policy's time-out; never without one). No threads and no clock of its own:
// the station's supervisor and the window ask it with the time, and sleep until the
// next look in between.
class ReconnectWait {
public:
    using Clock = std::chrono::steady_clock;

    explicit ReconnectWait(ReconnectPolicy policy = {});

    // New delays or time-out from now on; the looks so far still count.
    void SetPolicy(const ReconnectPolicy& policy) { m_policy = policy; }

    // The meter was lost at now.
    void Begin(Clock::time_point now);
    // The meter is back, another was connected, or reconnecting was turned off.
    void End();
    bool Waiting() const { return m_bWaiting; }
    // Whole seconds since the loss; 0 while not waiting.
    int AwaySeconds(Clock::time_point now) const;
    // How long the meter has been away; zero while not waiting.
    std::chrono::milliseconds Away(Clock::time_point now) const;
    // The time-out has passed: no more looks.
    bool GaveUp(Clock::time_point now) const;
    // When the next look is due: the back-off's time, cut to the time-out.
    Clock::time_point NextLook() const;
    // Before this, something appearing where the meter was does not bring the next
    // look forward (looks stay at least the first pause apart).
    Clock::time_point Earliest() const;
    // Time left until the next look (zero once it is due); zero while not waiting.
    std::chrono::milliseconds UntilNextLook(Clock::time_point now) const;
    // A look at now did not bring the meter back: the next one comes after a longer
    // pause.
    void Missed(Clock::time_point now);
    // Something appeared where the meter was (its device node): the next look comes
    // at once, but never sooner than the first pause after the last look.
    void SomethingAppeared(Clock::time_point now);
    int Looks() const { return m_nLooks; }

private:
    ReconnectPolicy m_policy;
    bool m_bWaiting = false;
    Clock::time_point m_lost;
    Clock::time_point m_last;  // the loss or the last look
    Clock::time_point m_next;
    int m_nLooks = 0;
};

}  // namespace velquor::station
