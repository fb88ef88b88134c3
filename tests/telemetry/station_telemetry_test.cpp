// A running station published from a thread of its own, as the window does.
#include <gtest/gtest.h>

#include <thread>

#include "broker_harness.h"
#include "common/temp_dir.h"
#include "station/station_test_support.h"
#include "telemetry/station_telemetry.h"

namespace velquor::telemetry {
namespace {

using namespace std::chrono_literals;
using velquor::testing::MosquittoBroker;
using velquor::testing::TestSubscriber;

TEST(StationTelemetry, EveryMeterIsPublishedAndTheGoodbyeArrives) {
    velquor::testing::TempDir dir;
    MosquittoBroker broker(dir.Path(), {});
    std::string error;
    ASSERT_TRUE(broker.Start(error)) << error;
    TestSubscriber subscriber(broker.Port(), "velquor-test-window", false, "velquor/v1/bench/#");
    ASSERT_TRUE(subscriber.Start(5s));

    station::Station station(station::testing::FastOptions());
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open({station::MeterTarget::Simulated(0), station::MeterTarget::Simulated(1)},
                             false, errors));
    PublisherOptions options;
    options.broker = {"127.0.0.1", broker.Port()};
    options.stand = "bench";
    StationTelemetry telemetry(station, options);
    ASSERT_TRUE(telemetry.Start(error)) << error;
    EXPECT_EQ(telemetry.Topic(), "velquor/v1/bench");
    const auto powerOf = [](const std::string& meter) {
        return [meter](const std::vector<TestSubscriber::Message>& all) {
            for (const auto& m : all)
                if (m.topic == "velquor/v1/bench/" + meter + "/power")
                    return true;
            return false;
        };
    };
    EXPECT_TRUE(subscriber.WaitFor(powerOf(station.MeterName(0)), 10s));
    EXPECT_TRUE(subscriber.WaitFor(powerOf(station.MeterName(1)), 10s));
    // Its state is taken after each round of sending: a moment after the messages.
    for (int i = 0; i < 200 && !telemetry.Connected(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(telemetry.Connected());
    EXPECT_EQ(telemetry.Stop(3s), 0u);
    EXPECT_TRUE(subscriber.WaitFor(
        [](const std::vector<TestSubscriber::Message>& all) {
            for (const auto& m : all)
                if (m.topic == "velquor/v1/bench/status" &&
                    m.payload.find("\"offline\"") != std::string::npos)
                    return true;
            return false;
        },
        5s));
    station.Close();
}

TEST(StationTelemetry, AMeterAddedWhilePublishingGetsItsTopicsAndTheStandListsIt) {
    velquor::testing::TempDir dir;
    MosquittoBroker broker(dir.Path(), {});
    std::string error;
    ASSERT_TRUE(broker.Start(error)) << error;
    TestSubscriber subscriber(broker.Port(), "velquor-test-added", false, "velquor/v1/bench/#");
    ASSERT_TRUE(subscriber.Start(5s));

    station::Station station(station::testing::FastOptions());
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open({station::MeterTarget::Simulated(0)}, false, errors));
    PublisherOptions options;
    options.broker = {"127.0.0.1", broker.Port()};
    options.stand = "bench";
    StationTelemetry telemetry(station, options);
    ASSERT_TRUE(telemetry.Start(error)) << error;
    const auto has = [](const std::string& topic, const std::string& text) {
        return [topic, text](const std::vector<TestSubscriber::Message>& all) {
            for (const auto& m : all)
                if (m.topic == "velquor/v1/bench/" + topic &&
                    m.payload.find(text) != std::string::npos)
                    return true;
            return false;
        };
    };
    ASSERT_TRUE(subscriber.WaitFor(has("OV227700/power", ""), 10s));
    // The same meter once more: a name of its own, so topics of its own.
    const auto added =
        station.AddAndConnect(station::MeterTarget::Simulated(0), station::SequenceFront{}, error);
    ASSERT_TRUE(added) << error;
    EXPECT_TRUE(subscriber.WaitFor(has("OV227700_2/power", ""), 10s));
    EXPECT_TRUE(subscriber.WaitFor(has("OV227700_2/status", "\"connected\":true"), 10s));
    EXPECT_TRUE(subscriber.WaitFor(has("status", "OV227700_2"), 10s));
    EXPECT_EQ(telemetry.Stop(3s), 0u);
    station.Close();
}

}  // namespace
}  // namespace velquor::telemetry
