#include "meter/sequence_clock.h"

#include <chrono>
#include <thread>

namespace velquor {

void CSystemClock::SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::int64_t CSystemClock::SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace velquor
