#pragma once

// The measurement options as a command line gives them, shared by velquor-cli and
// velquor, so both take the same names and ranges and refuse the same mistakes.

#include <string>

#include "measure/measure_settings.h"

namespace velquor::measure {

// Each text as typed; empty when the option was not given.
struct MeasureOptionTexts {
    std::string average;
    std::string unit;
    std::string offset;
    std::string relative;
    std::string upper;
    std::string lower;
    // An option given an empty value, which is refused rather than taken as the
    // option left out: `--upper "$LIMIT"` with LIMIT unset must not pass.
    std::string emptyOption;
};

// The settings the options give, every number checked as a whole text. False with a
// one-line reason naming the option and its range.
bool BuildMeasureSettings(const MeasureOptionTexts& options, MeasureSettings& settings,
                          std::string& error);

}  // namespace velquor::measure
