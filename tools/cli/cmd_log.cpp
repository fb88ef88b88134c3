#include <signal.h>

#include <chrono>
#include <cstdio>
#include <optional>

#include "commands.h"
#include "logging/log_session.h"
#include "logging/meter_log_source.h"
#include "logging/save_rate.h"
#include "meter/number_format.h"
#include "meter_session.h"

namespace velquor::cli {

int RunLog(const Options& options) {
    const auto file = options.Value("--file");
    if (!file || file->empty())
        return Fail("log needs --file PATH");
    const std::string rateText = options.Value("--rate").value_or("1.0");
    const SaveRate rate = ParseSaveRate(rateText);
    if (rate.check != SaveRateCheck::Ok)
        return Fail(SaveRateMessage(rate.check));
    char delimiter = '\t';
    if (const auto text = options.Value("--delimiter")) {
        const auto parsed = ParseDelimiterOption(*text);
        if (!parsed)
            return Fail("--delimiter takes tab, semicolon, comma, space or one character");
        delimiter = *parsed;
    }
    std::optional<std::chrono::milliseconds> duration;
    if (const auto text = options.Value("--seconds")) {
        const auto v = ParseSecondsOption(*text);
        if (!v)
            return Fail("--seconds needs a number of seconds up to a year, not '" + *text + "'");
        duration = std::chrono::milliseconds(static_cast<long long>(*v * 1000.0));
    }
    // A file-size limit must give an error message, not kill the process.
    signal(SIGXFSZ, SIG_IGN);

    MeterSession session(options);
    std::string error;
    if (!session.Connect(error))
        return Fail(error);
    LogSettings settings;
    settings.path = *file;
    settings.serialNumber = session.State().m_strSerialNumber;
    settings.delimiter = delimiter;
    settings.includeHeader = !options.Flag("--no-header");
    settings.includeIndex = !options.Flag("--no-index");
    settings.periodMs = rate.periodMs;
    CMeterLogSource source(session.Meter(), &session.State().m_bConnected);
    const LogSessionResult result =
        RunLogSession(source, settings, duration, [] { return StopRequested(); });
    const std::string failure = DescribeLogFailure(settings, result);
    if (!failure.empty())
        return Fail(failure);
    std::fprintf(stderr, "%d rows written to %s\n", result.result.rows, settings.path.c_str());
    // A run that was meant to last longer but lost the meter is not a success.
    if (duration && result.result.end == LogEnd::Disconnected)
        return Fail("the meter was lost after " + std::to_string(result.result.rows) + " rows");
    return 0;
}

}  // namespace velquor::cli
