#include <signal.h>

#include <chrono>
#include <cstdio>
#include <optional>

#include "cli_app.h"
#include "logging/log_session.h"
#include "logging/meter_log_source.h"
#include "logging/save_rate.h"
#include "meter/number_format.h"
#include "meter_session.h"

namespace velquor::cli {

namespace {

struct LogOptions {
    MeterOptions meters;
    std::string file;
    std::string rate = "1.0";
    std::string seconds;
    std::string delimiter;
    bool noIndex = false;
    bool noHeader = false;
};

int RunLog(CliApp& cli, const LogOptions& options) {
    MeterRequest request;
    std::string error;
    if (!ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Fail(error);
    if (options.file.empty())
        return Fail("log needs --file PATH");
    const SaveRate rate = ParseSaveRate(options.rate);
    if (rate.check != SaveRateCheck::Ok)
        return Fail(SaveRateMessage(rate.check));
    char delimiter = '\t';
    if (!options.delimiter.empty()) {
        const auto parsed = ParseDelimiterOption(options.delimiter);
        if (!parsed)
            return Fail("--delimiter takes tab, semicolon, comma, space or one character");
        delimiter = *parsed;
    }
    std::optional<std::chrono::milliseconds> duration;
    if (!options.seconds.empty()) {
        const auto v = ParseNumberOption(options.seconds, kSecondsField, error);
        if (!v)
            return Fail(error);
        duration = std::chrono::milliseconds(static_cast<long long>(*v * 1000.0));
    }
    // A file-size limit must give an error message, not kill the process.
    signal(SIGXFSZ, SIG_IGN);

    MeterSession session(request, cli.Stop());
    if (!session.Connect(error))
        return Fail(error);
    LogSettings settings;
    settings.path = options.file;
    settings.serialNumber = session.State().m_strSerialNumber;
    settings.delimiter = delimiter;
    settings.includeHeader = !options.noHeader;
    settings.includeIndex = !options.noIndex;
    settings.periodMs = rate.periodMs;
    CMeterLogSource source(session.Meter(), &session.State().m_bConnected);
    const LogSessionResult result =
        RunLogSession(source, settings, duration, [&cli] { return cli.Stop().Requested(); });
    const std::string failure = DescribeLogFailure(settings, result);
    if (!failure.empty())
        return Fail(failure);
    std::fprintf(stderr, "%d rows written to %s\n", result.result.rows, settings.path.c_str());
    // A run that was meant to last longer but lost the meter is not a success.
    if (duration && result.result.end == LogEnd::Disconnected)
        return Fail("the meter was lost after " + std::to_string(result.result.rows) + " rows");
    return kExitOk;
}

}  // namespace

void RegisterLogCommand(CliApp& cli) {
    auto options = std::make_shared<LogOptions>();
    CLI::App* app = cli.AddCommand("log", "log readings to a delimited text file",
                                   [options](CliApp& c) { return RunLog(c, *options); });
    app->add_option("--file", options->file, "The log file")->type_name("PATH")->required();
    app->add_option("--rate", options->rate, "One row every SECONDS, 1.0 to 3600.0 (default 1.0)")
        ->type_name("SECONDS");
    AddSecondsOption(*app, options->seconds, "Stop after N seconds");
    app->add_flag("--no-index", options->noIndex, "Rows without their index");
    app->add_flag("--no-header", options->noHeader, "No column-title line");
    app->add_option("--delimiter", options->delimiter,
                    "Column separator: tab (default), semicolon, comma, space or one character")
        ->type_name("tab|semicolon|comma|space|CHAR");
    AddMeterOptions(*app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
