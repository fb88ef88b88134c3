// velquor-cli publish: every reading of the chosen meters to an MQTT broker.
#include <chrono>
#include <optional>

#include "cli_app.h"

#if VELQUOR_HAVE_MQTT
#include "cli_station.h"
#include "mqtt_feed.h"

namespace velquor::cli {

namespace {

using Clock = std::chrono::steady_clock;

struct PublishOptions {
    MeterOptions meters;
    MqttOptions mqtt;
    std::string seconds;
    ReconnectOptions reconnect;
};

// Values that are refused end with status 1, options that do not go together with 2,
// as in the other commands.
int RunPublish(CliApp& cli, const PublishOptions& o) {
    MeterRequest request;
    std::string error;
    if (const int status = ResolveMeters(cli.RootMeters(), o.meters, request, error))
        return Report(status, error);
    station::ReconnectPolicy policy;
    if (const int status = ReconnectPolicyFor(o.reconnect, policy, error))
        return Report(status, error);
    telemetry::PublisherOptions p;
    if (const int status = BuildPublisherOptions(o.mqtt, p, error))
        return Report(status, error);
    std::optional<Clock::duration> duration;
    if (!o.seconds.empty()) {
        const auto v = ParseNumberOption(o.seconds, kSecondsField, error);
        if (!v)
            return Fail(error);
        duration = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*v));
    }

    CliStation station(cli);
    if (const int status = station.Open(request, policy))
        return status;
    MqttFeed feed(station, o.mqtt.broker, std::move(p), {"the publisher"});
    if (!feed.Start(error))
        return Fail(error);

    const auto start = Clock::now();
    while (!cli.Stop().Requested() && !feed.Failed() && feed.Poll().Running() > 0) {
        if (duration && Clock::now() - start >= *duration)
            break;
        // Short enough to see a stop request soon.
        feed.Step(Clock::now() + std::chrono::milliseconds(100));
    }
    station.Get().Close();
    if (const int status = feed.Finish(cli.Stop().Requested()))
        return status;
    // Like monitor and log, a stop request is this command's normal end.
    return station.SomeFailed() || feed.Poll().Failed() ? kExitFailure : kExitOk;
}

}  // namespace

void RegisterPublishCommand(CliApp& cli) {
    auto o = std::make_shared<PublishOptions>();
    CLI::App* app = cli.AddCommand("publish", "publish every reading to an MQTT broker",
                                   [o](CliApp& c) { return RunPublish(c, *o); });
    AddMqttOptions(*app, o->mqtt, "--broker", "The broker (port 1883, 8883 with TLS)")->required();
    AddSecondsOption(*app, o->seconds, "Stop after N seconds");
    AddReconnectOptions(*app, o->reconnect);
    AddMeterOptions(*app, o->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
#else

namespace velquor::cli {

// Built without the MQTT client: the command is listed, and says why it cannot run.
void RegisterPublishCommand(CliApp& cli) {
    cli.AddUnavailableCommand("publish", "publish every reading to an MQTT broker", [](CliApp&) {
        return Fail(
            "publish is not available in this build: it was built without the MQTT "
            "client library");
    });
}

}  // namespace velquor::cli

#endif
