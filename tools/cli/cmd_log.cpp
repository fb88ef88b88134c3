#include <signal.h>
#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

#include "cli_app.h"
#include "cli_text.h"
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
    bool overwrite = false;
};

constexpr NumberField kRateField{"--rate", 1.0, 3600.0, false, "s"};

// A delimiter that can appear inside a number, a time or a date would make the
// columns ambiguous.
std::optional<char> ParseLogDelimiter(const std::string& text, std::string& error) {
    const auto parsed = ParseDelimiterOption(text);
    if (!parsed) {
        error = "--delimiter takes tab, semicolon, comma, space or one character, not \"" +
                PrintableText(text) + "\"";
        return std::nullopt;
    }
    const char c = *parsed;
    const bool control = static_cast<unsigned char>(c) < 0x20 && c != '\t';
    if (std::isdigit(static_cast<unsigned char>(c)) || std::strchr(".-+:/", c) != nullptr ||
        control || c == 0x7F) {
        error = "--delimiter \"" + PrintableText(text) +
                "\" can appear in a number, time or date; choose tab, semicolon, comma, space "
                "or another character";
        return std::nullopt;
    }
    return c;
}

int RunLog(CliApp& cli, const LogOptions& options) {
    MeterRequest request;
    std::string error;
    if (const int status = ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Report(status, error);
    if (options.file.empty())
        return Fail("--file needs a file name");
    const auto seconds = ParseNumberOption(options.rate, kRateField, error);
    if (!seconds)
        return Fail(error);
    const int periodMs = SaveRateSecondsToMs(static_cast<float>(*seconds));
    char delimiter = '\t';
    if (!options.delimiter.empty()) {
        const auto parsed = ParseLogDelimiter(options.delimiter, error);
        if (!parsed)
            return Fail(error);
        delimiter = *parsed;
    }
    std::optional<std::chrono::milliseconds> duration;
    if (!options.seconds.empty()) {
        const auto v = ParseNumberOption(options.seconds, kSecondsField, error);
        if (!v)
            return Fail(error);
        duration = std::chrono::milliseconds(static_cast<long long>(*v * 1000.0));
    }
    struct stat existing {};
    if (!options.overwrite && lstat(options.file.c_str(), &existing) == 0)
        return Fail(PrintableText(options.file) + " exists; give --overwrite to replace it");
    // A file-size limit must give an error message, not kill the process.
    signal(SIGXFSZ, SIG_IGN);

    MeterSession session(request, cli.Stop());
    if (!session.Connect(error))
        return cli.Stop().Requested() ? cli.Stop().ExitStatus() : Fail(error);
    LogSettings settings;
    settings.path = options.file;
    settings.serialNumber = session.IdentityRead() ? session.State().m_strSerialNumber : "unknown";
    settings.delimiter = delimiter;
    settings.includeHeader = !options.noHeader;
    settings.includeIndex = !options.noIndex;
    settings.periodMs = periodMs;
    CMeterLogSource source(session.Meter(), &session.State().m_bConnected);
    bool gone = false;
    const LogSessionResult result =
        RunLogSession(source, settings, duration, [&cli, &session, &gone] {
            gone = session.Check() == MeterPresence::Gone;
            return gone || cli.Stop().Requested();
        });
    const std::string failure = DescribeLogFailure(settings, result);
    if (!failure.empty())
        return Fail(failure);
    const std::string rows = CountText(result.result.rows, "row", "rows");
    const std::string where = PrintableText(settings.path);
    if (gone)
        return Fail("the meter was lost after " + rows + " written to " + where +
                    " (the device is gone)");
    if (result.result.end == LogEnd::Disconnected)
        return Fail("the meter was lost after " + rows + " written to " + where +
                    " (it fell silent)");
    std::printf("%s written to %s\n", rows.c_str(), where.c_str());
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
    app->add_flag("--overwrite", options->overwrite, "Replace FILE when it exists");
    AddMeterOptions(*app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
