#include "telemetry/publisher.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "measure/power_units.h"
#include "measure/running_statistics.h"
#include "station/stream_gap.h"
#include "telemetry/connect_refusal.h"
#include "telemetry/publish_tag.h"

namespace velquor::telemetry {

namespace {

// Places of the library's window that power and summary messages leave free, so that
// a meter's status and the stand's get out while a backlog fills it; meters' status
// messages leave the last one for the stand's, whose "offline" must always fit.
constexpr std::size_t kStatusSlots = 8;
constexpr std::size_t kStandSlots = 1;

std::string RandomSession() {
    std::random_device device;
    const std::uint64_t value = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    static const char* const kHex = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 0; i < 16; ++i)
        text[static_cast<std::size_t>(i)] = kHex[(value >> (60 - 4 * i)) & 0xF];
    return text;
}

std::int64_t UtcMsNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string Seconds(std::chrono::steady_clock::duration d) {
    const double s = std::chrono::duration<double>(d).count();
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", s);
    return text;
}

}  // namespace

// A retained message whose latest payload must reach the broker once per
// connection: sent again after every (re)connect and after a failed delivery.
struct Publisher::Retained {
    std::string payload;
    std::uint64_t version = 0;
    bool pending = false;
    bool confirmed = false;  // the broker acknowledged this version
};

struct Publisher::Meter {
    Meter(MeterIdentity id, MeterTopics t, PowerBuffer b)
        : identity(std::move(id)), topics(std::move(t)), buffer(std::move(b)) {}

    MeterIdentity identity;
    MeterTopics topics;
    PowerBuffer buffer;
    bool connected = true;
    Retained status;
    Retained summary;
    std::uint64_t readings = 0;
    std::uint64_t droppedNoticed = 0;  // past the buffer
    std::uint64_t lastSeq = 0;         // of the meter's stream
    // The summary window.
    measure::RunningStatistics window;
    double last = 0.0;
    std::int64_t lastUtcUs = 0;
};

Publisher::Publisher(PublisherOptions options, std::vector<MeterIdentity> meters)
    : m_options(std::move(options)), m_standStatus(std::make_unique<Retained>()) {
    m_session = m_options.session.empty() ? RandomSession() : m_options.session;
    std::vector<std::string> names;
    for (const auto& m : meters)
        names.push_back(m.name);
    const std::vector<std::string> levels = UniqueMeterTopicLevels(names);
    m_topics = MakeStandTopics(m_options.topic_prefix, m_options.stand, levels);

    // A message is made only when its interval ends, a little late at times: the
    // buffer always holds two intervals, or a short one drops with the broker there.
    const auto kept = std::max<std::chrono::milliseconds>(m_options.buffer, 2 * m_options.interval);
    m_limits.span = kept;
    const double seconds = std::chrono::duration<double>(kept).count();
    m_limits.max_readings =
        static_cast<std::size_t>(std::ceil(std::max(seconds, 0.001) * kMaxReadingsPerSecond));
    for (std::size_t i = 0; i < meters.size(); ++i) {
        auto meter = std::make_unique<Meter>(std::move(meters[i]), m_topics.meters[i],
                                             PowerBuffer(m_session, m_limits));
        SetRetained(meter->status, MeterStatusPayload(m_session, meter->identity, true));
        m_meters.push_back(std::move(meter));
    }

    ConnectSettings settings;
    const bool tls = m_options.tls.has_value();
    settings.server_uri = ServerUri(m_options.broker, tls);
    settings.client_id = "velquor-" + m_session.substr(0, 12);
    settings.username = m_options.username;
    settings.password = m_options.password;
    settings.tls = m_options.tls;
    settings.will_topic = m_topics.status;
    settings.will_payload = StandLostPayload(m_session);
    settings.keep_alive = m_options.keep_alive;
    m_brokerName =
        (m_options.broker.host.find(':') != std::string::npos ? "[" + m_options.broker.host + "]"
                                                              : m_options.broker.host) +
        ":" + std::to_string(m_options.broker.port);
    m_client = std::make_unique<MqttClient>(std::move(settings));
}

Publisher::~Publisher() = default;

void Publisher::SetStandOnline() {
    std::vector<std::string> levels;
    for (const auto& m : m_topics.meters)
        levels.push_back(m.level);
    SetRetained(*m_standStatus,
                StandOnlinePayload(m_session, m_sinceUtcMs, levels, m_options.version));
}

std::size_t Publisher::AddMeter(MeterIdentity identity) {
    std::vector<std::string> names;
    for (const auto& m : m_meters)
        names.push_back(m->identity.name);
    names.push_back(identity.name);
    // Levels are given in order, so those of the meters before keep theirs.
    const std::string level = UniqueMeterTopicLevels(names).back();
    const StandTopics one = MakeStandTopics(m_options.topic_prefix, m_options.stand, {level});
    m_topics.meters.push_back(one.meters.front());
    auto meter = std::make_unique<Meter>(std::move(identity), m_topics.meters.back(),
                                         PowerBuffer(m_session, m_limits));
    SetRetained(meter->status, MeterStatusPayload(m_session, meter->identity, true));
    m_meters.push_back(std::move(meter));
    if (m_started)
        SetStandOnline();
    return m_meters.size() - 1;
}

bool Publisher::Start(Clock::time_point now, std::string& error) {
    m_sinceUtcMs = UtcMsNow();
    SetStandOnline();
    m_nextBatch = now + m_options.interval;
    m_nextSummary = now + m_options.summary_period;
    m_started = true;
    m_connecting = true;
    if (!m_client->StartConnect(error)) {
        m_failure = error;
        return false;
    }
    return true;
}

void Publisher::Add(const station::Reading& r) {
    if (r.meter >= m_meters.size())
        return;
    Meter& m = *m_meters[r.meter];
    m.buffer.Skip(station::MissedBefore(m.lastSeq, r.seq));
    switch (r.kind) {
        case station::ReadingKind::Measurement:
            m.buffer.Add(r.utc_us, r.steady_ns, r.power_dbm, r.temperature_c, r.battery);
            ++m.readings;
            if (std::isfinite(r.power_dbm)) {
                m.window.Add(r.power_dbm, measure::DbmToMilliwatt(r.power_dbm), r.steady_ns);
                m.last = r.power_dbm;
                m.lastUtcUs = r.utc_us;
            }
            break;
        case station::ReadingKind::LinkLost:
            if (m.connected) {
                m.connected = false;
                SetRetained(m.status, MeterStatusPayload(m_session, m.identity, false));
            }
            break;
        case station::ReadingKind::Reconnected:
            // A reconnect may have found the meter at another place or with another setup.
            if (m_options.current_identity)
                if (auto identity = m_options.current_identity(r.meter))
                    m.identity = std::move(*identity);
            m.connected = true;
            SetRetained(m.status, MeterStatusPayload(m_session, m.identity, true));
            break;
    }
}

void Publisher::UpdateIdentity(std::size_t meter, const MeterIdentity& identity) {
    if (meter >= m_meters.size())
        return;
    Meter& m = *m_meters[meter];
    m.identity = identity;
    SetRetained(m.status, MeterStatusPayload(m_session, m.identity, m.connected));
}

void Publisher::SetRetained(Retained& r, std::string payload) {
    r.payload = std::move(payload);
    ++r.version;
    r.pending = true;
    r.confirmed = false;
}

void Publisher::Service(Clock::time_point now) {
    if (!m_started)
        return;
    m_events.clear();
    m_client->TakeEvents(m_events);
    for (const auto& e : m_events) {
        if (e.connection == m_client->CurrentConnection())
            HandleEvent(e, now);
    }
    if (Failed())
        return;
    if (now >= m_nextBatch) {
        CloseBatches();
        m_nextBatch += m_options.interval;
        if (m_nextBatch <= now)
            m_nextBatch = now + m_options.interval;
    }
    if (now >= m_nextSummary) {
        PublishSummaries();
        m_nextSummary += m_options.summary_period;
        if (m_nextSummary <= now)
            m_nextSummary = now + m_options.summary_period;
    }
    if (!m_connected && !m_connecting && now >= m_nextAttempt) {
        std::string error;
        m_connecting = true;
        if (!m_client->StartConnect(error)) {
            m_failure = error;
            return;
        }
    }
    if (m_connected)
        SendPending();
}

void Publisher::HandleEvent(const ClientEvent& e, Clock::time_point now) {
    switch (e.kind) {
        case ClientEvent::Kind::Connected: {
            m_connected = true;
            m_connecting = false;
            m_failures = 0;
            if (!m_everConnected)
                Notice("connected to broker " + m_brokerName);
            else
                Notice("reconnected to broker " + m_brokerName + " after " +
                       Seconds(now - m_lostAt) + "; sending " + std::to_string(BufferedReadings()) +
                       " buffered readings");
            m_everConnected = true;
            // The broker may have restarted without its retained messages, or
            // published the will meanwhile: every retained state goes again.
            m_standStatus->pending = true;
            for (auto& m : m_meters) {
                m->status.pending = true;
                m->summary.pending = !m->summary.payload.empty();
            }
            break;
        }
        case ClientEvent::Kind::ConnectFailed:
            ConnectFailed(e, now);
            break;
        case ClientEvent::Kind::ConnectionLost:
            Lost(now);
            break;
        case ClientEvent::Kind::Delivered: {
            const std::size_t meter = MeterOf(e.tag);
            const auto confirm = [&e](Retained& r) { r.confirmed |= r.version == ValueOf(e.tag); };
            switch (KindOf(e.tag)) {
                case TagKind::Power:
                    if (meter < m_meters.size())
                        m_meters[meter]->buffer.Confirm(ValueOf(e.tag));
                    break;
                case TagKind::StandStatus:
                    confirm(*m_standStatus);
                    break;
                case TagKind::MeterStatus:
                    if (meter < m_meters.size())
                        confirm(m_meters[meter]->status);
                    break;
                case TagKind::Summary:
                    if (meter < m_meters.size())
                        confirm(m_meters[meter]->summary);
                    break;
            }
            break;
        }
        case ClientEvent::Kind::NotDelivered: {
            const std::size_t meter = MeterOf(e.tag);
            const std::uint64_t value = ValueOf(e.tag);
            switch (KindOf(e.tag)) {
                case TagKind::Power:
                    if (meter < m_meters.size())
                        m_meters[meter]->buffer.ResendUnconfirmed();
                    break;
                case TagKind::StandStatus:
                    m_standStatus->pending |= m_standStatus->version == value;
                    break;
                case TagKind::MeterStatus:
                    if (meter < m_meters.size())
                        m_meters[meter]->status.pending |= m_meters[meter]->status.version == value;
                    break;
                case TagKind::Summary:
                    if (meter < m_meters.size())
                        m_meters[meter]->summary.pending |=
                            m_meters[meter]->summary.version == value;
                    break;
            }
            break;
        }
        case ClientEvent::Kind::Disconnected:
            break;
    }
}

void Publisher::ConnectFailed(const ClientEvent& e, Clock::time_point now) {
    m_connected = false;
    m_connecting = false;
    if (std::string refusal = PermanentRefusal(e.code, e.message); !refusal.empty()) {
        m_failure = refusal;
        return;
    }
    const auto delay = ReconnectDelay(m_failures, m_options.reconnect_min, m_options.reconnect_max);
    ++m_failures;
    m_nextAttempt = now + delay;
    // Attempts 1, 2, 4, 8, ...: a long outage is reported, not one line per attempt.
    if ((m_failures & (m_failures - 1)) == 0) {
        std::string why = e.message.empty() ? "no answer" : e.message;
        // The library reports a refused host-name check, and TLS 1.3 a refused client
        // certificate, like a closed port.
        if (m_options.tls && why.rfind("TCP", 0) == 0)
            why = "no TLS connection: the broker is away, its certificate does not name " +
                  m_options.broker.host +
                  ", it refused our client certificate, or the port "
                  "does not speak TLS";
        Notice("cannot reach broker " + m_brokerName + " (" + why + "; attempt " +
               std::to_string(m_failures) + "); next attempt in " + Seconds(delay));
    }
}

void Publisher::Lost(Clock::time_point now) {
    m_connected = false;
    m_connecting = false;
    m_failures = 0;
    m_lostAt = now;
    m_nextAttempt = now + ReconnectDelay(0, m_options.reconnect_min, m_options.reconnect_max);
    for (auto& m : m_meters)
        m->buffer.ResendUnconfirmed();
    Notice("broker connection lost; keeping up to " + Seconds(m_options.buffer) +
           " of readings per meter");
}

void Publisher::CloseBatches() {
    for (auto& m : m_meters) {
        m->buffer.CloseBatch();
        const std::uint64_t pastBuffer = m->buffer.Dropped() - m->buffer.Skipped();
        if (pastBuffer > m->droppedNoticed) {
            if (m->droppedNoticed == 0)
                Notice(m->identity.name +
                       ": the broker has been away longer than the buffer "
                       "holds; dropping the oldest readings");
            m->droppedNoticed = pastBuffer;
        }
    }
}

void Publisher::PublishSummaries() {
    for (auto& m : m_meters) {
        const measure::StatisticsSnapshot s = m->window.Snapshot();
        if (s.count == 0)
            continue;
        SummaryValues v;
        v.t_utc_ms = m->lastUtcUs / 1000;
        v.window_ms = m_options.summary_period.count();
        v.count = static_cast<std::uint64_t>(s.count);
        v.last_dbm = m->last;
        v.min_dbm = s.min_dbm;
        v.max_dbm = s.max_dbm;
        v.mean_dbm = s.mean_dbm;
        SetRetained(m->summary, SummaryPayload(m_session, v));
        m->window.Reset();
    }
}

bool Publisher::SendRetained(Retained& r, const std::string& topic, int qos, std::uint64_t tag,
                             std::size_t keep_free) {
    if (!r.pending)
        return true;
    if (!m_client->Publish(topic, r.payload, qos, true, tag, keep_free))
        return false;
    r.pending = false;
    return true;
}

bool Publisher::SendStatuses(bool stand_last) {
    const auto stand = [this] {
        return SendRetained(*m_standStatus, m_topics.status, 1,
                            MakeTag(TagKind::StandStatus, 0, m_standStatus->version), 0);
    };
    bool all = stand_last || stand();
    for (std::size_t i = 0; i < m_meters.size(); ++i) {
        Meter& m = *m_meters[i];
        all &= SendRetained(m.status, m.topics.status, 1,
                            MakeTag(TagKind::MeterStatus, i, m.status.version), kStandSlots);
    }
    return (!stand_last || stand()) && all;
}

void Publisher::SendPending() {
    if (!SendStatuses(false))
        return;
    for (std::size_t i = 0; i < m_meters.size(); ++i) {
        Meter& m = *m_meters[i];
        if (!SendRetained(m.summary, m.topics.summary, m_options.qos,
                          MakeTag(TagKind::Summary, i, m.summary.version), kStatusSlots))
            return;
    }
    // Power messages, one meter after the other, each meter's in order.
    for (bool progress = true; progress;) {
        progress = false;
        for (std::size_t i = 0; i < m_meters.size(); ++i) {
            Meter& m = *m_meters[i];
            const PowerMessage* message = m.buffer.NextUnsent();
            if (message == nullptr)
                continue;
            if (!m_client->Publish(m.topics.power, message->payload, m_options.qos, false,
                                   MakeTag(TagKind::Power, i, message->seq), kStatusSlots))
                return;
            m.buffer.MarkSent(message->seq);
            progress = true;
        }
    }
}

Publisher::Clock::time_point Publisher::NextDue() const {
    Clock::time_point due = std::min(m_nextBatch, m_nextSummary);
    if (!m_connected && !m_connecting)
        due = std::min(due, m_nextAttempt);
    return due;
}

void Publisher::WaitUntil(Clock::time_point until) {
    const auto now = Clock::now();
    if (until > now)
        m_client->WaitForEvent(std::chrono::duration_cast<std::chrono::milliseconds>(until - now) +
                               std::chrono::milliseconds(1));
}

std::uint64_t Publisher::Finish(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    // The goodbye gets the last part of the time, whatever the backlog.
    const auto drainEnd = deadline - std::min<std::chrono::milliseconds>(
                                         timeout / 2, std::chrono::milliseconds(1000));
    if (m_started && !Failed()) {
        for (auto& m : m_meters)
            m->buffer.CloseBatch();
        // A connection being made is waited for; a broker that is away is not.
        while ((m_connected || m_connecting) && !Failed() && BufferedReadings() > 0 &&
               Clock::now() < drainEnd) {
            Service(Clock::now());
            WaitUntil(std::min(drainEnd, Clock::now() + std::chrono::milliseconds(50)));
        }
        if (m_connected)
            SayGoodbye(deadline);
    }
    m_started = false;
    return BufferedReadings();
}

void Publisher::SayGoodbye(Clock::time_point deadline) {
    for (auto& m : m_meters) {
        m->connected = false;
        SetRetained(m->status, MeterStatusPayload(m_session, m->identity, false));
    }
    SetRetained(*m_standStatus, StandOfflinePayload(m_session));
    const auto confirmed = [this] {
        bool all = m_standStatus->confirmed;
        for (const auto& m : m_meters)
            all &= m->status.confirmed;
        return all;
    };
    // The meters first, so a consumer that sees "offline" finds them all disconnected.
    SendStatuses(true);
    while (!confirmed() && m_connected && Clock::now() < deadline) {
        WaitUntil(deadline);
        m_events.clear();
        m_client->TakeEvents(m_events);
        for (const auto& e : m_events) {
            if (e.connection == m_client->CurrentConnection())
                HandleEvent(e, Clock::now());
        }
        if (m_connected)
            SendStatuses(true);
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (confirmed()) {
        m_client->Disconnect(
            std::clamp(left, std::chrono::milliseconds(0), std::chrono::milliseconds(250)));
    } else if (m_connected) {
        // A DISCONNECT would make the broker discard the will and keep "online".
        Notice(m_client->Drop() ? "the broker did not confirm the offline status in time; left "
                                  "without a goodbye, so it publishes the stand as lost"
                                : "the broker did not confirm the offline status in time, and "
                                  "the connection could not be cut; it may keep it online");
    }
    m_connected = false;
}

void Publisher::Notice(std::string text) {
    m_notices.push_back(std::move(text));
}

void Publisher::TakeNotices(std::vector<std::string>& out) {
    for (auto& n : m_notices)
        out.push_back(std::move(n));
    m_notices.clear();
}

std::size_t Publisher::BufferedReadings() const {
    std::size_t n = 0;
    for (const auto& m : m_meters)
        n += m->buffer.BufferedReadings();
    return n;
}

MeterCounters Publisher::Counters(std::size_t meter) const {
    MeterCounters c;
    if (meter >= m_meters.size())
        return c;
    const Meter& m = *m_meters[meter];
    c.readings = m.readings;
    c.messages = m.buffer.MessagesMade();
    c.dropped = m.buffer.Dropped();
    c.skipped = m.buffer.Skipped();
    c.buffered_readings = m.buffer.BufferedReadings();
    c.buffered_bytes = m.buffer.BufferedBytes();
    return c;
}

}  // namespace velquor::telemetry
