#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>

#include "cli_app.h"
#include "cli_platform.h"
#include "cli_station.h"
#include "cli_text.h"
#include "log_recorder.h"
#include "logging/log_session.h"
#include "logging/save_rate.h"
#include "measure/measure_settings.h"
#include "meter/number_format.h"
#include "reading_poll.h"

namespace velquor::cli {

namespace {

struct LogOptions {
    MeterOptions meters;
    std::string file;
    std::string rate = "1.0";
    std::string seconds;
    std::optional<std::string> delimiter;  // given empty is refused, not the default
    bool noIndex = false;
    bool noHeader = false;
    bool overwrite = false;
    std::string format = "text";
    std::string offset;
    bool offsetGiven = false;
    ReconnectOptions reconnect;
};

constexpr NumberField kRateField{"--rate", 1.0, 3600.0, false, "s"};
constexpr NumberField kLogOffsetField{"--offset", measure::kMinOffsetDb, measure::kMaxOffsetDb,
                                      false, "dB"};

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

// A folder is named as one before anything else; an existing file is kept unless
// --overwrite.
bool CheckLogFile(const std::string& file, bool overwrite, std::string& error) {
    if (platform::IsFolder(file)) {
        error = PrintableText(file) + " is a folder; --file needs a file name";
        return false;
    }
    if (!overwrite && platform::PathTaken(file)) {
        error = PrintableText(file) + " exists; give --overwrite to replace it";
        return false;
    }
    return true;
}

// The files the meters' rows go to; checked before anything is written.
bool PlanFiles(const LogOptions& options, LogFormat format, CliStation& meters,
               std::vector<LoggedMeter>& logged, std::string& error) {
    const bool pattern = options.file.find("{meter}") != std::string::npos;
    if (meters.Several() && format == LogFormat::Text && !pattern) {
        error =
            "several meters are logged to one file each: --file needs {meter} in its name "
            "(or give --format csv for one file)";
        return false;
    }
    if (meters.Several() && format == LogFormat::Csv && pattern) {
        error = "--format csv logs every meter to one file: --file cannot hold {meter}";
        return false;
    }
    for (std::size_t i = 0; i < meters.Count(); ++i) {
        const station::MeterInfo info = meters.Get().Meter(i);
        LoggedMeter m{meters.Name(i), info.identity_read ? info.serial : std::string(),
                      MeterFileName(options.file, meters.Name(i))};
        // Names that differ only in characters written as '_' would share a file
        // and interleave their rows.
        for (const LoggedMeter& other : logged) {
            if (format == LogFormat::Text && other.file == m.file) {
                error = PrintableText(other.name) + " and " + PrintableText(m.name) +
                        " would both be logged to " + PrintableText(m.file) +
                        "; log them with --format csv instead";
                return false;
            }
        }
        if (!CheckLogFile(m.file, options.overwrite, error))
            return false;
        logged.push_back(std::move(m));
    }
    return true;
}

int RunLog(CliApp& cli, const LogOptions& options) {
    MeterRequest request;
    std::string error;
    if (const int status = ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Report(status, error);
    station::ReconnectPolicy policy;
    if (const int status = ReconnectPolicyFor(options.reconnect, policy, error))
        return Report(status, error);
    if (options.file.empty())
        return Fail("--file needs a file name");
    LogFormat format = LogFormat::Text;
    if (options.format == "csv")
        format = LogFormat::Csv;
    else if (options.format != "text")
        return Fail("--format takes text or csv, not \"" + PrintableText(options.format) + "\"");
    const auto seconds = ParseNumberOption(options.rate, kRateField, error);
    if (!seconds)
        return Fail(error);
    const std::chrono::milliseconds period(SaveRateSecondsToMs(static_cast<float>(*seconds)));
    LogRecorderSettings settings;
    settings.format = format;
    settings.includeHeader = !options.noHeader;
    settings.includeIndex = !options.noIndex;
    if (format == LogFormat::Csv) {
        // Options of the text format are refused rather than ignored.
        if (options.delimiter)
            return UsageError("--delimiter is for --format text; CSV is comma-separated");
        if (options.noHeader)
            return UsageError(
                "--no-header is for --format text; a CSV file always names its "
                "columns");
        if (options.noIndex)
            return UsageError("--no-index is for --format text; CSV rows have no index");
    }
    if (options.delimiter) {
        const auto parsed = ParseLogDelimiter(*options.delimiter, error);
        if (!parsed)
            return Fail(error);
        settings.delimiter = *parsed;
    }
    if (options.offsetGiven) {
        if (format != LogFormat::Csv)
            return UsageError("--offset is for --format csv, whose first line names it");
        if (!(settings.offsetDb = ParseNumberOption(options.offset, kLogOffsetField, error)))
            return Fail(error);
    }
    std::optional<double> duration;
    if (!options.seconds.empty() &&
        !(duration = ParseNumberOption(options.seconds, kSecondsField, error)))
        return Fail(error);
    // A plain file name can be checked before the meters are opened.
    if (options.file.find("{meter}") == std::string::npos &&
        !CheckLogFile(options.file, options.overwrite, error))
        return Fail(error);
    // A file-size limit must give an error message, not kill the process.
    platform::KeepFileSizeLimitAnError();

    CliStation meters(cli);
    if (const int status = meters.Open(request, policy))
        return status;
    std::vector<LoggedMeter> logged;
    if (!PlanFiles(options, format, meters, logged, error))
        return Fail(error);
    ReadingPoll poll(meters, meters.Get().Subscribe(), {"the log", true, false});
    LogRecorder recorder(settings, logged);
    if (!recorder.Open(error))
        return Fail(error);

    // Rows on a fixed schedule from the start, one period apart: no drift over a
    // long log, and a meter that returns is written again at the next boundary.
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline = duration ? start + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(*duration))
                                   : Clock::time_point::max();
    auto boundary = start + period;
    const std::size_t count = meters.Count();
    while (!cli.Stop().Requested() && poll.Running() > 0) {
        const auto now = Clock::now();
        if (now >= boundary) {
            if (boundary <= deadline && !recorder.WriteRows(UtcNowUs())) {
                // A file that cannot be written ends its meters' rows; the others go on.
                for (std::size_t i = 0; i < count; ++i) {
                    const std::string why = recorder.FileError(i);
                    if (why.empty() || poll.Ended(i))
                        continue;
                    // A CSV file is every meter's: told once.
                    if (i == 0 || format == LogFormat::Text || recorder.FileError(0).empty())
                        std::fprintf(stderr, "%s cannot write %s: %s; its rows stop\n",
                                     LocalSecondsText(UtcNowUs()).c_str(),
                                     PrintableText(recorder.File(i)).c_str(),
                                     PrintableText(why).c_str());
                    poll.End(i, why);
                }
            }
            while (boundary <= now)
                boundary += period;
        }
        if (now >= deadline)
            break;
        const auto wake = std::min({boundary, deadline, now + std::chrono::milliseconds(100)});
        for (const station::Reading& r :
             poll.Poll(std::chrono::ceil<std::chrono::milliseconds>(wake - now)))
            recorder.Take(r);
        for (std::size_t i = 0; i < count; ++i) {
            if (poll.Ended(i))
                recorder.End(i);
        }
    }
    recorder.Close();
    poll.ReportDrops();

    // What became of each file: its rows, and why it stopped early.
    const bool csvFailed = format == LogFormat::Csv && !recorder.FileError(0).empty();
    bool failed = meters.SomeFailed() || poll.Failed();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string file = PrintableText(recorder.File(i));
        const std::string name = meters.Several() ? PrintableText(meters.Name(i)) + ": " : "";
        const std::string written =
            CountText(recorder.FileRows(i), "row", "rows") + " written to " + file;
        const std::string fileError = recorder.FileError(i);
        if (csvFailed && i > 0)
            break;
        if (!fileError.empty()) {
            // A CSV file is every meter's: told once, without a meter's name.
            Fail((csvFailed ? std::string() : name) + written +
                 ", then the file could not be written: " + PrintableText(fileError));
            failed = true;
        } else if (!poll.Why(i).empty()) {
            Fail(name + "the meter was lost after " + CountText(recorder.Rows(i), "row", "rows") +
                 " written to " + file + " (" + PrintableText(poll.Why(i)) + ")");
        } else if (format == LogFormat::Text) {
            std::printf("%s%s\n", name.c_str(), written.c_str());
        }
    }
    if (format == LogFormat::Csv && !csvFailed)
        std::printf("%s written to %s\n", CountText(recorder.FileRows(0), "row", "rows").c_str(),
                    PrintableText(recorder.File(0)).c_str());
    return failed ? kExitFailure : kExitOk;
}

}  // namespace

void RegisterLogCommand(CliApp& cli) {
    auto options = std::make_shared<LogOptions>();
    CLI::App* app = cli.AddCommand("log", "log readings to text files or one CSV file",
                                   [options](CliApp& c) { return RunLog(c, *options); });
    app->add_option("--file", options->file,
                    "The log file; with several meters in the text format a name holding "
                    "{meter}, replaced by each meter's name")
        ->type_name("PATH")
        ->required();
    app->add_option("--rate", options->rate, "One row every SECONDS, 1.0 to 3600.0 (default 1.0)")
        ->type_name("SECONDS");
    AddSecondsOption(*app, options->seconds, "Stop after N seconds");
    app->add_flag("--no-index", options->noIndex, "Rows without their index");
    app->add_flag("--no-header", options->noHeader, "No column-title line");
    app->add_option("--delimiter", options->delimiter,
                    "Column separator: tab (default), semicolon, comma, space or one character")
        ->type_name("tab|semicolon|comma|space|CHAR");
    app->add_flag("--overwrite", options->overwrite, "Replace FILE when it exists");
    app->add_option("--format", options->format,
                    "text: the delimited rows of the window's log, one file per meter "
                    "(default); csv: every meter in one RFC 4180 file")
        ->type_name("text|csv");
    app->add_option("--offset", options->offset,
                    "CSV: add DB (-100 to 100) to every power, for an attenuator or amplifier; "
                    "the file's first line names it (# OFS ...)")
        ->type_name("DB")
        ->each([options](const std::string&) { options->offsetGiven = true; });
    AddReconnectOptions(*app, options->reconnect);
    AddMeterOptions(*app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
