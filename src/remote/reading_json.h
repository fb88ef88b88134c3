#pragma once

// A reading as one line of JSON: what `velquor-cli monitor --json` prints and the
// web page's stream sends, so both carry the same fields.

#include <cstdint>
#include <string>

#include "station/reading.h"

namespace velquor::remote {

// The measurement math's result for the reading, when it took one.
struct ShownValue {
    double value = 0.0;        // in `unit`; NaN comes out as null
    std::string unit;          // "dBm", "W", "dB" (relative) ...
    const char* limit = "";    // "pass", "fail" or "" (limits off: null)
};

// "2026-12-08T12:51:28.123Z"
std::string IsoUtcText(std::int64_t utc_us);

// One JSON object on one line: "meter", "time" (ISO 8601 UTC), "opcode", and
// "battery" (the raw gauge number), "battery_percent", "battery_low", "power_dbm",
// "power_w", "temperature_c" for a measurement or "event" ("link_lost",
// "reconnected") for a link event; with `shown` also "value", "unit" and "limit".
// Any bytes in the name come out as valid JSON.
std::string ReadingJsonLine(const station::Reading& reading, const std::string& meter,
                            const ShownValue* shown = nullptr);

}  // namespace velquor::remote
