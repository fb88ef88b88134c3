#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "logging/log_format.h"

namespace velquor {

// Time as the logger sees it: the stamp of a row and the pause between rows.
// Tests replace it to run many periods without waiting.
class ILogClock {
public:
    virtual ~ILogClock() = default;
    virtual LogTimeStamp LocalNow() = 0;
    // Pauses for period, or less once interrupted() turns true. interrupted() is
    // cheap and safe to call from this thread at any time.
    virtual void Sleep(std::chrono::milliseconds period,
                       const std::function<bool()>& interrupted) = 0;
    // Makes a Sleep re-check interrupted() at once.
    virtual void Wake() = 0;
};

// The wall clock and a condition-variable pause. Between wake-ups the pause also
// re-checks interrupted() every checkInterval, so a condition that nobody
// announces (a lost link) is noticed within that time.
class CSystemLogClock : public ILogClock {
public:
    explicit CSystemLogClock(
        std::chrono::milliseconds checkInterval = std::chrono::milliseconds(100))
        : m_checkInterval(checkInterval) {}

    LogTimeStamp LocalNow() override;
    void Sleep(std::chrono::milliseconds period, const std::function<bool()>& interrupted) override;
    void Wake() override;

private:
    std::chrono::milliseconds m_checkInterval;
    std::mutex m_lock;
    std::condition_variable m_wake;
};

}  // namespace velquor
