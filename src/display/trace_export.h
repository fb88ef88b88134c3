#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "measure/measure_settings.h"

namespace velquor {

// CSV of a recorded trace: a "Second,dBm" header, then one row per sample with its history
// index (the seconds since the first sample) and its power in "%.2f". '.' decimals and
// CR LF line ends, as in the measurement log.
std::string TraceToCsv(std::span<const double> samples);

// Writes the CSV to path. The text goes to a temporary file next to it first, so a failed
// write never leaves a half-written file under the chosen name. On failure returns false with
// a message in error.
bool WriteTraceCsv(const std::string& path, std::span<const double> samples, std::string& error);

// What was in force while a trace was recorded, for a reader of the file or page later.
struct TraceConditions {
    std::string serial;  // the meter's serial number; empty when unknown
    measure::MeasureSettings settings;
};

// "2026-12-08T13:04:05.120Z": a UTC time in ms, ISO 8601 with milliseconds.
std::string IsoUtcMsText(std::int64_t utcMs);

// One line: "meter 12345678; unit dBm; offset +1.00 dB; averaging 4; relative off;
// upper limit 12.00 dBm; lower limit off".
std::string TraceConditionsText(const TraceConditions& conditions);

// The CSV with its conditions: "# " comment lines naming the meter, the start time and
// what was in force, then a "Time (UTC),Second,dBm" header and one row per sample with
// its ISO 8601 UTC time. timesMs holds one time per sample.
std::string TraceToCsv(std::span<const double> samples, std::span<const std::int64_t> timesMs,
                       const TraceConditions& conditions);
bool WriteTraceCsv(const std::string& path, std::span<const double> samples,
                   std::span<const std::int64_t> timesMs, const TraceConditions& conditions,
                   std::string& error);

}  // namespace velquor
