#pragma once

#include <cstdint>

namespace velquor::station {

enum class ReadingKind : std::uint8_t {
    Measurement,  // power, temperature and battery are set (NaN for a field a short frame lacked)
    LinkLost,     // the meter fell silent or went away
    Reconnected,  // the same meter is back after a loss
};

// One entry of a meter's stream. Plain data of fixed size, so that handing it to
// a consumer queue never allocates; the meter's name is looked up by index from
// the station (names are fixed once the station runs).
struct Reading {
    ReadingKind kind = ReadingKind::Measurement;
    std::uint32_t meter = 0;     // index in the station, in the order opened
    std::int64_t utc_us = 0;     // wall clock, microseconds since 1970-01-01 UTC
    std::int64_t steady_ns = 0;  // monotonic clock when the frame was decoded
    double power_dbm = 0.0;
    double temperature_c = 0.0;
    double battery = 0.0;
    // The place in the meter's stream, from 1 on, one more for every entry the station
    // hands on: a subscriber sees a jump where it lost readings (0: not numbered).
    std::uint64_t seq = 0;
};

}  // namespace velquor::station
