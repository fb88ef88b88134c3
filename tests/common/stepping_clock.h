#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "meter/sequence_clock.h"

namespace velquor::testing_support {

// A clock whose seconds advance with the sequence's own pauses; each pause also
// yields briefly in real time so the meter's threads can answer.
class SteppingClock : public ISequenceClock {
public:
    explicit SteppingClock(int startMinuteSecond = 0) : m_ms(startMinuteSecond * 1000LL) {}
    void SleepMs(int ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        m_ms += ms;
        sleptMs += ms;
    }
    int MinuteSecond() override { return static_cast<int>((m_ms / 1000) % 3600); }
    long long sleptMs = 0;

private:
    long long m_ms;
};

}  // namespace velquor::testing_support
