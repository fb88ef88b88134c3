// velquor-cli monitor: every reading of every meter as it arrives.
#include <chrono>
#include <cmath>
#include <cstdio>

#include "cli_app.h"
#include "cli_measure.h"
#include "cli_station.h"
#include "cli_text.h"
#include "meter/frame_timing_log.h"
#include "reading_format.h"
#include "reading_poll.h"

namespace velquor::cli {

namespace {

constexpr std::chrono::milliseconds kGatherReadings{20};

struct MonitorOptions {
    MeterOptions meters;
    ReconnectOptions reconnect;
    MeasureOptions measure;
    std::string seconds;
    bool json = false;
    bool stats = false;
};

int RunMonitor(CliApp& cli, const MonitorOptions& options) {
    MeterRequest request;
    std::string error;
    if (const int status = ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Report(status, error);
    station::ReconnectPolicy policy;
    if (const int status = ReconnectPolicyFor(options.reconnect, policy, error))
        return Report(status, error);
    measure::MeasureSettings settings;
    if (!BuildMeasureSettings(options.measure, settings, error))
        return Fail(error);
    const bool measured = options.measure.Any() || options.stats;
    std::optional<double> seconds;
    if (!options.seconds.empty() &&
        !(seconds = ParseNumberOption(options.seconds, kSecondsField, error)))
        return Fail(error);
    // Before the station: its workers record into the log until they stop.
    const std::unique_ptr<CFrameTimingLog> timing = CFrameTimingLog::FromEnvironment(error);
    if (!error.empty())
        return Fail(error);

    CliStation meters(cli);
    if (const int status = meters.Open(request, policy, timing.get()))
        return status;
    ReadingPoll poll(meters, meters.Get().Subscribe(), {"the output"});

    using Clock = std::chrono::steady_clock;
    const auto end = seconds ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(*seconds))
                             : Clock::time_point::max();
    std::vector<measure::MeasurePipeline> pipelines(measured ? meters.Count() : 0);
    for (measure::MeasurePipeline& p : pipelines)
        p.Apply(settings, error);
    while (!cli.Stop().Requested() && Clock::now() < end && poll.Running() > 0) {
        const std::vector<station::Reading>& batch = poll.Poll(std::chrono::milliseconds(100));
        for (std::size_t k = 0; k < batch.size(); ++k) {
            const station::Reading& r = batch[k];
            const std::string& name = meters.Name(r.meter);
            std::string line;
            if (measured) {
                measure::MeasurePipeline& p = pipelines[r.meter];
                // An average never spans a loss, nor readings dropped here.
                if (r.kind != station::ReadingKind::Measurement || poll.MissedBefore(k) > 0)
                    p.RestartAverage();
                if (r.kind == station::ReadingKind::Measurement)
                    p.Process(r.power_dbm, r.steady_ns);
                line = options.json ? MonitorJsonLine(r, name, p)
                                    : MonitorTextLine(r, name, meters.Several(), p);
            } else {
                line = options.json ? MonitorJsonLine(r, name)
                                    : MonitorTextLine(r, name, meters.Several());
            }
            std::fputs(line.c_str(), stdout);
            std::fputc('\n', stdout);
            if (timing && r.kind == station::ReadingKind::Measurement)
                timing->Record(TimingEvent::kHandled, std::llround(r.power_dbm * 10.0));
        }
        // Output that cannot be written ends the command (reported when it returns).
        if (!cli.FlushOutput())
            break;
        // Readings of a fast meter come every few milliseconds: gathering them for a
        // moment costs no visible delay and saves most wake-ups and writes.
        if (!batch.empty())
            cli.Stop().WaitFor(kGatherReadings);
    }
    if (options.stats) {
        for (std::size_t i = 0; i < pipelines.size(); ++i) {
            const std::string& name = meters.Name(i);
            if (options.json)
                std::printf("%s\n", StatisticsJson(pipelines[i], name).c_str());
            else
                std::printf("%s%s", i > 0 ? "\n" : "",
                            StatisticsText(pipelines[i], name, meters.Several()).c_str());
        }
    }
    poll.ReportDrops();
    return meters.SomeFailed() || poll.Failed() ? kExitFailure : kExitOk;
}

}  // namespace

void RegisterMonitorCommand(CliApp& cli) {
    auto options = std::make_shared<MonitorOptions>();
    CLI::App* app = cli.AddCommand("monitor", "print every reading the meters send",
                                   [options](CliApp& c) { return RunMonitor(c, *options); });
    AddSecondsOption(*app, options->seconds, "Stop after N seconds");
    app->add_flag("--json", options->json, "One JSON object per line");
    AddMeasureOptions(*app, options->measure);
    app->add_flag("--stats", options->stats,
                  "Print each meter's statistics (count, min, max, mean, std dev) at the end");
    AddReconnectOptions(*app, options->reconnect);
    AddMeterOptions(*app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
