#pragma once

// The MQTT publisher as a consumer of a command's station: `publish` runs it alone,
// `serve --publish` next to the SCPI server. Both take the same options, added and
// checked here, so the two commands name and refuse them alike.

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli_station.h"
#include "reading_poll.h"
#include "telemetry/publisher.h"

namespace velquor::cli {

struct MqttOptions {
    std::string broker;
    std::optional<std::string> stand;  // given empty is refused, not the host name
    std::string prefix = "velquor/v1";
    std::string interval = "200";
    std::string qos = "1";
    std::string username;
    std::string passwordFile;
    std::string tlsCa, tlsCert, tlsKey;
    std::string bufferSeconds = "60";
    bool insecure = false;
    // Every option but the broker's, to tell one given without it.
    std::vector<const CLI::Option*> others;
};

// The broker option under brokerOption ("--broker", "--publish"), and the others
// under their own names, all in one group.
CLI::Option* AddMqttOptions(CLI::App& app, MqttOptions& options, const std::string& brokerOption,
                            const std::string& brokerHelp);
// The first of the other options that was given ("--qos"), or nothing.
std::optional<std::string> MqttOptionGiven(const MqttOptions& options);
// The options checked, before any meter is opened: kExitOk, or with a one-line reason
// kExitUsage (options that conflict) or kExitFailure (a value refused).
int BuildPublisherOptions(const MqttOptions& options, telemetry::PublisherOptions& publisher,
                          std::string& error);

// The publisher over its own subscription of the station, with its own drop count.
// One thread drives it: Start, Step until done, Finish.
class MqttFeed {
public:
    using Clock = std::chrono::steady_clock;

    // poll: how the feed's readings are taken; track false when another consumer
    // already tells the link events.
    MqttFeed(CliStation& station, std::string broker, telemetry::PublisherOptions options,
             PollOptions poll);
    ~MqttFeed();
    MqttFeed(const MqttFeed&) = delete;
    MqttFeed& operator=(const MqttFeed&) = delete;

    // The first connection attempt, told on stderr; false with a reason when it
    // cannot even start (a broker that is not there yet is retried, not refused).
    bool Start(std::string& error);
    // Takes the readings that came, services the connection and tells its notices;
    // waits at most until `until`.
    void Step(Clock::time_point until);
    // The broker side refused the credentials or the certificate.
    bool Failed() const { return m_publisher->Failed(); }
    ReadingPoll& Poll() { return m_poll; }

    // After the station is closed: the last readings, the goodbye (shorter after a
    // stop request) and the summary line on stdout. kExitFailure, told, when the
    // publisher failed or readings did not reach the broker; kExitOk otherwise.
    int Finish(bool stopped);

private:
    void TellNotices();

    std::string m_broker;
    std::shared_ptr<station::Subscription> m_subscription;
    ReadingPoll m_poll;
    std::size_t m_meterCount;
    std::unique_ptr<telemetry::Publisher> m_publisher;
    std::string m_topic;
};

}  // namespace velquor::cli
