#include "app/app_options.h"

#include <string_view>

#include "display/rolling_record.h"
#include "display/trace_recorder.h"
#include "meter/number_format.h"
#include "remote/tcp_server.h"
#include "station/meter_target.h"

namespace velquor {

namespace {

// Digits with at most one '.', nothing else: "10s" or "1e3" are mistakes, not 10 or 1.
std::optional<double> PlainSeconds(const std::string& text) {
    int digits = 0, points = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++points;
        else
            return std::nullopt;
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    return ParseLeadingDouble(text);
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::optional<SnapshotFormat> SnapshotFormatOf(const std::string& file) {
    const std::string name = Lower(file);
    if (EndsWith(name, ".png"))
        return SnapshotFormat::kPng;
    if (EndsWith(name, ".jpg") || EndsWith(name, ".jpeg"))
        return SnapshotFormat::kJpeg;
    if (EndsWith(name, ".pdf"))
        return SnapshotFormat::kPdf;
    if (EndsWith(name, ".csv"))
        return SnapshotFormat::kCsv;
    return std::nullopt;
}

std::vector<std::string> WithoutQtOptions(const std::vector<std::string>& args) {
    // Qt's options that take the next argument as their value, each between blanks.
    constexpr std::string_view kWithValue =
        " -platform -platformpluginpath -platformtheme -plugin -qwindowgeometry -geometry"
        " -qwindowtitle -title -qwindowicon -icon -display -name -session -style -stylesheet"
        " -visual -fn -font -bg -background -fg -foreground -btn -button -ncols -cmap ";
    std::vector<std::string> own;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg[0] != '-' || arg[1] == '-' || arg == "-h") {
            own.push_back(arg);
            continue;
        }
        if (kWithValue.find(" " + arg + " ") != std::string_view::npos)
            ++i;
    }
    return own;
}

bool ParseAppOptions(const std::vector<std::string>& args, AppOptions& options,
                     std::string& error) {
    bool measureGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        // The value of an option whose value may be left out: the next argument
        // unless it is an option itself.
        auto optional_value = [&]() -> std::optional<std::string> {
            if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-')
                return args[++i];
            return std::nullopt;
        };
        if (arg == "--simulate") {
            options.simulate = true;
            if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') {
                const std::string text = args[++i];
                const auto n = PlainSeconds(text);
                if (!n || *n != static_cast<int>(*n) || *n < 1 ||
                    *n > station::kMaxSimulatedMeters) {
                    error = "--simulate takes 1 to " + std::to_string(station::kMaxSimulatedMeters) +
                            " meters, not '" + text + "'";
                    return false;
                }
                options.simulateCount = static_cast<int>(*n);
            }
        } else if (arg == "--port") {
            std::string port;
            if (!value(port))
                return false;
            if (options.ports.empty())
                options.port = port;
            options.ports.push_back(port);
        } else if (arg == "--serial") {
            std::string serial;
            if (!value(serial))
                return false;
            if (serial.empty()) {
                error = "--serial needs a serial number";
                return false;
            }
            options.serials.push_back(serial);
        } else if (arg == "--all") {
            options.all = true;
        } else if (arg == "--keep-going") {
            options.keepGoing = true;
        } else if (arg == "--publish") {
            if (!value(options.publish))
                return false;
        } else if (arg == "--stand") {
            if (!value(options.stand))
                return false;
        } else if (arg == "--serve") {
            options.serve = optional_value().value_or(kDefaultServeAddress);
        } else if (arg == "--http") {
            options.http = optional_value().value_or(kDefaultHttpAddress);
        } else if (arg == "--no-announce") {
            options.noAnnounce = true;
        } else if (arg == "--snapshot") {
            if (!value(options.snapshotFile))
                return false;
            if (!SnapshotFormatOf(options.snapshotFile)) {
                error = "--snapshot FILE must end in .png, .jpg, .jpeg, .pdf or .csv, not '" +
                        options.snapshotFile + "'";
                return false;
            }
        } else if (arg == "--after") {
            std::string text;
            if (!value(text))
                return false;
            const auto seconds = PlainSeconds(text);
            if (!seconds) {
                error = "--after needs a number of seconds, not '" + text + "'";
                return false;
            }
            options.snapshotAfterS = *seconds;
        } else if (arg == "--quit-after") {
            std::string text;
            if (!value(text))
                return false;
            const auto seconds = PlainSeconds(text);
            if (!seconds) {
                error = "--quit-after needs a number of seconds, not '" + text + "'";
                return false;
            }
            options.quitAfterS = *seconds;
        } else if (std::string* text = arg == "--average"    ? &options.measureTexts.average
                                       : arg == "--offset"   ? &options.measureTexts.offset
                                       : arg == "--relative" ? &options.measureTexts.relative
                                       : arg == "--upper"    ? &options.measureTexts.upper
                                       : arg == "--lower"    ? &options.measureTexts.lower
                                       : arg == "--unit"     ? &options.measureTexts.unit
                                                             : nullptr) {
            if (!value(*text))
                return false;
            if (text->empty() && options.measureTexts.emptyOption.empty())
                options.measureTexts.emptyOption = arg;
            measureGiven = true;
        } else if (arg == "--trace-period") {
            if (!value(options.tracePeriod))
                return false;
            const NumberField field{"--trace-period", 0.0, kTraceMaxPeriodSeconds, false,
                                    "seconds"};
            const auto seconds = ParseOptionNumber(options.tracePeriod, field, error);
            if (!seconds)
                return false;
            if (*seconds <= 0.0) {
                error = "--trace-period must be more than 0 seconds, up to 3600";
                return false;
            }
        } else if (arg == "--rolling") {
            std::string text;
            if (!value(text))
                return false;
            const NumberField field{"--rolling", 0.0, kRollingMaxHours, false, "hours"};
            const auto hours = ParseOptionNumber(text, field, error);
            if (!hours)
                return false;
            if (*hours <= 0.0) {
                error = "--rolling must be more than 0 hours, up to 24";
                return false;
            }
            options.rollingHours = *hours;
        } else if (arg == "--reconnect") {
            options.reconnect = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else {
            error = "unknown argument '" + arg + "'";
            return false;
        }
    }
    if (options.all && (!options.ports.empty() || !options.serials.empty() || options.simulate)) {
        error = "--all opens every meter found; it cannot be used with --port, --serial or --simulate";
        return false;
    }
    if (options.serve) {
        std::string address;
        std::uint16_t port = 0;
        if (!remote::ParseListenAddress(*options.serve, address, port, error)) {
            const std::string listen = "--listen ";
            error = "--serve " + (error.rfind(listen, 0) == 0 ? error.substr(listen.size()) : error);
            return false;
        }
    }
    if (options.http) {
        std::string address;
        std::uint16_t port = 0;
        if (!remote::ParseListenAddress(*options.http, address, port, error)) {
            const std::string listen = "--listen ";
            error = "--http " + (error.rfind(listen, 0) == 0 ? error.substr(listen.size()) : error);
            return false;
        }
    }
    if (!options.stand.empty() && options.publish.empty()) {
        error = "--stand needs --publish HOST[:PORT]";
        return false;
    }
    if (options.simulate && !options.port.empty()) {
        error = "--simulate and --port cannot be used together";
        return false;
    }
    if (measureGiven) {
        measure::MeasureSettings settings;
        if (!measure::BuildMeasureSettings(options.measureTexts, settings, error))
            return false;
        options.measure = settings;
    }
    if (options.StationWindow()) {
        // These belong to the one-meter window's measurement and trace.
        const char* own = options.measure                   ? "--average, --offset, --relative, "
                                                              "--upper, --lower and --unit"
                          : !options.tracePeriod.empty()    ? "--trace-period"
                          : options.rollingHours > 0        ? "--rolling"
                          : SnapshotFormatOf(options.snapshotFile) == SnapshotFormat::kCsv
                              ? "--snapshot FILE.csv"
                              : nullptr;
        if (own != nullptr) {
            error = std::string(own) +
                    ": for the one-meter window only, not with several meters, --serial, "
                    "--all, --serve or --publish";
            return false;
        }
    }
    if (!options.snapshotFile.empty() && options.snapshotAfterS < 0)
        options.snapshotAfterS = 0;
    if (options.snapshotFile.empty() && options.snapshotAfterS >= 0) {
        error = "--after needs --snapshot FILE";
        return false;
    }
    return true;
}

}  // namespace velquor
