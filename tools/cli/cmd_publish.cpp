// velquor-cli publish: every reading of the chosen meters to an MQTT broker.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "cli_app.h"
#include "cli_station.h"
#include "cli_text.h"
#include "reading_poll.h"
#include "telemetry/password_file.h"
#include "telemetry/publisher.h"
#include "telemetry/tls_files.h"

namespace velquor::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr NumberField kIntervalField{"--interval-ms", 10, 60000, true, "ms"};
constexpr NumberField kBufferField{"--buffer-seconds", 0, 3600, false, "s"};
constexpr NumberField kReconnectTimeoutField{"--reconnect-timeout", 0.001, 365.0 * 24 * 3600, false,
                                             "s"};
constexpr const char* kPasswordVariable = "VELQUOR_MQTT_PASSWORD";
// The goodbye after Ctrl-C, within the stop signal's grace together with closing
// the meters and the summary line.
constexpr std::chrono::milliseconds kFinishAfterStop{300};
constexpr std::chrono::milliseconds kFinish{3000};

struct PublishOptions {
    MeterOptions meters;
    std::string broker;
    std::optional<std::string> stand;  // given empty is refused, not the host name
    std::string prefix = "velquor/v1";
    std::string interval = "200";
    std::string qos = "1";
    std::string username;
    std::string passwordFile;
    std::string tlsCa, tlsCert, tlsKey;
    std::string bufferSeconds = "60";
    std::string seconds;
    ReconnectOptions reconnect;
    bool insecure = false;
};

std::string HostStandName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "stand";
    const std::string level = telemetry::SafeTopicLevel(name);
    return level.empty() ? "stand" : level;
}

bool Readable(const std::string& path, const char* option, std::string& error) {
    if (access(path.c_str(), R_OK) == 0)
        return true;
    error = std::string(option) + ": cannot read " + path;
    return false;
}

void Say(const std::string& text) {
    std::fprintf(stderr, "%s %s\n", LocalSecondsText(UtcNowUs()).c_str(), text.c_str());
}

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
    const bool tls = !o.tlsCa.empty();
    if (!tls && (!o.tlsCert.empty() || !o.tlsKey.empty()))
        return UsageError("--tls-cert and --tls-key need --tls-ca");
    if (o.tlsCert.empty() != o.tlsKey.empty())
        return UsageError("--tls-cert and --tls-key go together");
    const auto address = telemetry::ParseBrokerAddress(o.broker, tls, error);
    if (!address)
        return Fail(error);
    p.broker = *address;
    p.stand = o.stand ? *o.stand : HostStandName();
    if (const auto why = telemetry::CheckStandName(p.stand))
        return Fail("--stand: " + *why);
    if (const auto why = telemetry::CheckTopicPrefix(o.prefix))
        return Fail("--topic-prefix: " + *why);
    p.topic_prefix = o.prefix;
    const auto interval = ParseNumberOption(o.interval, kIntervalField, error);
    if (!interval)
        return Fail(error);
    p.interval = std::chrono::milliseconds(static_cast<long long>(*interval));
    if (o.qos != "0" && o.qos != "1")
        return Fail("--qos takes 0 or 1, not '" + PrintableText(o.qos) + "'");
    p.qos = o.qos == "1" ? 1 : 0;
    const auto buffer = ParseNumberOption(o.bufferSeconds, kBufferField, error);
    if (!buffer)
        return Fail(error);
    p.buffer = std::chrono::milliseconds(static_cast<long long>(*buffer * 1000.0));
    std::optional<Clock::duration> duration;
    if (!o.seconds.empty()) {
        const auto v = ParseNumberOption(o.seconds, kSecondsField, error);
        if (!v)
            return Fail(error);
        duration = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*v));
    }
    // The password never comes from the command line, where other users can read it.
    if (!o.passwordFile.empty()) {
        const auto password = telemetry::ReadPasswordFile(o.passwordFile, error);
        if (!password)
            return Fail(error);
        p.password = *password;
    } else if (const char* env = std::getenv(kPasswordVariable); env != nullptr && *env != '\0') {
        p.password = env;
        if (o.username.empty())
            return UsageError(std::string(kPasswordVariable) +
                              " holds a password, which needs --username (or unset it)");
    }
    if (!p.password.empty() && o.username.empty())
        return UsageError("a password needs --username");
    p.username = o.username;
    if (tls) {
        if (!Readable(o.tlsCa, "--tls-ca", error) ||
            (!o.tlsCert.empty() && (!Readable(o.tlsCert, "--tls-cert", error) ||
                                    !Readable(o.tlsKey, "--tls-key", error))))
            return Fail(error);
        p.tls = telemetry::TlsFiles{o.tlsCa, o.tlsCert, o.tlsKey};
        if (const auto why = telemetry::CheckTlsFiles(*p.tls))
            return Fail(*why);
    }
    if (!p.password.empty() && !tls && !telemetry::IsLoopbackHost(p.broker.host)) {
        if (!o.insecure)
            return Fail("the password would go unencrypted to " + p.broker.host +
                        ": use --tls-ca FILE, or --insecure to send it anyway");
        std::fprintf(stderr, "velquor-cli: warning: sending the MQTT password unencrypted to %s\n",
                     p.broker.host.c_str());
    }

    CliStation station(cli);
    if (const int status = station.Open(request, policy))
        return status;

    const auto identityOf = [&station](std::size_t i) {
        const station::MeterInfo info = station.Get().Meter(i);
        telemetry::MeterIdentity id;
        id.name = station.Name(i);
        id.serial = info.serial;
        if (info.target.kind != station::MeterTarget::Kind::Simulated)
            id.path = info.path;
        id.model = info.manufacturer;
        // Both come from the unit's record; a frequency of 0 means it was not read.
        if (info.frequency_mhz > 0) {
            id.frequency_mhz = info.frequency_mhz;
            id.cable_loss_db = info.cable_loss_db;
        }
        return id;
    };
    std::vector<telemetry::MeterIdentity> meters;
    for (std::size_t i = 0; i < station.Count(); ++i)
        meters.push_back(identityOf(i));
    p.current_identity = [&identityOf](std::size_t i) {
        return std::optional<telemetry::MeterIdentity>(identityOf(i));
    };
    const auto subscription = station.Get().Subscribe(16384);
    ReadingPoll poll(station, subscription, {"the publisher"});
    telemetry::Publisher publisher(p, meters);
    if (!publisher.Start(Clock::now(), error))
        return Fail(error);
    Say("publishing " + CountText(static_cast<long long>(meters.size()), "meter", "meters") +
        " to " + o.broker + " under " + o.prefix + "/" + p.stand + " (session " +
        publisher.Session() + ")");

    const auto start = Clock::now();
    std::vector<std::string> notices;
    while (!cli.Stop().Requested() && !publisher.Failed() && poll.Running() > 0) {
        const auto now = Clock::now();
        if (duration && now - start >= *duration)
            break;
        // A meter that will not come back ends (told by the poll); the others go on.
        for (const auto& r : poll.Poll(std::chrono::milliseconds(0)))
            publisher.Add(r);
        publisher.Service(now);
        publisher.TakeNotices(notices);
        for (const auto& n : notices)
            Say(PrintableText(n));
        notices.clear();
        // Woken by the broker's answers too, so a backlog drains without waiting a
        // whole interval; short enough to see a stop request soon.
        publisher.WaitUntil(
            std::min(publisher.NextDue(), Clock::now() + std::chrono::milliseconds(100)));
    }
    station.Get().Close();
    std::vector<station::Reading> readings;
    subscription->PopAll(readings, std::chrono::milliseconds(0));
    for (const auto& r : readings)
        publisher.Add(r);
    const std::uint64_t undelivered =
        publisher.Finish(cli.Stop().Requested() ? kFinishAfterStop : kFinish);
    publisher.TakeNotices(notices);
    for (const auto& n : notices)
        Say(PrintableText(n));
    if (publisher.Failed())
        return Fail(publisher.Failure());

    std::uint64_t total = 0, messages = 0, pastBuffer = 0;
    for (std::size_t i = 0; i < publisher.MeterCount(); ++i) {
        const telemetry::MeterCounters c = publisher.Counters(i);
        total += c.readings;
        messages += c.messages;
        pastBuffer += c.dropped - c.skipped;
    }
    // All the publisher never got, also those after the last reading it took, which
    // no message could count.
    const std::uint64_t skipped = subscription->Dropped();
    std::printf(
        "published %s of %s in %s to %s; %llu dropped past the buffer, %llu dropped as the "
        "publisher fell behind, %llu not delivered\n",
        CountText(static_cast<long long>(total), "reading", "readings").c_str(),
        CountText(static_cast<long long>(meters.size()), "meter", "meters").c_str(),
        CountText(static_cast<long long>(messages), "message", "messages").c_str(),
        o.broker.c_str(), static_cast<unsigned long long>(pastBuffer),
        static_cast<unsigned long long>(skipped), static_cast<unsigned long long>(undelivered));
    if (undelivered > 0)
        return Fail(CountText(static_cast<long long>(undelivered), "reading", "readings") +
                    " did not reach the broker");
    // Like monitor and log, a stop request is this command's normal end.
    return station.SomeFailed() || poll.Failed() ? kExitFailure : kExitOk;
}

}  // namespace

void RegisterPublishCommand(CliApp& cli) {
    auto o = std::make_shared<PublishOptions>();
    CLI::App* app = cli.AddCommand("publish", "publish every reading to an MQTT broker",
                                   [o](CliApp& c) { return RunPublish(c, *o); });
    app->add_option("--broker", o->broker, "The broker (port 1883, 8883 with TLS)")
        ->type_name("HOST[:PORT]")
        ->required();
    app->add_option("--stand", o->stand, "This stand's topic level (default: the host name)")
        ->type_name("NAME");
    app->add_option("--topic-prefix", o->prefix, "Topic prefix (default velquor/v1)")
        ->type_name("P");
    app->add_option("--interval-ms", o->interval,
                    "One power message per meter per interval (default 200)")
        ->type_name("MS");
    app->add_option("--qos", o->qos, "QoS of power and summary messages (default 1)")
        ->type_name("0|1");
    app->add_option("--username", o->username, "User name at the broker")->type_name("U");
    app->add_option("--password-file", o->passwordFile,
                    "The password: first line of this file (or $VELQUOR_MQTT_PASSWORD)")
        ->type_name("F");
    app->add_option("--tls-ca", o->tlsCa, "Use TLS; the broker's certificate must chain to this CA")
        ->type_name("FILE");
    app->add_option("--tls-cert", o->tlsCert, "Client certificate (with --tls-key)")
        ->type_name("F");
    app->add_option("--tls-key", o->tlsKey, "Client certificate's private key")->type_name("F");
    app->add_option("--buffer-seconds", o->bufferSeconds,
                    "Readings kept per meter while the broker is away (default 60)")
        ->type_name("S");
    AddSecondsOption(*app, o->seconds, "Stop after N seconds");
    app->add_flag("--insecure", o->insecure,
                  "Allow the password to go unencrypted to a broker that is not on this machine");
    AddReconnectOptions(*app, o->reconnect);
    AddMeterOptions(*app, o->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
