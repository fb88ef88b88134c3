#pragma once

#include <cstddef>
#include <cstdint>

namespace velquor::telemetry {

// A publish tag: what was sent, for which meter, and which message or version. The
// library hands it back with the broker's answer.
enum class TagKind : std::uint64_t { StandStatus = 0, MeterStatus = 1, Summary = 2, Power = 3 };

inline std::uint64_t MakeTag(TagKind kind, std::size_t meter, std::uint64_t value) {
    return (static_cast<std::uint64_t>(kind) << 62) |
           ((static_cast<std::uint64_t>(meter) & 0x3FFF) << 48) | (value & 0xFFFFFFFFFFFFULL);
}
inline TagKind KindOf(std::uint64_t tag) {
    return static_cast<TagKind>(tag >> 62);
}
inline std::size_t MeterOf(std::uint64_t tag) {
    return static_cast<std::size_t>((tag >> 48) & 0x3FFF);
}
inline std::uint64_t ValueOf(std::uint64_t tag) {
    return tag & 0xFFFFFFFFFFFFULL;
}

}  // namespace velquor::telemetry
