#include <chrono>
#include <cmath>
#include <cstdio>

#include "cli_app.h"
#include "cli_text.h"
#include "frame_queue.h"
#include "meter/frame_timing_log.h"
#include "meter/number_format.h"
#include "meter_session.h"
#include "reading_format.h"

namespace velquor::cli {

namespace {

struct MonitorOptions {
    MeterOptions meters;
    std::string seconds;
    bool json = false;
};

int RunMonitor(CliApp& cli, const MonitorOptions& options) {
    MeterRequest request;
    std::string error;
    if (const int status = ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Report(status, error);
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
    std::int64_t utc_us = 0;
    while (!cli.Stop().Requested() && (seconds < 0 || Clock::now() < end)) {
        if (session.Check() == MeterPresence::Gone)
            return Fail("the meter " + PrintableText(session.Name()) +
                        " is gone (the device hung up or vanished)");
        if (!session.Frames()->Pop(frame, utc_us, 100))
            continue;
        station::Reading reading;
        reading.utc_us = utc_us;
        if (!frame.empty() && frame[0] == kOpLinkLost) {
            reading.kind = station::ReadingKind::LinkLost;
        } else {
            const Measurement m = DecodeMeasurement(frame.data(), static_cast<int>(frame.size()));
            if (frame.empty() || frame[0] != kOpMeasurement || !m.hasTemperature)
                continue;
            reading.power_dbm = m.powerDbm;
            reading.temperature_c = m.temperatureC;
            reading.battery = m.battery;
        }
        const std::string line = options.json ? MonitorJsonLine(reading, session.Name())
                                              : MonitorTextLine(reading, session.Name(), false);
        std::fprintf(stdout, "%s\n", line.c_str());
        std::fflush(stdout);
        if (timing && reading.kind == station::ReadingKind::Measurement)
            timing->Record(TimingEvent::kHandled, std::llround(reading.power_dbm * 10.0));
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
