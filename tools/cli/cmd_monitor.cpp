#include <chrono>
#include <cstdio>

#include "cli_app.h"
#include "frame_queue.h"
#include "meter/frame_timing_log.h"
#include "meter/number_format.h"
#include "meter_session.h"

namespace velquor::cli {

namespace {

// Shortest of one or two decimals that gives the value back exactly
// (temperatures come in steps of 1.25).
std::string JsonNumber(double v) {
    std::string text = FormatC("%.1f", v);
    if (ParseLeadingDouble(text).value_or(v + 1) != v)
        text = FormatC("%.2f", v);
    return text;
}

std::string DescribeFrame(const std::vector<std::uint8_t>& frame, bool json) {
    const int opcode = frame.empty() ? -1 : frame[0];
    if (opcode == kOpMeasurement) {
        const Measurement m = DecodeMeasurement(frame.data(), static_cast<int>(frame.size()));
        std::string s = json ? "{\"opcode\":228" : "measurement";
        if (m.hasBattery)
            s += json ? ",\"battery\":" + JsonNumber(m.battery)
                      : "  battery " + JsonNumber(m.battery);
        if (m.hasPower)
            s += json ? ",\"power_dbm\":" + JsonNumber(m.powerDbm)
                      : "  power " + JsonNumber(m.powerDbm) + " dBm";
        if (m.hasTemperature)
            s += json ? ",\"temperature_c\":" + JsonNumber(m.temperatureC)
                      : "  temperature " + JsonNumber(m.temperatureC) + " C";
        return json ? s + "}" : s;
    }
    if (opcode == kOpLinkLost)
        return json ? "{\"opcode\":240,\"event\":\"link_lost\"}" : "link lost";
    if (opcode < 0)
        return json ? "{\"opcode\":null,\"length\":0}" : "empty frame";
    return json ? FormatC("{\"opcode\":%d,\"length\":%zu}", opcode, frame.size())
                : FormatC("frame opcode 0x%02X, %zu bytes", opcode, frame.size());
}

struct MonitorOptions {
    MeterOptions meters;
    std::string seconds;
    bool json = false;
};

int RunMonitor(CliApp& cli, const MonitorOptions& options) {
    MeterRequest request;
    std::string error;
    if (!ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Fail(error);
    double seconds = -1.0;
    if (!options.seconds.empty()) {
        const auto v = ParseNumberOption(options.seconds, kSecondsField, error);
        if (!v)
            return Fail(error);
        seconds = *v;
    }
    // Before the session: its worker records into the log until it stops.
    const std::unique_ptr<CFrameTimingLog> timing = CFrameTimingLog::FromEnvironment(error);
    if (!error.empty())
        return Fail(error);
    MeterSession session(request, cli.Stop());
    session.Meter().SetTimingLog(timing.get());
    if (!session.OpenForMonitor(error))
        return Fail(error);
    session.Meter().RequestMeasurement();

    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(seconds < 0 ? 0 : seconds));
    std::vector<std::uint8_t> frame;
    while (!cli.Stop().Requested() && (seconds < 0 || Clock::now() < end)) {
        if (!session.Frames()->Pop(frame, 100))
            continue;
        const std::string line = DescribeFrame(frame, options.json);
        std::fprintf(stdout, "%s\n", line.c_str());
        std::fflush(stdout);
        if (timing) {
            if (const auto tag = MeasurementTag(frame.data(), static_cast<int>(frame.size())))
                timing->Record(TimingEvent::kHandled, *tag);
        }
    }
    return kExitOk;
}

}  // namespace

void RegisterMonitorCommand(CliApp& cli) {
    auto options = std::make_shared<MonitorOptions>();
    CLI::App* app = cli.AddCommand("monitor", "print every reading the meters send",
                                   [options](CliApp& c) { return RunMonitor(c, *options); });
    AddSecondsOption(*app, options->seconds, "Stop after N seconds");
    app->add_flag("--json", options->json, "One JSON object per line");
    AddMeterOptions(*app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
