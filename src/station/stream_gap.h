#pragma once

#include <cstdint>

namespace velquor::station {

// How many entries of a meter's stream a subscriber missed right before the one
// numbered seq: the jump since the last number it saw of that meter. `last` is the
// subscriber's own note for the meter, 0 until it has seen one. The first entry it
// sees, and an entry that is not numbered, count no gap.
inline std::uint64_t MissedBefore(std::uint64_t& last, std::uint64_t seq) {
    const std::uint64_t missed = last != 0 && seq > last + 1 ? seq - last - 1 : 0;
    if (seq != 0)
        last = seq;
    return missed;
}

}  // namespace velquor::station
