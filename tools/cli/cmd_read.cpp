// velquor-cli read: a few averaged values from each meter, then exit; the one-shot
// reading that test scripts call, with a pass/fail status against user limits.
#include <cstdio>
#include <deque>

#include "cli_app.h"
#include "cli_measure.h"
#include "cli_station.h"
#include "cli_text.h"
#include "reading_poll.h"

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
};

// A value ready to print, with what it failed.
struct ReadValue {
    std::string line;
    std::string limitFailure;  // empty when it passed or had no limit
};

// Values go out in channel order whatever order the meters send in: round by round,
// each meter's next value once those of the meters before it are out; a meter that
// has ended is passed over.
class ChannelOrder {
public:
    explicit ChannelOrder(std::size_t meters) : m_pending(meters) {}
    void Add(std::size_t meter, ReadValue value) { m_pending[meter].push_back(std::move(value)); }
    // Prints what is due; ended(meter) says a meter will add nothing more.
    template <typename Ended>
    void PrintDue(const Ended& ended) {
        for (std::size_t passed = 0; passed < m_pending.size();) {
            std::deque<ReadValue>& queue = m_pending[m_turn];
            if (!queue.empty()) {
                Print(queue.front());
                queue.pop_front();
                passed = 0;
            } else if (ended(m_turn)) {
                ++passed;
            } else {
                return;
            }
            m_turn = (m_turn + 1) % m_pending.size();
        }
    }
    // Whatever is left, when the command is stopped.
    void PrintAll() {
        PrintDue([](std::size_t) { return true; });
    }

private:
    static void Print(const ReadValue& v) {
        std::printf("%s\n", v.line.c_str());
        std::fflush(stdout);
        if (!v.limitFailure.empty())
            Report(kExitLimitFailed, v.limitFailure);
    }

    std::vector<std::deque<ReadValue>> m_pending;
    std::size_t m_turn = 0;
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
    ReadingPoll poll(meters, meters.Get().Subscribe(), {"the reader", true});
    std::vector<MeterRead> reads(meters.Count());
    for (MeterRead& r : reads)
        r.pipeline.Apply(settings, error);
    ChannelOrder order(reads.size());
    bool limitFailed = false;
    while (poll.Running() > 0 && !cli.Stop().Requested()) {
        const std::vector<station::Reading>& batch = poll.Poll(std::chrono::milliseconds(100));
        for (std::size_t k = 0; k < batch.size(); ++k) {
            const station::Reading& reading = batch[k];
            MeterRead& r = reads[reading.meter];
            // A value averages readings that came one after the other.
            if (reading.kind != station::ReadingKind::Measurement || poll.MissedBefore(k) > 0)
                r.pipeline.RestartAverage();
            if (poll.Ended(reading.meter) || reading.kind != station::ReadingKind::Measurement ||
                !r.pipeline.Process(reading.power_dbm, reading.steady_ns) ||
                !r.pipeline.Last().settled)
                continue;
            const std::string& name = meters.Name(reading.meter);
            ReadValue value;
            value.line = options.json
                             ? MeasuredJson(r.pipeline, name, reading.utc_us)
                             : (meters.Several() ? PrintableText(name) + "  " : std::string()) +
                                   MeasuredText(r.pipeline);
            if (measure::Failed(r.pipeline.Last().limit)) {
                limitFailed = true;
                value.limitFailure = PrintableText(name) + ": " + LimitFailureText(r.pipeline);
            }
            order.Add(reading.meter, std::move(value));
            // The next value averages readings of its own.
            r.pipeline.RestartAverage();
            if (++r.values == count)
                poll.End(reading.meter);
        }
        order.PrintDue([&](std::size_t i) { return poll.Ended(i); });
    }
    order.PrintAll();
    poll.ReportDrops();
    if (poll.Running() > 0 && cli.Stop().Requested())
        return cli.Stop().ExitStatus();
    if (meters.SomeFailed() || poll.Failed())
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
