#pragma once

#include <string>
#include <vector>

#include "measure/measure_pipeline.h"

namespace velquor::measure {

struct StatisticsLine {
    std::string label;
    std::string value;
};

// The statistics as labelled lines for a person, in a fixed order: Count, Min,
// Max, Mean, Std dev, Elapsed, Failures, Invalid (readings left out). Values are
// "-" while there is nothing to show (no readings; failures while no limit is set).
std::vector<StatisticsLine> DescribeStatistics(const StatisticsSnapshot& statistics,
                                               const LimitCounts& failures, bool limits_on);

// "0:00:07", "12:34:56" (hours grow past 99).
std::string FormatElapsed(double seconds);

}  // namespace velquor::measure
