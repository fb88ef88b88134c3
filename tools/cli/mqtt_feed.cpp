#include "mqtt_feed.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "cli_app.h"
#include "cli_text.h"
#include "telemetry/password_file.h"
#include "telemetry/station_telemetry.h"
#include "telemetry/tls_files.h"

namespace velquor::cli {

namespace {

constexpr NumberField kIntervalField{"--interval-ms", 10, 60000, true, "ms"};
constexpr NumberField kBufferField{"--buffer-seconds", 0, 3600, false, "s"};
constexpr const char* kPasswordVariable = "VELQUOR_MQTT_PASSWORD";
constexpr const char* kMqttGroup = "MQTT options";
// The goodbye after Ctrl-C, within the stop signal's grace together with closing
// the meters and the summary line.
constexpr std::chrono::milliseconds kFinishAfterStop{300};
constexpr std::chrono::milliseconds kFinish{3000};

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

telemetry::MeterIdentity IdentityOf(CliStation& station, std::size_t i) {
    return telemetry::StationMeterIdentity(station.Get(), i);
}

std::vector<telemetry::MeterIdentity> Identities(CliStation& station) {
    std::vector<telemetry::MeterIdentity> meters;
    for (std::size_t i = 0; i < station.Count(); ++i)
        meters.push_back(IdentityOf(station, i));
    return meters;
}

}  // namespace

CLI::Option* AddMqttOptions(CLI::App& app, MqttOptions& o, const std::string& brokerOption,
                            const std::string& brokerHelp) {
    CLI::Option* broker = app.add_option(brokerOption, o.broker, brokerHelp)
                              ->type_name("HOST[:PORT]")
                              ->group(kMqttGroup);
    const auto other = [&](CLI::Option* option) { o.others.push_back(option->group(kMqttGroup)); };
    other(app.add_option("--stand", o.stand, "This stand's topic level (default: the host name)")
              ->type_name("NAME"));
    other(app.add_option("--topic-prefix", o.prefix, "Topic prefix (default velquor/v1)")
              ->type_name("P"));
    other(app.add_option("--interval-ms", o.interval,
                         "One power message per meter per interval (default 200)")
              ->type_name("MS"));
    other(app.add_option("--qos", o.qos, "QoS of power and summary messages (default 1)")
              ->type_name("0|1"));
    other(app.add_option("--username", o.username, "User name at the broker")->type_name("U"));
    other(app.add_option("--password-file", o.passwordFile,
                         "The password: first line of this file (or $VELQUOR_MQTT_PASSWORD)")
              ->type_name("F"));
    other(app.add_option("--tls-ca", o.tlsCa,
                         "Use TLS; the broker's certificate must chain to this CA")
              ->type_name("FILE"));
    other(app.add_option("--tls-cert", o.tlsCert, "Client certificate (with --tls-key)")
              ->type_name("F"));
    other(
        app.add_option("--tls-key", o.tlsKey, "Client certificate's private key")->type_name("F"));
    other(app.add_option("--buffer-seconds", o.bufferSeconds,
                         "Readings kept per meter while the broker is away (default 60)")
              ->type_name("S"));
    other(app.add_flag("--insecure", o.insecure,
                       "Allow the password to go unencrypted to a broker that is not on this "
                       "machine"));
    return broker;
}

std::optional<std::string> MqttOptionGiven(const MqttOptions& o) {
    for (const CLI::Option* option : o.others)
        if (option->count() > 0)
            return option->get_name();
    return std::nullopt;
}

int BuildPublisherOptions(const MqttOptions& o, telemetry::PublisherOptions& p,
                          std::string& error) {
    const bool tls = !o.tlsCa.empty();
    if (!tls && (!o.tlsCert.empty() || !o.tlsKey.empty()))
        return error = "--tls-cert and --tls-key need --tls-ca", kExitUsage;
    if (o.tlsCert.empty() != o.tlsKey.empty())
        return error = "--tls-cert and --tls-key go together", kExitUsage;
    const auto address = telemetry::ParseBrokerAddress(o.broker, tls, error);
    if (!address)
        return kExitFailure;
    p.broker = *address;
    p.stand = o.stand ? *o.stand : HostStandName();
    if (const auto why = telemetry::CheckStandName(p.stand))
        return error = "--stand: " + *why, kExitFailure;
    if (const auto why = telemetry::CheckTopicPrefix(o.prefix))
        return error = "--topic-prefix: " + *why, kExitFailure;
    p.topic_prefix = o.prefix;
    const auto interval = ParseNumberOption(o.interval, kIntervalField, error);
    if (!interval)
        return kExitFailure;
    p.interval = std::chrono::milliseconds(static_cast<long long>(*interval));
    if (o.qos != "0" && o.qos != "1")
        return error = "--qos takes 0 or 1, not '" + PrintableText(o.qos) + "'", kExitFailure;
    p.qos = o.qos == "1" ? 1 : 0;
    const auto buffer = ParseNumberOption(o.bufferSeconds, kBufferField, error);
    if (!buffer)
        return kExitFailure;
    p.buffer = std::chrono::milliseconds(static_cast<long long>(*buffer * 1000.0));
    // The password never comes from the command line, where other users can read it.
    if (!o.passwordFile.empty()) {
        const auto password = telemetry::ReadPasswordFile(o.passwordFile, error);
        if (!password)
            return kExitFailure;
        p.password = *password;
    } else if (const char* env = std::getenv(kPasswordVariable); env != nullptr && *env != '\0') {
        p.password = env;
        if (o.username.empty())
            return error = std::string(kPasswordVariable) +
                           " holds a password, which needs --username (or unset it)",
                   kExitUsage;
    }
    if (!p.password.empty() && o.username.empty())
        return error = "a password needs --username", kExitUsage;
    p.username = o.username;
    if (tls) {
        if (!Readable(o.tlsCa, "--tls-ca", error) ||
            (!o.tlsCert.empty() && (!Readable(o.tlsCert, "--tls-cert", error) ||
                                    !Readable(o.tlsKey, "--tls-key", error))))
            return kExitFailure;
        p.tls = telemetry::TlsFiles{o.tlsCa, o.tlsCert, o.tlsKey};
        if (const auto why = telemetry::CheckTlsFiles(*p.tls))
            return error = *why, kExitFailure;
    }
    if (!p.password.empty() && !tls && !telemetry::IsLoopbackHost(p.broker.host)) {
        if (!o.insecure)
            return error = "the password would go unencrypted to " + p.broker.host +
                           ": use --tls-ca FILE, or --insecure to send it anyway",
                   kExitFailure;
        std::fprintf(stderr, "velquor-cli: warning: sending the MQTT password unencrypted to %s\n",
                     p.broker.host.c_str());
    }
    return kExitOk;
}

MqttFeed::MqttFeed(CliStation& station, std::string broker, telemetry::PublisherOptions options,
                   PollOptions poll)
    : m_broker(std::move(broker)),
      m_subscription(station.Get().Subscribe(16384)),
      m_poll(station, m_subscription, std::move(poll)),
      m_meterCount(station.Count()),
      m_topic(options.topic_prefix + "/" + options.stand) {
    options.current_identity = [&station](std::size_t i) {
        return std::optional<telemetry::MeterIdentity>(IdentityOf(station, i));
    };
    m_publisher = std::make_unique<telemetry::Publisher>(std::move(options), Identities(station));
}

MqttFeed::~MqttFeed() = default;

bool MqttFeed::Start(std::string& error) {
    if (!m_publisher->Start(Clock::now(), error))
        return false;
    Say("publishing " + CountText(static_cast<long long>(m_meterCount), "meter", "meters") +
        " to " + m_broker + " under " + m_topic + " (session " + m_publisher->Session() + ")");
    return true;
}

void MqttFeed::Step(Clock::time_point until) {
    // A meter that will not come back ends (told by the poll); the others go on.
    for (const auto& r : m_poll.Poll(std::chrono::milliseconds(0)))
        m_publisher->Add(r);
    m_publisher->Service(Clock::now());
    TellNotices();
    // Woken by the broker's answers too, so a backlog drains without waiting a
    // whole interval.
    m_publisher->WaitUntil(std::min(m_publisher->NextDue(), until));
}

void MqttFeed::TellNotices() {
    std::vector<std::string> notices;
    m_publisher->TakeNotices(notices);
    for (const auto& n : notices)
        Say(PrintableText(n));
}

int MqttFeed::Finish(bool stopped) {
    std::vector<station::Reading> readings;
    m_subscription->PopAll(readings, std::chrono::milliseconds(0));
    for (const auto& r : readings)
        m_publisher->Add(r);
    const std::uint64_t undelivered = m_publisher->Finish(stopped ? kFinishAfterStop : kFinish);
    TellNotices();
    if (m_publisher->Failed())
        return Fail(m_publisher->Failure());

    std::uint64_t total = 0, messages = 0, pastBuffer = 0;
    for (std::size_t i = 0; i < m_publisher->MeterCount(); ++i) {
        const telemetry::MeterCounters c = m_publisher->Counters(i);
        total += c.readings;
        messages += c.messages;
        pastBuffer += c.dropped - c.skipped;
    }
    // All the publisher never got, also those after the last reading it took, which
    // no message could count.
    const std::uint64_t skipped = m_subscription->Dropped();
    std::printf(
        "published %s of %s in %s to %s; %llu dropped past the buffer, %llu dropped as the "
        "publisher fell behind, %llu not delivered\n",
        CountText(static_cast<long long>(total), "reading", "readings").c_str(),
        CountText(static_cast<long long>(m_meterCount), "meter", "meters").c_str(),
        CountText(static_cast<long long>(messages), "message", "messages").c_str(),
        m_broker.c_str(), static_cast<unsigned long long>(pastBuffer),
        static_cast<unsigned long long>(skipped), static_cast<unsigned long long>(undelivered));
    if (undelivered > 0)
        return Fail(CountText(static_cast<long long>(undelivered), "reading", "readings") +
                    " did not reach the broker");
    return kExitOk;
}

}  // namespace velquor::cli
