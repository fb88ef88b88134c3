// The publisher against a real mosquitto, started by each test on a free
// loopback port.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "broker_harness.h"
#include "common/temp_dir.h"
#include "telemetry/publisher.h"
#include "telemetry/tls_files.h"

namespace velquor::telemetry {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using velquor::testing::MosquittoBroker;
using velquor::testing::TestSubscriber;
using Messages = std::vector<TestSubscriber::Message>;

PublisherOptions LocalOptions(int port, const std::string& stand) {
    PublisherOptions o;
    o.broker = {"127.0.0.1", port};
    o.stand = stand;
    o.reconnect_min = 200ms;  // the real 1 s start would only make the test slower
    o.reconnect_max = 1s;
    return o;
}

std::vector<MeterIdentity> Meters(std::initializer_list<const char*> names) {
    std::vector<MeterIdentity> meters;
    for (const char* n : names) {
        MeterIdentity m;
        m.name = n;
        meters.push_back(m);
    }
    return meters;
}

// Feeds every meter one reading per 5 ms for `duration`, in real time; a
// reading's power is its running number, so the subscriber can check them all.
void Feed(Publisher& p, Clock::duration duration, std::int64_t& next) {
    const auto end = Clock::now() + duration;
    while (Clock::now() < end) {
        const auto now = Clock::now();
        for (std::uint32_t m = 0; m < p.MeterCount(); ++m) {
            station::Reading r;
            r.meter = m;
            r.steady_ns = now.time_since_epoch().count();
            r.utc_us = 1'700'000'000'000'000 + next * 5000;
            r.power_dbm = static_cast<double>(next);
            r.temperature_c = 25.0;
            p.Add(r);
        }
        ++next;
        p.Service(now);
        std::this_thread::sleep_for(5ms);
    }
}

bool RunUntil(Publisher& p, const std::function<bool()>& done, Clock::duration timeout) {
    const auto end = Clock::now() + timeout;
    while (!done() && Clock::now() < end) {
        p.Service(Clock::now());
        p.WaitUntil(std::min(end, Clock::now() + 20ms));
    }
    return done();
}

bool HasPayload(const Messages& ms, const std::string& topic, const std::string& state) {
    for (const auto& m : ms) {
        if (m.topic == topic && nlohmann::json::parse(m.payload).value("state", "") == state)
            return true;
    }
    return false;
}

// A jump in a meter's stream numbers (the publisher fell behind the station) is
// counted for that meter alone; no broker is needed to take readings in.
TEST(Publisher, AJumpInAMetersStreamCountsAsSkipped) {
    Publisher p(LocalOptions(1, "gaps"), Meters({"OV1", "OV2"}));
    const struct {
        std::uint32_t meter;
        std::uint64_t seq;
    } stream[] = {{0, 5}, {1, 1}, {0, 6}, {0, 10}, {1, 2}, {1, 3}, {0, 11}, {1, 9}, {0, 12}};
    for (const auto& e : stream) {
        station::Reading r;
        r.meter = e.meter;
        r.seq = e.seq;
        p.Add(r);
    }
    EXPECT_EQ(p.Counters(0).skipped, 3u);
    EXPECT_EQ(p.Counters(1).skipped, 5u);
    EXPECT_EQ(p.Counters(0).dropped, 3u);
    EXPECT_EQ(p.Counters(0).readings, 5u);
}

TEST(PublisherBroker, BrokerRestartLosesNothingWithinTheBound) {
    velquor::testing::TempDir dir;
    MosquittoBroker::Config config;
    config.persistence = true;
    MosquittoBroker broker(dir.Path(), config);
    std::string error;
    ASSERT_TRUE(broker.Start(error)) << error;
    TestSubscriber subscriber(broker.Port(), "velquor-test-sub", true, "velquor/v1/bench/#");
    ASSERT_TRUE(subscriber.Start(5s));

    velquor::testing::TcpRelay relay(broker.Port());
    Publisher p(LocalOptions(relay.Port(), "bench"), Meters({"OV1", "/dev/ttyUSB0"}));
    ASSERT_TRUE(p.Start(Clock::now(), error)) << error;
    ASSERT_TRUE(RunUntil(
        p, [&] { return p.Connected(); }, 5s));
    std::int64_t next = 0;
    Feed(p, 500ms, next);
    // The network goes with messages on the wire: they must be sent again.
    relay.Hold(true);
    Feed(p, 300ms, next);
    relay.Cut();
    relay.Hold(false);
    broker.Stop();
    Feed(p, 1s, next);
    EXPECT_FALSE(p.Connected());
    ASSERT_TRUE(broker.Start(error)) << error;
    const auto restarted = Clock::now();
    while (!p.Connected() && Clock::now() - restarted < 5s)
        Feed(p, 50ms, next);
    ASSERT_TRUE(p.Connected());
    Feed(p, 500ms, next);
    EXPECT_EQ(p.Finish(5s), 0u);
    std::vector<std::string> notices;
    p.TakeNotices(notices);
    EXPECT_NE(std::find_if(notices.begin(), notices.end(),
                           [](const auto& n) { return n.find("lost") != n.npos; }),
              notices.end());

    // Every reading once after dropping repeats by session and seq, in order.
    const auto complete = [&](const Messages& ms) {
        std::map<std::string, std::set<std::uint64_t>> seen;
        std::size_t readings = 0;
        for (const auto& m : ms) {
            if (m.topic.size() < 6 || m.topic.substr(m.topic.size() - 6) != "/power")
                continue;
            const auto j = nlohmann::json::parse(m.payload);
            if (seen[m.topic].insert(j["seq"].get<std::uint64_t>()).second)
                readings += j["dbm"].size();
        }
        return readings == static_cast<std::size_t>(2 * next);
    };
    ASSERT_TRUE(subscriber.WaitFor(complete, 10s));
    for (const char* level : {"OV1", "ttyUSB0"}) {
        const std::string topic = std::string("velquor/v1/bench/") + level + "/power";
        std::set<std::pair<std::string, std::uint64_t>> seen;
        std::int64_t expected = 0;
        std::uint64_t lastSeq = 0;
        for (const auto& m : subscriber.Messages()) {
            if (m.topic != topic)
                continue;
            const auto j = nlohmann::json::parse(m.payload);
            if (!seen.insert({j["session"].get<std::string>(), j["seq"].get<std::uint64_t>()})
                     .second)
                continue;
            EXPECT_EQ(j["seq"].get<std::uint64_t>(), lastSeq + 1) << topic;
            lastSeq = j["seq"];
            EXPECT_EQ(j["dropped"], 0);
            for (const auto& v : j["dbm"])
                EXPECT_EQ(v.get<double>(), static_cast<double>(expected++)) << topic;
        }
        EXPECT_EQ(expected, next) << topic;
    }
    EXPECT_TRUE(subscriber.WaitFor(
        [](const Messages& ms) { return HasPayload(ms, "velquor/v1/bench/status", "offline"); },
        5s));
}

TEST(PublisherBroker, RefusedCredentialsAndForeignCertificatesEndTheRun) {
    velquor::testing::TempDir dir;
    velquor::testing::TestCertificates certs;
    ASSERT_TRUE(velquor::testing::MakeTestCertificates(dir.Path(), certs));
    const std::string passwords = dir.File("passwords");
    ASSERT_TRUE(velquor::testing::MakePasswordFile(passwords, "stand", "s3cret"));
    MosquittoBroker::Config config;
    config.anonymous = false;
    config.password_file = passwords;
    config.ca_file = certs.ca;
    config.cert_file = certs.server_cert;
    config.key_file = certs.server_key;
    MosquittoBroker broker(dir.Path(), config);
    std::string error;
    ASSERT_TRUE(broker.Start(error)) << error;

    const struct {
        std::string ca, user, password, failure;  // empty failure: must connect
    } cases[] = {
        {certs.other_ca, "stand", "s3cret", "certificate was not accepted"},
        {certs.ca, "stand", "wrong", "not authorised (check the user name and password)"},
        {certs.ca, "", "", "not authorised"},
        {certs.ca, "stand", "s3cret", ""},
    };
    for (const auto& c : cases) {
        PublisherOptions o = LocalOptions(broker.Port(), "tls");
        o.tls = TlsFiles{c.ca, "", ""};
        o.username = c.user;
        o.password = c.password;
        Publisher p(o, Meters({"OV1"}));
        ASSERT_TRUE(p.Start(Clock::now(), error)) << error;
        ASSERT_TRUE(RunUntil(
            p, [&] { return p.Failed() || p.Connected(); }, 10s))
            << c.failure;
        if (c.failure.empty()) {
            EXPECT_TRUE(p.Connected()) << p.Failure();
        } else {
            EXPECT_NE(p.Failure().find(c.failure), std::string::npos) << p.Failure();
            // Given up, not retried.
            std::vector<std::string> notices;
            p.TakeNotices(notices);
            for (const auto& n : notices)
                EXPECT_EQ(n.find("next attempt"), n.npos) << n;
        }
        p.Finish(2s);
    }
}

// A buffer shorter than the interval still holds the interval being collected: a
// message can only be made when its interval ends, so nothing may be dropped while
// the broker is there. Here the broker is away; one interval must survive.
TEST(PublisherBroker, ABufferShorterThanTheIntervalKeepsTheMessageItWaitsFor) {
    for (const auto buffer : {0ms, 100ms}) {
        PublisherOptions o = LocalOptions(1, "short");  // nothing listens on port 1
        o.interval = 200ms;
        o.buffer = buffer;
        Publisher p(o, Meters({"OV1"}));
        std::string error;
        const auto start = Clock::now();
        ASSERT_TRUE(p.Start(start, error)) << error;
        // 213 readings a second on an injected clock; the batch closes 10 ms late.
        for (std::int64_t i = 0; i * 4695 <= 210'000; ++i) {
            const auto at = start + std::chrono::microseconds(i * 4695);
            station::Reading r;
            r.steady_ns = at.time_since_epoch().count();
            r.utc_us = 1'700'000'000'000'000 + i * 4695;
            r.power_dbm = -10.0;
            p.Add(r);
            if (at >= start + 210ms)
                p.Service(at);
        }
        EXPECT_EQ(p.Counters(0).dropped, 0u) << buffer.count() << " ms";
        p.Finish(0ms);
    }
}

// A CA, certificate or key that does not load is reported before connecting, not
// retried as if the broker were away.
TEST(PublisherBroker, TlsFilesThatDoNotLoadAreNamed) {
    velquor::testing::TempDir dir;
    velquor::testing::TestCertificates certs;
    ASSERT_TRUE(velquor::testing::MakeTestCertificates(dir.Path(), certs));
    const std::string garbage = dir.File("garbage.pem");
    std::ofstream(garbage) << "not a certificate\n";
    const std::string otherKey = dir.File("other-ca.key");
    const struct {
        TlsFiles files;
        std::string failure;  // empty: loads
    } cases[] = {
        {{certs.ca, "", ""}, ""},
        {{certs.ca, certs.server_cert, certs.server_key}, ""},
        {{garbage, "", ""}, "--tls-ca: " + garbage},
        {{certs.ca, garbage, certs.server_key}, "--tls-cert: " + garbage},
        {{certs.ca, certs.server_cert, garbage}, "--tls-key: " + garbage},
        {{certs.ca, certs.server_cert, otherKey}, "is not the key of"},
    };
    for (const auto& c : cases) {
        const auto why = CheckTlsFiles(c.files);
        if (c.failure.empty())
            EXPECT_FALSE(why) << *why;
        else
            EXPECT_NE(why.value_or("").find(c.failure), std::string::npos)
                << c.failure << ": " << why.value_or("(loaded)");
    }
}

// How many messages on topic say "connected": value.
int MeterStatusCount(const Messages& ms, const std::string& topic, bool value) {
    int n = 0;
    for (const auto& m : ms)
        n += m.topic == topic &&
             nlohmann::json::parse(m.payload).value("connected", !value) == value;
    return n;
}

// The last message on topic, parsed; null when there is none.
nlohmann::json Last(const Messages& ms, const std::string& topic) {
    for (auto m = ms.rbegin(); m != ms.rend(); ++m)
        if (m->topic == topic)
            return nlohmann::json::parse(m->payload);
    return nullptr;
}

// A text field of a payload; empty when absent, null or not text.
std::string Text(const nlohmann::json& j, const char* key) {
    return j.is_object() && j.contains(key) && j[key].is_string() ? j[key].get<std::string>() : "";
}

// A meter status's "connected"; null when the payload has none.
nlohmann::json Connected(const nlohmann::json& j) {
    return j.is_object() && j.contains("connected") ? j["connected"] : nlohmann::json(nullptr);
}

// What a new subscriber to the stand's topics finds retained, once it has a message
// on every one of `topics` (or after 2 s).
Messages Retained(int port, const std::string& stand, const std::vector<std::string>& topics) {
    TestSubscriber fresh(port, "velquor-test-retained", false, "velquor/v1/" + stand + "/#");
    if (!fresh.Start(5s))
        return {};
    fresh.WaitFor(
        [&](const Messages& ms) {
            return std::all_of(topics.begin(), topics.end(),
                               [&](const auto& t) { return !Last(ms, t).is_null(); });
        },
        2s);
    Messages kept;
    for (const auto& m : fresh.Messages())
        if (m.retained)
            kept.push_back(m);
    return kept;
}

TEST(PublisherBroker, StatusFollowsTheMeterAndACleanExitSaysOffline) {
    velquor::testing::TempDir dir;
    MosquittoBroker broker(dir.Path(), {});
    std::string error;
    ASSERT_TRUE(broker.Start(error)) << error;
    TestSubscriber subscriber(broker.Port(), "velquor-test-status", false, "velquor/v1/+/#");
    ASSERT_TRUE(subscriber.Start(5s));
    const std::string meterStatus = "velquor/v1/clean/OV1/status";

    {
        PublisherOptions o = LocalOptions(broker.Port(), "clean");
        // The meter comes back on another node.
        o.current_identity = [](std::size_t) {
            MeterIdentity moved;
            moved.name = "OV1";
            moved.path = "/dev/ttyUSB7";
            return std::optional<MeterIdentity>(moved);
        };
        Publisher p(o, Meters({"OV1"}));
        ASSERT_TRUE(p.Start(Clock::now(), error)) << error;
        ASSERT_TRUE(RunUntil(
            p, [&] { return p.Connected(); }, 5s));
        std::int64_t next = 0;
        Feed(p, 300ms, next);
        ASSERT_TRUE(subscriber.WaitFor(
            [](const Messages& ms) { return HasPayload(ms, "velquor/v1/clean/status", "online"); },
            5s));
        // The meter's retained status follows its link.
        for (const auto kind :
             {station::ReadingKind::LinkLost, station::ReadingKind::Reconnected}) {
            station::Reading r;
            r.kind = kind;
            p.Add(r);
            const bool connected = kind == station::ReadingKind::Reconnected;
            EXPECT_TRUE(RunUntil(
                p,
                [&] {
                    return MeterStatusCount(subscriber.Messages(), meterStatus, connected) ==
                           (connected ? 2 : 1);
                },
                5s))
                << connected;
        }
        EXPECT_EQ(Text(Last(subscriber.Messages(), meterStatus), "path"), "/dev/ttyUSB7");
        p.Finish(3s);
    }
    EXPECT_TRUE(subscriber.WaitFor(
        [](const Messages& ms) { return HasPayload(ms, "velquor/v1/clean/status", "offline"); },
        5s));
    // A clean exit leaves no meter "connected", with its last identity, and no will.
    const Messages retained =
        Retained(broker.Port(), "clean", {meterStatus, "velquor/v1/clean/status"});
    const nlohmann::json meter = Last(retained, meterStatus);
    EXPECT_EQ(Connected(meter), false) << meter;
    EXPECT_EQ(Text(meter, "path"), "/dev/ttyUSB7") << meter;
    EXPECT_EQ(Text(Last(retained, "velquor/v1/clean/status"), "state"), "offline");
}

// A broker that stops answering (stopped with SIGSTOP) while a backlog fills the
// library's window, and goes on again while the publisher ends or after it has gone.
// The goodbye always fits in the window and in the time given. Confirmed, it is a
// clean exit; not confirmed, the connection is dropped without a DISCONNECT, so the
// broker publishes the will. Either way the stand is never left "online".
TEST(PublisherBroker, ABrokerThatStopsAnsweringIsNotLeftSayingOnline) {
    constexpr auto kFinish = 1000ms;
    const struct {
        std::chrono::milliseconds resume;  // after Finish began
        std::string state;                 // the stand's retained state at the end
        bool meters_disconnected;          // each meter's status says so too
    } cases[] = {
        {700ms, "offline", true},  // back while the goodbye waits for its answer
        {kFinish + 400ms, "lost", false},
    };
    velquor::testing::TempDir dir;
    MosquittoBroker broker(dir.Path(), {});
    std::string error;
    ASSERT_TRUE(broker.Start(error)) << error;
    TestSubscriber subscriber(broker.Port(), "velquor-test-stuck", false, "velquor/v1/#");
    ASSERT_TRUE(subscriber.Start(5s));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        const std::string stand = "stuck-" + c.state;
        const std::string standStatus = "velquor/v1/" + stand + "/status";
        PublisherOptions o = LocalOptions(broker.Port(), stand);
        o.interval = 10ms;  // 200 messages a second: far more than the window holds
        Publisher p(o, Meters({"OV1", "OV2"}));
        ASSERT_TRUE(p.Start(Clock::now(), error)) << error;
        ASSERT_TRUE(RunUntil(
            p, [&] { return p.Connected(); }, 5s));
        std::int64_t next = 0;
        Feed(p, 200ms, next);
        ASSERT_TRUE(subscriber.WaitFor(
            [&](const Messages& ms) { return HasPayload(ms, standStatus, "online"); }, 5s));

        broker.Pause();
        Feed(p, 1s, next);
        const auto start = Clock::now();
        std::thread resume([&] {
            std::this_thread::sleep_for(c.resume);
            broker.Resume();
        });
        p.Finish(kFinish);
        const auto took = Clock::now() - start;
        resume.join();
        EXPECT_LT(took, kFinish + 500ms);
        std::vector<std::string> notices;
        p.TakeNotices(notices);
        const bool dropped = std::find_if(notices.begin(), notices.end(), [](const auto& n) {
                                 return n.find("publishes the stand as lost") != n.npos;
                             }) != notices.end();
        EXPECT_EQ(dropped, c.state == "lost");
        EXPECT_TRUE(subscriber.WaitFor(
            [&](const Messages& ms) { return Text(Last(ms, standStatus), "state") == c.state; },
            10s));
        std::vector<std::string> topics = {standStatus};
        if (c.meters_disconnected)
            for (const char* meter : {"OV1", "OV2"})
                topics.push_back("velquor/v1/" + stand + "/" + meter + "/status");
        const Messages retained = Retained(broker.Port(), stand, topics);
        EXPECT_EQ(Text(Last(retained, standStatus), "state"), c.state);
        for (std::size_t t = 1; t < topics.size(); ++t)
            EXPECT_EQ(Connected(Last(retained, topics[t])), false) << topics[t];
    }
}

}  // namespace
}  // namespace velquor::telemetry
