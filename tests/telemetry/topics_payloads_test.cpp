#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "telemetry/broker_address.h"
#include "telemetry/payloads.h"
#include "telemetry/topics.h"

namespace velquor::telemetry {
namespace {

TEST(TopicLevel, MeterNamesBecomeOneSafeLevel) {
    const struct {
        const char* name;
        const char* level;
    } cases[] = {
        {"OV227700", "OV227700"},
        {"/dev/ttyUSB0", "ttyUSB0"},
        {"/dev/serial/by-id/usb-Orvane_Power_Meter_OV1-if00-port0",
         "usb-Orvane_Power_Meter_OV1-if00-port0"},
        {"a+b#c", "a_b_c"},
        {"tab\there\x1b[31m", "tab_here__31m"},
        {"Pr\xc3\xbc"
         "fstand",
         "Pr_fstand"},  // one '_' per character, not per byte
        {"bad\xff\xfeutf8", "bad__utf8"},
        {"$SYS", "_SYS"},
        {"", "meter"},
        {"/dev/", "dev"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MeterTopicLevel(c.name), c.level) << c.name;
}

TEST(TopicLevel, LevelsAreUniqueWithinTheStand) {
    EXPECT_EQ(UniqueMeterTopicLevels({"a+b", "a#b", "/dev/a_b", "a_b-2", "x"}),
              (std::vector<std::string>{"a_b", "a_b-2", "a_b-3", "a_b-2-2", "x"}));
}

TEST(TopicLevel, StandAndPrefixAreCheckedNotRewritten) {
    EXPECT_FALSE(CheckStandName("bench-3.lab_a"));
    EXPECT_TRUE(CheckStandName(""));
    EXPECT_TRUE(CheckStandName("bench 3"));
    EXPECT_TRUE(CheckStandName("a/b"));
    EXPECT_FALSE(CheckTopicPrefix("velquor/v1"));
    EXPECT_FALSE(
        CheckTopicPrefix("plant/Pr\xc3\xbc"
                         "fhalle"));
    for (const char* bad :
         {"", "/velquor", "velquor/", "a//b", "a/+/b", "a/#", "$SYS/x", "a\nb", "bad\xff"})
        EXPECT_TRUE(CheckTopicPrefix(bad)) << bad;
    const StandTopics t = MakeStandTopics("velquor/v1", "bench3", {"OV1", "ttyUSB0"});
    EXPECT_EQ(t.status, "velquor/v1/bench3/status");
    EXPECT_EQ(t.meters[1].power, "velquor/v1/bench3/ttyUSB0/power");
    EXPECT_EQ(t.meters[0].summary, "velquor/v1/bench3/OV1/summary");
    EXPECT_EQ(t.meters[0].status, "velquor/v1/bench3/OV1/status");
}

TEST(Payloads, PowerMessageCarriesEveryReadingWithItsTime) {
    const std::int64_t steady[] = {1'000'000'000, 1'004'695'400, 1'009'390'000};
    const double dbm[] = {-12.3, -12.4, NAN};
    PowerBatchView b;
    b.session = "5e55";
    b.seq = 42;
    b.first_utc_us = 1'765'000'000'123'456;
    b.steady_ns = steady;
    b.dbm = dbm;
    b.temperature_c = 23.75;
    b.battery = 3.9;
    b.dropped = 7;
    EXPECT_EQ(PowerPayload(b),
              R"({"v":1,"session":"5e55","seq":42,"t0":1765000000123,"dt_ms":[0.456,5.151,9.846],)"
              R"("dbm":[-12.3,-12.4,null],"temperature_c":23.75,"battery":3.9,)"
              R"("battery_percent":0,"battery_low":true,"dropped":7})");
    // The raw gauge number stays; the percentage and the flag are what the window shows.
    b.battery = 636.0;
    EXPECT_NE(PowerPayload(b).find(R"("battery":636.0,"battery_percent":68,"battery_low":false,)"),
              std::string::npos);
    b.battery = NAN;  // the last frame had no battery field
    EXPECT_NE(PowerPayload(b).find(R"("battery":null,"battery_percent":null,"battery_low":null,)"),
              std::string::npos);
}

TEST(Payloads, StatusAndSummaryMessages) {
    EXPECT_EQ(StandLostPayload("s1"), R"({"state":"lost","session":"s1"})");
    EXPECT_EQ(StandOfflinePayload("s1"), R"({"state":"offline","session":"s1"})");
    EXPECT_EQ(
        StandOnlinePayload("s1", 1000, {"OV1", "OV2"}, "1.1.0"),
        R"({"state":"online","session":"s1","since":1000,"meters":["OV1","OV2"],"version":"1.1.0"})");

    MeterIdentity id;
    id.name = "OV1";
    id.serial = "OV1\xff";  // broken UTF-8 from the device must not break the JSON
    id.frequency_mhz = 2450.0;
    const auto status = nlohmann::json::parse(MeterStatusPayload("s1", id, false));
    EXPECT_EQ(status["serial"], "OV1\xef\xbf\xbd");
    EXPECT_TRUE(status["path"].is_null());
    EXPECT_TRUE(status["cable_loss_db"].is_null());
    EXPECT_EQ(status["frequency_mhz"], 2450.0);
    EXPECT_EQ(status["connected"], false);

    SummaryValues v{1000, 1000, 200, -10.0, -20.5, -3.0, -7.25};
    EXPECT_EQ(SummaryPayload("s1", v),
              R"({"v":1,"session":"s1","t":1000,"window_ms":1000,"count":200,)"
              R"("last_dbm":-10.0,"min_dbm":-20.5,"max_dbm":-3.0,"mean_dbm":-7.25})");
}

TEST(BrokerAddress, HostPortAndDefaults) {
    const struct {
        const char* text;
        bool tls;
        const char* host;
        int port;
        const char* uri;
    } good[] = {
        {"broker", false, "broker", 1883, "tcp://broker:1883"},
        {"broker", true, "broker", 8883, "ssl://broker:8883"},
        {"10.0.0.5:1884", false, "10.0.0.5", 1884, "tcp://10.0.0.5:1884"},
        {"[::1]:1884", true, "::1", 1884, "ssl://[::1]:1884"},
        {"fe80::1", false, "fe80::1", 1883, "tcp://[fe80::1]:1883"},
    };
    for (const auto& c : good) {
        std::string error;
        const auto a = ParseBrokerAddress(c.text, c.tls, error);
        ASSERT_TRUE(a) << c.text << ": " << error;
        EXPECT_EQ(a->host, c.host);
        EXPECT_EQ(a->port, c.port);
        EXPECT_EQ(ServerUri(*a, c.tls), c.uri);
    }
    for (const char* bad : {"", ":1883", "host:", "host:0", "host:65536", "host:18x3", "[::1",
                            "[nothost]:1", "a:b:c", "ho st", "tcp://host"}) {
        std::string error;
        EXPECT_FALSE(ParseBrokerAddress(bad, false, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(BrokerAddress, LoopbackAndBackOff) {
    for (const char* host : {"localhost", "127.0.0.1", "127.1.2.3", "::1", "::ffff:127.0.0.1"})
        EXPECT_TRUE(IsLoopbackHost(host)) << host;
    for (const char* host : {"broker", "10.0.0.1", "128.0.0.1", "::2", "localhost.example"})
        EXPECT_FALSE(IsLoopbackHost(host)) << host;
    using std::chrono::seconds;
    const seconds expected[] = {seconds(1),  seconds(2),  seconds(4),  seconds(8),
                                seconds(16), seconds(30), seconds(30), seconds(30)};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(ReconnectDelay(i), expected[i]) << i;
    EXPECT_EQ(ReconnectDelay(1000), seconds(30));
}

}  // namespace
}  // namespace velquor::telemetry
