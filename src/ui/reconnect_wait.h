#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "link/device_list.h"
#include "station/reconnect_policy.h"

namespace velquor {

// The window's wait for a meter it lost while "Reconnect Automatically" is on: when
// to look for it again, on the station's back-off schedule (first after 0.5 s, then
// backing off to every 5 s, for ever). No Qt and no threads: the window asks it from
// a timer with the time, and sleeps until the next look in between.
class CReconnectWait {
public:
    using Clock = std::chrono::steady_clock;

    explicit CReconnectWait(station::ReconnectPolicy policy = {});

    // The meter was lost at now.
    void Begin(Clock::time_point now);
    // The meter is back, another was connected, or reconnecting was turned off.
    void End();
    bool Waiting() const { return m_bWaiting; }
    // Whole seconds since the loss; 0 while not waiting.
    int AwaySeconds(Clock::time_point now) const;
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
    station::ReconnectPolicy m_policy;
    bool m_bWaiting = false;
    Clock::time_point m_lost;
    Clock::time_point m_last;  // the loss or the last look
    Clock::time_point m_next;
    int m_nLooks = 0;
};

// What to open to reach the lost meter now: the device path it was opened by, when
// something is there (a /dev/serial/by-id link survives a new ttyUSB number);
// otherwise its serial number, when a meter with that number is listed. Nothing while
// it is absent.
std::optional<std::string> WhereIsTheMeter(const std::string& port, const std::string& serial,
                                           const std::vector<DeviceEntry>& listed,
                                           bool portPresent);

}  // namespace velquor
