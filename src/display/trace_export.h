#pragma once

#include <span>
#include <string>

namespace velquor {

// CSV of a recorded trace: a "Second,dBm" header, then one row per sample with its history
// index (the seconds since the first sample) and its power in "%.2f". '.' decimals and
// CR LF line ends, as in the measurement log.
std::string TraceToCsv(std::span<const double> samples);

// Writes the CSV to path. The text goes to a temporary file next to it first, so a failed
// write never leaves a half-written file under the chosen name. On failure returns false with
// a message in error.
bool WriteTraceCsv(const std::string& path, std::span<const double> samples, std::string& error);

}  // namespace velquor
