#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "meter/sequence_clock.h"

namespace velquor::testing_support {

// A clock whose seconds advance with the sequence's own pauses; each pause also
// yields briefly in real time so the meter's threads can answer.
class SteppingClock : public ISequenceClock {
public:
    explicit SteppingClock(int startSecond = 0) : m_ms(startSecond * 1000LL) {}
    void SleepMs(int ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        m_ms += ms;
        sleptMs += ms;
    }
    std::int64_t SteadyMs() override { return m_ms; }
    long long sleptMs = 0;

private:
    long long m_ms;
};

}  // namespace velquor::testing_support
