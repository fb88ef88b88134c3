#pragma once

#include <chrono>

namespace velquor::station {

// When and how long a lost meter is looked for again. Off by default; tests
// shorten the delays, the programs keep these values.
struct ReconnectPolicy {
    bool enabled = false;
    std::chrono::milliseconds first_delay{500};
    std::chrono::milliseconds max_delay{5000};
    double factor = 2.0;
    // Give up after this long without the meter (zero: never).
    std::chrono::milliseconds timeout{0};
};

// The pause before attempt number `attempt` (0 for the first): first_delay, then
// growing by factor up to max_delay. Never shorter than first_delay, so a bad
// policy cannot turn the wait into a busy loop.
std::chrono::milliseconds BackoffDelay(const ReconnectPolicy& policy, int attempt);

// The pause before the next attempt, cut so the wait ends at the time-out: elapsed
// is how long the meter has been away. Zero when the time-out has passed.
std::chrono::milliseconds NextWait(const ReconnectPolicy& policy, int attempt,
                                   std::chrono::milliseconds elapsed);

// Whether a meter away for elapsed has used up the policy's time-out.
bool TimedOut(const ReconnectPolicy& policy, std::chrono::milliseconds elapsed);

}  // namespace velquor::station
