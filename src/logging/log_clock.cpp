#include "logging/log_clock.h"

#include <algorithm>
#include <ctime>

namespace velquor {

LogTimeStamp CSystemLogClock::LocalNow() {
    return LocalTimeStamp(std::time(nullptr));
}

void CSystemLogClock::Sleep(std::chrono::milliseconds period,
                            const std::function<bool()>& interrupted) {
    const auto deadline = std::chrono::steady_clock::now() + period;
    std::unique_lock lock(m_lock);
    // The predicate runs under the lock, and Wake() notifies under it, so a wake-up
    // that follows a change of interrupted() cannot be missed.
    while (!interrupted()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return;
        const auto slice =
            std::min<std::chrono::steady_clock::duration>(deadline - now, m_checkInterval);
        m_wake.wait_for(lock, slice);
    }
}

void CSystemLogClock::Wake() {
    std::lock_guard lock(m_lock);
    m_wake.notify_all();
}

}  // namespace velquor
