#pragma once

// Pure formatting for what the tool prints: device strings made safe for a
// terminal, times, counts.

#include <cstdint>
#include <string>
#include <string_view>

namespace velquor::cli {

// The text with every byte that could steer a terminal or is not valid UTF-8
// (control characters, DEL, C1 controls, stray bytes) written as \xNN, and a
// backslash as \\. Printable UTF-8 is kept.
std::string PrintableText(std::string_view text);

// Local wall-clock time of a UTC stamp in microseconds: "HH:MM:SS.mmm".
std::string LocalClockText(std::int64_t utc_us);
// Local time to the second: "HH:MM:SS".
std::string LocalSecondsText(std::int64_t utc_us);
// ISO 8601 UTC with milliseconds: "2026-12-07T19:53:53.123Z".
std::string IsoUtcText(std::int64_t utc_us);

// "1 row", "0 rows", "2 rows".
std::string CountText(long long count, const char* singular, const char* plural);

// The wall clock now, microseconds since 1970 UTC.
std::int64_t UtcNowUs();

}  // namespace velquor::cli
