#include "measure/statistics_text.h"

#include <charconv>
#include <cmath>

namespace velquor::measure {

namespace {

std::string TwoDigits(long long value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

std::string Decibels(double db) {
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, db, std::chars_format::fixed, 2);
    return std::string(buffer, result.ec == std::errc() ? result.ptr : buffer) + " dB";
}

}  // namespace

std::string FormatElapsed(double seconds) {
    const long long total =
        std::isfinite(seconds) && seconds > 0.0 ? static_cast<long long>(seconds) : 0;
    return std::to_string(total / 3600) + ":" + TwoDigits(total / 60 % 60) + ":" +
           TwoDigits(total % 60);
}

std::vector<StatisticsLine> DescribeStatistics(const StatisticsSnapshot& s,
                                               const LimitCounts& failures, bool limits_on) {
    const bool any = s.count > 0;
    const auto power = [any](double dbm) {
        return any ? FormatPower(dbm, PowerUnit::Dbm) : std::string("-");
    };
    std::string failed = "-";
    if (limits_on || failures.Total() > 0) {
        failed = std::to_string(failures.Total()) + " (" + std::to_string(failures.upper) +
                 " high, " + std::to_string(failures.lower) + " low)";
    }
    return {
        {"Count", std::to_string(s.count)},
        {"Min", power(s.min_dbm)},
        {"Max", power(s.max_dbm)},
        {"Mean", power(s.mean_dbm)},
        {"Std dev", s.count > 1 ? Decibels(s.stddev_db) : std::string("-")},
        {"Elapsed", FormatElapsed(any ? s.elapsed_s : 0.0)},
        {"Failures", failed},
    };
}

}  // namespace velquor::measure
