#pragma once

// The measurement options read and monitor share, and what they print with them.

#include <CLI/CLI.hpp>

#include <string>

#include "measure/measure_options.h"
#include "measure/measure_pipeline.h"
#include "station/reading.h"

namespace velquor::cli {

struct MeasureOptions {
    measure::MeasureOptionTexts texts;
    int given = 0;

    // Any option given: the output carries the processed value.
    bool Any() const;
};

// --average N, --unit dbm|w|dbuv|v, --offset DB, --relative DBM, --upper DBM, --lower DBM.
void AddMeasureOptions(CLI::App& app, MeasureOptions& options);

// The settings the options give, every number checked as a whole text. False with a
// one-line reason naming the option and its range.
bool BuildMeasureSettings(const MeasureOptions& options, measure::MeasureSettings& settings,
                          std::string& error);

// "-12.34 dBm", "+3.02 dB", "100 mW", with "  pass" or "  fail" when limits are set.
std::string MeasuredText(const measure::MeasurePipeline& pipeline);

// One value as machine output: {"meter","time","value","unit","power_dbm","limit"},
// value in the unit asked for (dB when relative, plain W and V), limit "pass",
// "fail" or null.
std::string MeasuredJson(const measure::MeasurePipeline& pipeline, const std::string& meter,
                         std::int64_t utc_us);

// The statistics since the start, for a person: "Count      123" lines, the meter's
// name first when named; or one JSON object.
std::string StatisticsText(const measure::MeasurePipeline& pipeline, const std::string& meter,
                           bool named);
std::string StatisticsJson(const measure::MeasurePipeline& pipeline, const std::string& meter);

// "-3.20 dBm is above the upper limit of -5.00 dBm": why the last value failed.
std::string LimitFailureText(const measure::MeasurePipeline& pipeline);

}  // namespace velquor::cli
