#include "station/reconnect_policy.h"

#include <algorithm>
#include <cmath>

namespace velquor::station {

std::chrono::milliseconds BackoffDelay(const ReconnectPolicy& policy, int attempt) {
    using std::chrono::milliseconds;
    const double first =
        static_cast<double>(std::max<milliseconds::rep>(policy.first_delay.count(), 1));
    const double most = std::max(first, static_cast<double>(policy.max_delay.count()));
    const double factor = std::isfinite(policy.factor) && policy.factor > 1.0 ? policy.factor : 1.0;
    // Computed in floating point and capped, so a long wait never overflows.
    const double delay = std::min(most, first * std::pow(factor, std::max(attempt, 0)));
    return milliseconds(static_cast<milliseconds::rep>(delay));
}

bool TimedOut(const ReconnectPolicy& policy, std::chrono::milliseconds elapsed) {
    return policy.timeout.count() > 0 && elapsed >= policy.timeout;
}

std::chrono::milliseconds NextWait(const ReconnectPolicy& policy, int attempt,
                                   std::chrono::milliseconds elapsed) {
    const auto delay = BackoffDelay(policy, attempt);
    if (policy.timeout.count() <= 0)
        return delay;
    if (elapsed >= policy.timeout)
        return std::chrono::milliseconds(0);
    return std::min(delay, policy.timeout - elapsed);
}

}  // namespace velquor::station
