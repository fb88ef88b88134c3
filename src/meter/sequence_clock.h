#pragma once

#include <cstdint>

namespace velquor {

// The pauses and the clock of the connect and setup sequences, injectable so
// tests run the 10 s acknowledgement wait without waiting.
class ISequenceClock {
public:
    virtual ~ISequenceClock() = default;
    virtual void SleepMs(int ms) = 0;
    // Milliseconds on a clock that never steps (a changed system time must not
    // end a wait early or late); only differences count.
    virtual std::int64_t SteadyMs() = 0;
};

class CSystemClock : public ISequenceClock {
public:
    void SleepMs(int ms) override;
    std::int64_t SteadyMs() override;
};

}  // namespace velquor
