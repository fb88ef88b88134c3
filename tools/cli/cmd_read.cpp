// velquor-cli read: a few averaged values from each meter, then exit; the one-shot
// reading that test scripts call, with a pass/fail status against user limits.
#include <cstdio>

#include "cli_app.h"
#include "cli_measure.h"
#include "cli_station.h"
#include "cli_text.h"

namespace velquor::cli {

namespace {

struct ReadOptions {
    MeterOptions meters;
    ReconnectOptions reconnect;
    MeasureOptions measure;
    std::string count;
    bool json = false;
};

constexpr NumberField kCountField{"--count", 1, 1000000, true, "values"};

struct MeterRead {
    measure::MeasurePipeline pipeline;
    int values = 0;
    bool done = false;
};

int RunRead(CliApp& cli, const ReadOptions& options) {
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
    int count = 1;
    if (!options.count.empty()) {
        const auto n = ParseNumberOption(options.count, kCountField, error);
        if (!n)
            return Fail(error);
        count = static_cast<int>(*n);
    }

    CliStation meters(cli);
    if (const int status = meters.Open(request, policy))
        return status;
    // Subscribed after the meters opened: every reading taken is a fresh one.
    const auto subscription = meters.Get().Subscribe();
    std::vector<MeterRead> reads(meters.Count());
    for (MeterRead& r : reads)
        r.pipeline.Apply(settings, error);
    std::size_t running = reads.size();
    bool failed = meters.SomeFailed();
    bool limitFailed = false;
    const auto finish = [&](std::size_t i, const std::string& why) {
        if (!why.empty()) {
            Fail(PrintableText(meters.Name(i)) + ": " + why);
            failed = true;
        }
        reads[i].done = true;
        --running;
    };
    std::vector<station::Reading> batch;
    while (running > 0 && !cli.Stop().Requested()) {
        batch.clear();
        subscription->PopAll(batch, std::chrono::milliseconds(100));
        for (const station::Reading& reading : batch) {
            if (reading.meter >= reads.size() || reads[reading.meter].done)
                continue;
            meters.Track(reading);
            MeterRead& r = reads[reading.meter];
            if (reading.kind == station::ReadingKind::LinkLost && !meters.Reconnecting()) {
                finish(reading.meter, meters.Gone(reading.meter)
                                          ? "the meter is gone (the device hung up or vanished)"
                                          : "the meter was lost (it fell silent)");
                continue;
            }
            if (reading.kind == station::ReadingKind::LinkLost)
                r.pipeline.RestartAverage();
            if (reading.kind != station::ReadingKind::Measurement ||
                !r.pipeline.Process(reading.power_dbm, reading.steady_ns) ||
                !r.pipeline.Last().settled)
                continue;
            const std::string& name = meters.Name(reading.meter);
            const std::string line =
                options.json ? MeasuredJson(r.pipeline, name, reading.utc_us)
                             : (meters.Several() ? PrintableText(name) + "  " : std::string()) +
                                   MeasuredText(r.pipeline);
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
            if (measure::Failed(r.pipeline.Last().limit)) {
                limitFailed = true;
                Report(kExitLimitFailed, PrintableText(name) + ": " + LimitFailureText(r.pipeline));
            }
            // The next value averages readings of its own.
            r.pipeline.RestartAverage();
            if (++r.values == count)
                finish(reading.meter, {});
        }
        for (std::size_t i = 0; i < reads.size(); ++i) {
            if (reads[i].done)
                continue;
            if (meters.Reconnecting() && meters.GaveUp(i))
                finish(i, meters.Get().Status(i).last_notice);
            else if (!meters.Reconnecting() && meters.Gone(i))
                finish(i, "the meter is gone (the device hung up or vanished)");
        }
    }
    if (running > 0 && cli.Stop().Requested())
        return cli.Stop().ExitStatus();
    if (failed)
        return kExitFailure;
    return limitFailed ? kExitLimitFailed : kExitOk;
}

}  // namespace

void RegisterReadCommand(CliApp& cli) {
    auto options = std::make_shared<ReadOptions>();
    CLI::App* app = cli.AddCommand("read", "print averaged values of each meter and exit",
                                   [options](CliApp& c) { return RunRead(c, *options); });
    app->add_option("--count", options->count, "Print M values per meter (default 1)")
        ->type_name("M");
    AddMeasureOptions(*app, options->measure);
    app->add_flag("--json", options->json, "One JSON object per value");
    AddReconnectOptions(*app, options->reconnect);
    AddMeterOptions(*app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
