#include "meter/sequence_clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace velquor {

void CSystemClock::SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int CSystemClock::MinuteSecond() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        return 0;
    return local.tm_min * 60 + local.tm_sec;
}

}  // namespace velquor
