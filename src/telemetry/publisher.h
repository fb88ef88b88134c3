#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/reading.h"
#include "telemetry/broker_address.h"
#include "telemetry/mqtt_client.h"
#include "telemetry/payloads.h"
#include "telemetry/power_buffer.h"
#include "telemetry/topics.h"

namespace velquor::telemetry {

struct PublisherOptions {
    BrokerAddress broker;
    std::optional<TlsFiles> tls;
    std::string username;
    std::string password;
    std::string stand;  // a topic level (see CheckStandName)
    std::string topic_prefix = "velquor/v1";
    int qos = 1;  // of power and summary messages; status messages always use 1
    std::chrono::milliseconds interval{200};
    std::chrono::milliseconds buffer{std::chrono::seconds(60)};
    std::chrono::milliseconds summary_period{std::chrono::seconds(1)};
    std::chrono::milliseconds reconnect_min{std::chrono::seconds(1)};
    std::chrono::milliseconds reconnect_max{std::chrono::seconds(30)};
    std::chrono::seconds keep_alive{10};
    std::string session;  // empty: a random one
    std::string version = "1.1.0";
    // Asked when a meter is back after a loss: what it is now (a reconnect may find it
    // at another path, or with another setup). Null, or nothing returned: unchanged.
    std::function<std::optional<MeterIdentity>(std::size_t meter)> current_identity;
};

// Readings per second of one meter that the buffer bound is sized for: above the
// link's 213 measurement frames per second.
inline constexpr std::size_t kMaxReadingsPerSecond = 250;

struct MeterCounters {
    std::uint64_t readings = 0;         // measurements taken in
    std::uint64_t messages = 0;         // power messages made
    std::uint64_t dropped = 0;          // readings given up: past the buffer bound, or skipped
    std::uint64_t skipped = 0;          // of those, lost before Add (the feed fell behind)
    std::size_t buffered_readings = 0;  // not yet confirmed by the broker
    std::size_t buffered_bytes = 0;
};

// Publishes a station's readings to an MQTT broker: the stand's and each meter's
// retained status, every reading batched per interval, and a retained summary
// once a period. Owned and driven by one thread: Add() each reading, Service()
// often (at least every interval); neither blocks. Readings wait in a bounded
// buffer per meter while the broker is away and go out in order when it is back;
// the connection is retried with back-off. Credentials or a certificate that the
// broker side refuses end the work with Failed(); nothing is printed here, the
// owner takes the notices.
class Publisher {
public:
    using Clock = std::chrono::steady_clock;

    Publisher(PublisherOptions options, std::vector<MeterIdentity> meters);
    ~Publisher();
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    // The first connection attempt. False with a reason when it cannot even start.
    bool Start(Clock::time_point now, std::string& error);

    // Readings come in the order of each meter's stream; a jump in their numbers
    // (station::Reading::seq) is counted as dropped and left visible in seq.
    void Add(const station::Reading& reading);
    // The meter's setup changed (it is republished in its status).
    void UpdateIdentity(std::size_t meter, const MeterIdentity& identity);
    // A meter added to the running station: the next meter, under a topic level no
    // other meter has; its status and the stand's (which lists the meters) go out
    // again. The meters before it keep their topics. Returns its index.
    std::size_t AddMeter(MeterIdentity identity);
    void Service(Clock::time_point now);
    // When Service() is next due at the latest.
    Clock::time_point NextDue() const;
    // Waits until the connection reports something or `until`, whichever is first.
    void WaitUntil(Clock::time_point until);

    // Sends what is buffered while the broker stays connected, then every meter's
    // status with "connected" false and the stand's "offline", all within timeout
    // (the last half of it, at most a second, is kept for those). When the broker
    // confirms them, a clean DISCONNECT; otherwise the connection is dropped without
    // one, so that the broker publishes the will ("lost") rather than keep "online".
    // Returns the number of readings that did not reach the broker.
    std::uint64_t Finish(std::chrono::milliseconds timeout);

    bool Connected() const { return m_connected; }
    bool Failed() const { return !m_failure.empty(); }
    const std::string& Failure() const { return m_failure; }
    // Messages for the user since the last call (connection lost, back, dropping).
    void TakeNotices(std::vector<std::string>& out);

    const std::string& Session() const { return m_session; }
    const StandTopics& Topics() const { return m_topics; }
    std::size_t MeterCount() const { return m_meters.size(); }
    MeterCounters Counters(std::size_t meter) const;

private:
    struct Retained;
    struct Meter;

    void HandleEvent(const ClientEvent& event, Clock::time_point now);
    void ConnectFailed(const ClientEvent& event, Clock::time_point now);
    void Lost(Clock::time_point now);
    void SetRetained(Retained& r, std::string payload);
    bool SendRetained(Retained& r, const std::string& topic, int qos, std::uint64_t tag,
                      std::size_t keep_free);
    // The stand's and every meter's status, whichever are pending; the stand's first
    // or last. False when one did not fit.
    bool SendStatuses(bool stand_last);
    void SendPending();
    void SayGoodbye(Clock::time_point deadline);
    void CloseBatches();
    void PublishSummaries();
    void Notice(std::string text);
    void SetStandOnline();
    std::size_t BufferedReadings() const;

    PublisherOptions m_options;
    std::string m_session;
    StandTopics m_topics;
    std::vector<std::unique_ptr<Meter>> m_meters;
    std::unique_ptr<Retained> m_standStatus;
    std::unique_ptr<MqttClient> m_client;
    std::string m_brokerName;
    PowerBuffer::Limits m_limits;
    std::int64_t m_sinceUtcMs = 0;

    bool m_started = false;
    bool m_connected = false;
    bool m_connecting = false;
    bool m_everConnected = false;
    int m_failures = 0;
    Clock::time_point m_nextAttempt{};
    Clock::time_point m_lostAt{};
    Clock::time_point m_nextBatch{};
    Clock::time_point m_nextSummary{};
    std::string m_failure;
    std::vector<std::string> m_notices;
    std::vector<ClientEvent> m_events;
};

}  // namespace velquor::telemetry
