#pragma once

namespace velquor {

// The pauses and the wall clock of the connect and setup sequences, injectable
// so tests run the 10 s acknowledgement wait without waiting.
class ISequenceClock {
public:
    virtual ~ISequenceClock() = default;
    virtual void SleepMs(int ms) = 0;
    // Local time's minute × 60 + second.
    virtual int MinuteSecond() = 0;
};

class CSystemClock : public ISequenceClock {
public:
    void SleepMs(int ms) override;
    int MinuteSecond() override;
};

}  // namespace velquor
