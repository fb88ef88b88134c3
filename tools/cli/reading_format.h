#pragma once

// How monitor prints a reading: pure functions of the reading and its meter's name.

#include <string>

#include "measure/measure_pipeline.h"
#include "station/reading.h"

namespace velquor::cli {

// Power in Watt of a reading in dBm.
double PowerWatts(double dBm);

// "19:53:53.123  measurement  battery 636.0 (68%)  power 10.0 dBm  temperature 25.0 C"
// (", low" after the percentage at or below the gauge's empty mark),
// with the meter's name after the time when withMeter (several meters). The name
// is shown escaped.
std::string MonitorTextLine(const station::Reading& reading, const std::string& meter,
                            bool withMeter);

// One JSON object on one line: "meter", "time" (ISO 8601 UTC), "opcode", and
// "battery" (the raw gauge number), "battery_percent", "battery_low", "power_dbm",
// "power_w", "temperature_c" for a measurement or
// "event" ("link_lost", "reconnected") for a link event. Any bytes in the name
// come out as valid JSON.
std::string MonitorJsonLine(const station::Reading& reading, const std::string& meter);

// The same with the measurement math's result of a measurement added: "value" (in
// the unit asked for, dB when relative), "unit" and "limit" ("pass", "fail", null)
// in JSON; "  value -12.34 dBm[  pass|fail]" in text.
std::string MonitorJsonLine(const station::Reading& reading, const std::string& meter,
                            const measure::MeasurePipeline& measured);
std::string MonitorTextLine(const station::Reading& reading, const std::string& meter,
                            bool withMeter, const measure::MeasurePipeline& measured);

}  // namespace velquor::cli
