#include <gtest/gtest.h>

#include "common/scripted_prompt.h"
#include "link/sim_driver.h"
#include "station_test_support.h"

namespace velquor::station {
namespace {

using namespace std::chrono_literals;
using testing::Collected;
using testing::CollectUntil;
using testing_support::ScriptedPrompt;

SimDeviceConfig Sim(int index) {
    SimDeviceConfig d = CSimDriver::DefaultMeter(SimulatedMeterModel(index));
    d.meter->frameIntervalMs = 10;
    return d;
}

// The window's station: one meter the person picks from the listing.
class PersonStation : public ::testing::Test {
protected:
    PersonStation() {
        StationOptions o = testing::FastOptions();
        o.reconnect.enabled = true;
        o.reconnect.first_delay = 20ms;
        o.reconnect.max_delay = 50ms;
        o.make_driver = [this](const MeterTarget&) -> std::unique_ptr<IFtdiDriver> {
            auto d = std::make_unique<CSimDriver>(std::vector<SimDeviceConfig>{Sim(0), Sim(1)});
            driver = d.get();
            return d;
        };
        station = std::make_unique<Station>(std::move(o));
        index = station->Add(MeterTarget::Listed());
        feed = station->Subscribe();
    }
    bool Connect() {
        std::string error;
        return station->Connect(index, SequenceFront{&prompt, nullptr, nullptr}, error);
    }

    CSimDriver* driver = nullptr;
    std::unique_ptr<Station> station;
    std::size_t index = 0;
    std::shared_ptr<Subscription> feed;
    ScriptedPrompt prompt;
};

TEST_F(PersonStation, ThePickedMeterIsOpenedAndAConnectEndsTheWaitForIt) {
    prompt.selectLine = 1;
    ASSERT_TRUE(Connect());
    EXPECT_EQ(prompt.dialogs, 1);
    EXPECT_EQ(station->Meter(index).serial, "OV227701");
    Collected c;
    ASSERT_TRUE(CollectUntil(*feed, c, [](const Collected& x) { return x.all.size() >= 3; }, 5s));

    // Lost: the station waits for that meter. The person's connect ends the wait and
    // the stream says the meter is back.
    driver->Unplug();
    ASSERT_TRUE(CollectUntil(
        *feed, c, [](const Collected& x) { return x.Count(0, ReadingKind::LinkLost) >= 1; }, 5s));
    driver->SetDevices({Sim(0), Sim(1)});
    ASSERT_TRUE(Connect());
    EXPECT_EQ(station->Status(index).state, MeterState::Connected);
    ASSERT_TRUE(CollectUntil(
        *feed, c, [](const Collected& x) { return x.Count(0, ReadingKind::Reconnected) >= 1; },
        5s));
    // Nobody asked: no dialog came from the station's own looks for the meter.
    EXPECT_EQ(prompt.dialogs, 2);
}

TEST_F(PersonStation, SequenceMessagesAndTheQuestionReachThePersonAsTheyCome) {
    // Not connected yet.
    EXPECT_EQ(station->Setup(index, {}, SequenceFront{&prompt, nullptr, nullptr}).Message(),
              kMsgNotConnected);
    ASSERT_FALSE(prompt.messages.empty());
    EXPECT_EQ(prompt.messages.back().text, kMsgNotConnected);

    ASSERT_TRUE(Connect());
    prompt.yesNo = {true};
    SetupRequest request;
    request.frequency = "500";
    const SetupOutcome out =
        station->Setup(index, request, SequenceFront{&prompt, nullptr, nullptr});
    EXPECT_TRUE(out.Ok()) << out.Message();
    ASSERT_EQ(prompt.questions.size(), 1u);
    EXPECT_EQ(prompt.questions[0].text, kMsgLowFrequencyQuestion);
    EXPECT_EQ(prompt.messages.back().text, kMsgSetupDone);
    EXPECT_TRUE(station->Meter(index).low_frequency);
    EXPECT_EQ(station->Meter(index).frequency_mhz, 500);
}

}  // namespace
}  // namespace velquor::station
