#include "remote/status_register.h"

namespace velquor::remote {

void ConditionHistory::Set(std::uint16_t now) {
    const std::uint16_t changed = condition ^ now;
    for (int b = 0; b < 16; ++b) {
        const std::uint16_t bit = static_cast<std::uint16_t>(1u << b);
        if ((changed & bit) == 0)
            continue;
        if ((now & bit) != 0)
            ++rises[b];
        else
            ++falls[b];
    }
    condition = now;
}

void EventRegister::Start(const ConditionHistory& shared) {
    seenRises_ = shared.rises;
    seenFalls_ = shared.falls;
    latched_ = 0;
}

void EventRegister::Sync(const ConditionHistory& shared) {
    for (int b = 0; b < 15; ++b) {
        const std::uint16_t bit = static_cast<std::uint16_t>(1u << b);
        const bool rose = shared.rises[b] != seenRises_[b];
        const bool fell = shared.falls[b] != seenFalls_[b];
        if ((rose && (ptr_ & bit) != 0) || (fell && (ntr_ & bit) != 0))
            latched_ |= bit;
    }
    seenRises_ = shared.rises;
    seenFalls_ = shared.falls;
}

std::uint16_t EventRegister::Event(const ConditionHistory& shared) {
    Sync(shared);
    return latched_;
}

std::uint16_t EventRegister::Take(const ConditionHistory& shared) {
    const std::uint16_t e = Event(shared);
    latched_ = 0;
    return e;
}

void EventRegister::Clear(const ConditionHistory& shared) {
    Sync(shared);
    latched_ = 0;
}

void EventRegister::Preset(const ConditionHistory& shared) {
    Sync(shared);
    enable_ = 0;
    ptr_ = kUsed;
    ntr_ = 0;
}

void EventRegister::SetPositiveFilter(const ConditionHistory& shared, std::uint16_t v) {
    Sync(shared);
    ptr_ = v & kUsed;
}

void EventRegister::SetNegativeFilter(const ConditionHistory& shared, std::uint16_t v) {
    Sync(shared);
    ntr_ = v & kUsed;
}

}  // namespace velquor::remote
