#pragma once

#include <array>
#include <cstdint>

namespace velquor::remote {

// The bits of the two SCPI status registers that this instrument sets. The
// conditions are the instrument's, shared by every client; each client latches
// their transitions into its own event registers.
namespace status_bit {
// OPERation
inline constexpr std::uint16_t kMeasuring = 1u << 4;     // a client waits for fresh readings
inline constexpr std::uint16_t kReconnecting = 1u << 8;  // a lost meter is being looked for
// QUEStionable
inline constexpr std::uint16_t kPower = 1u << 3;        // a result outside its limits (either way)
inline constexpr std::uint16_t kMeterLost = 1u << 9;    // a meter's link is lost
inline constexpr std::uint16_t kOverUpper = 1u << 10;   // a result above its upper limit
inline constexpr std::uint16_t kUnderLower = 1u << 11;  // a result below its lower limit
inline constexpr std::uint16_t kCommandWarning = 1u << 14;  // a parameter was accepted but not used
}  // namespace status_bit

// One condition register and how often each bit has risen and fallen, so that any
// number of clients can tell which transitions they have not seen yet.
struct ConditionHistory {
    std::uint16_t condition = 0;
    std::array<std::uint64_t, 16> rises{};
    std::array<std::uint64_t, 16> falls{};

    void Set(std::uint16_t now);
};

// The instrument's two condition registers, as a client reads them.
struct InstrumentStatus {
    ConditionHistory operation;
    ConditionHistory questionable;
};

// One client's event, enable and transition filter registers over a shared
// condition register, as SCPI-1999 defines them. Bit 15 is never used.
class EventRegister {
public:
    static constexpr std::uint16_t kUsed = 0x7FFF;

    // Transitions before this point are not this client's events.
    void Start(const ConditionHistory& shared);
    // The event register; reading it with Take clears it.
    std::uint16_t Event(const ConditionHistory& shared);
    std::uint16_t Take(const ConditionHistory& shared);
    // An event that is this client's own (a command warning).
    void Latch(std::uint16_t bits) { latched_ |= bits & kUsed; }
    // *CLS: events so far are forgotten.
    void Clear(const ConditionHistory& shared);
    // STATus:PRESet: enable none, positive transitions only.
    void Preset(const ConditionHistory& shared);
    // Whether an enabled event is set: the summary bit in the status byte.
    bool Summary(const ConditionHistory& shared) { return (Event(shared) & enable_) != 0; }

    std::uint16_t Enable() const { return enable_; }
    std::uint16_t PositiveFilter() const { return ptr_; }
    std::uint16_t NegativeFilter() const { return ntr_; }
    void SetEnable(std::uint16_t v) { enable_ = v & kUsed; }
    // The filters decide which transitions from now on become events.
    void SetPositiveFilter(const ConditionHistory& shared, std::uint16_t v);
    void SetNegativeFilter(const ConditionHistory& shared, std::uint16_t v);

private:
    // Moves the transitions not seen yet, through the current filters, into latched_.
    void Sync(const ConditionHistory& shared);

    std::uint16_t enable_ = 0;
    std::uint16_t ptr_ = kUsed;
    std::uint16_t ntr_ = 0;
    std::uint16_t latched_ = 0;
    std::array<std::uint64_t, 16> seenRises_{};
    std::array<std::uint64_t, 16> seenFalls_{};
};

}  // namespace velquor::remote
