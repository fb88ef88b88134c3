#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "link/sim_driver.h"
#include "station/stream_gap.h"
#include "station_test_support.h"

namespace velquor::station {
namespace {

using namespace std::chrono_literals;
using testing::Collected;
using testing::CollectUntil;

// Simulated meters sending every 10 ms; the test keeps each driver to pull its plug.
class SimStation : public ::testing::Test {
protected:
    StationOptions Options(std::vector<SimDeviceConfig> devices = {}) {
        StationOptions o = testing::FastOptions(&notices);
        // Given devices in the order the targets are made, else the target's simulated meter.
        o.make_driver = [this, devices](const MeterTarget& t) -> std::unique_ptr<IFtdiDriver> {
            SimDeviceConfig d = CSimDriver::DefaultMeter(SimulatedMeterModel(t.sim_index));
            if (drivers.size() < devices.size())
                d = devices[drivers.size()];
            d.meter->frameIntervalMs = 10;
            auto driver = std::make_unique<CSimDriver>(std::vector<SimDeviceConfig>{d});
            drivers.push_back(driver.get());
            return driver;
        };
        return o;
    }
    static std::vector<MeterTarget> Simulated(int n) {
        std::vector<MeterTarget> targets;
        for (int i = 0; i < n; ++i)
            targets.push_back(MeterTarget::Simulated(i));
        return targets;
    }

    testing::NoticeLog notices;
    std::vector<CSimDriver*> drivers;
};

TEST_F(SimStation, SeveralMetersHaveDistinctNamesAndEachItsOwnOrderedStream) {
    Station station(Options());
    auto sub = station.Subscribe();
    std::vector<std::string> errors;
    const auto before_us = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    ASSERT_TRUE(station.Open(Simulated(3), false, errors)) << errors.front();
    ASSERT_EQ(station.MeterCount(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(station.MeterName(i), "OV22770" + std::to_string(i));
        EXPECT_EQ(station.Meter(i).serial, station.MeterName(i));
        EXPECT_TRUE(station.Meter(i).identity_read);
        EXPECT_EQ(station.Meter(i).frequency_mhz, 1700);
    }
    Collected c;
    ASSERT_TRUE(CollectUntil(
        *sub, c,
        [](const Collected& x) {
            return x.Of(0).size() >= 20 && x.Of(1).size() >= 20 && x.Of(2).size() >= 20;
        },
        10s));
    for (std::uint32_t i = 0; i < 3; ++i) {
        const auto readings = c.Of(i);
        for (std::size_t k = 0; k < readings.size(); ++k) {
            const Reading& r = readings[k];
            ASSERT_EQ(r.kind, ReadingKind::Measurement);
            // The simulated meters drift within 5 dB of their own level, 15 dB apart.
            EXPECT_NEAR(r.power_dbm, 10.0 - 15.0 * i, 5.01) << "meter " << i;
            EXPECT_GE(r.utc_us, before_us);
            if (k > 0) {
                EXPECT_GT(r.steady_ns, readings[k - 1].steady_ns);
                EXPECT_GE(r.utc_us, readings[k - 1].utc_us - 1000000);
            }
        }
    }
}

TEST_F(SimStation, OneMeterLostWhileTheOthersGoOn) {
    Station station(Options());
    auto sub = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open(Simulated(3), false, errors));
    Collected c;
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.Of(1).size() >= 5; }, 10s));
    drivers[1]->Unplug();
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.Count(1, ReadingKind::LinkLost) == 1; }, 10s));
    const std::size_t lostAt = c.all.size();
    ASSERT_TRUE(CollectUntil(
        *sub, c, [&](const Collected& x) { return x.all.size() >= lostAt + 60; }, 10s));
    // After its loss the lost meter says nothing more; the others carry on.
    const auto one = c.Of(1);
    EXPECT_EQ(one.back().kind, ReadingKind::LinkLost);
    std::size_t othersAfter = 0;
    for (std::size_t k = lostAt; k < c.all.size(); ++k) {
        EXPECT_NE(c.all[k].meter, 1u);
        othersAfter += c.all[k].kind == ReadingKind::Measurement;
    }
    EXPECT_GE(othersAfter, 60u);
    EXPECT_EQ(station.Status(1).state, MeterState::Lost);
    EXPECT_EQ(station.Status(0).state, MeterState::Connected);
}

TEST_F(SimStation, ASlowConsumerLosesCountedReadingsAndNeverHoldsUpAnother) {
    Station station(Options());
    auto slow = station.Subscribe(8);
    auto fast = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open(Simulated(2), false, errors));
    Collected c;
    ASSERT_TRUE(CollectUntil(
        *fast, c, [](const Collected& x) { return x.all.size() >= 100; }, 10s));
    station.Close();
    fast->PopAll(c.all, 0ms);
    EXPECT_TRUE(slow->TakeDropReport());
    EXPECT_FALSE(slow->TakeDropReport());
    EXPECT_EQ(fast->Dropped(), 0u);
    std::vector<Reading> kept;
    slow->PopAll(kept, 0ms);
    // The slow queue holds the first readings; everything after was counted, none lost silently.
    ASSERT_EQ(kept.size(), 8u);
    EXPECT_EQ(kept.size() + slow->Dropped(), c.all.size());
    for (std::size_t k = 0; k < kept.size(); ++k)
        EXPECT_EQ(kept[k].steady_ns, c.all[k].steady_ns);
    EXPECT_TRUE(slow->Ended());
    Reading r;
    EXPECT_FALSE(slow->Pop(r, 1s));
}

// A consumer that fell behind finds each of its losses in the stream's numbers, at the
// place they happened and meter by meter, while a consumer that kept up sees none.
TEST_F(SimStation, TheStreamNumbersShowWhereAndHowManyReadingsASlowConsumerLost) {
    Station station(Options());
    auto slow = station.Subscribe(8);
    auto fast = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open(Simulated(2), false, errors));
    Collected all, kept;
    for (std::size_t round = 1; round <= 3; ++round) {
        ASSERT_TRUE(CollectUntil(
            *fast, all, [&](const Collected& x) { return x.all.size() >= 60 * round; }, 10s));
        slow->PopAll(kept.all, 0ms);
    }
    station.Close();
    fast->PopAll(all.all, 0ms);
    slow->PopAll(kept.all, 0ms);
    std::uint64_t dropped = 0;
    for (std::uint32_t m = 0; m < 2; ++m) {
        const auto every = all.Of(m), some = kept.Of(m);
        ASSERT_FALSE(some.empty());
        std::uint64_t fastLast = 0, slowLast = 0, gaps = 0;
        for (const Reading& r : every)
            EXPECT_EQ(MissedBefore(fastLast, r.seq), 0u) << "meter " << m << " seq " << r.seq;
        for (const Reading& r : some)
            gaps += MissedBefore(slowLast, r.seq);
        EXPECT_EQ(some.front().seq, every.front().seq);
        EXPECT_GT(gaps, 0u) << "meter " << m;
        // What the slow one missed in between, and after its last reading.
        dropped += gaps + (fastLast - slowLast);
    }
    EXPECT_EQ(dropped, slow->Dropped());
}

TEST(StreamGap, CountsTheJumpOfEachMetersNumbers) {
    struct Row {
        std::uint64_t last, seq, missed, lastAfter;
    };
    for (const Row& row :
         {Row{0, 17, 0, 17}, Row{4, 5, 0, 5}, Row{4, 9, 4, 9}, Row{4, 0, 0, 4}, Row{9, 9, 0, 9}}) {
        std::uint64_t last = row.last;
        EXPECT_EQ(MissedBefore(last, row.seq), row.missed) << row.last << " -> " << row.seq;
        EXPECT_EQ(last, row.lastAfter);
    }
}

TEST(Subscription, AFullQueueStillTakesTheLinkEvents) {
    Subscription queue(2);
    Reading measurement, lost, back;
    lost.kind = ReadingKind::LinkLost;
    back.kind = ReadingKind::Reconnected;
    for (const Reading& r : {measurement, measurement, measurement, lost, measurement, back})
        queue.Push(r);
    std::vector<Reading> out;
    queue.PopAll(out, 0ms);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[2].kind, ReadingKind::LinkLost);
    EXPECT_EQ(out[3].kind, ReadingKind::Reconnected);
    EXPECT_EQ(queue.Dropped(), 2u);
}

TEST_F(SimStation, NamesComeFromTheIdentityOrThePlaceAndNeverRepeat) {
    auto same = [](const std::string& serial, bool identity) {
        MeterModelConfig m = SimulatedMeterModel(0);
        m.serial = serial;
        SimDeviceConfig d = CSimDriver::DefaultMeter(m);
        d.failEeprom = !identity;
        return d;
    };
    Station station(Options({same("OV5", true), same("OV5", true), same("OV6", false)}));
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open(
        {MeterTarget::BySerial("OV5"), MeterTarget::BySerial("OV5"), MeterTarget::BySerial("OV6")},
        false, errors))
        << errors.front();
    EXPECT_EQ(station.MeterName(0), "OV5");
    EXPECT_EQ(station.MeterName(1), "OV5#2");
    // No identity: no serial, not even the placeholder one; named as the user named it.
    EXPECT_EQ(station.MeterName(2), "OV6");
    EXPECT_EQ(station.Meter(2).serial, "");
    EXPECT_FALSE(station.Meter(2).identity_read);
}

TEST_F(SimStation, AMeterThatFailsToOpenIsNamedAndStopsTheOthersUnlessKeepGoing) {
    SimDeviceConfig broken = CSimDriver::DefaultMeter(SimulatedMeterModel(1));
    broken.failOpen = true;
    const std::vector<SimDeviceConfig> devices = {CSimDriver::DefaultMeter(SimulatedMeterModel(0)),
                                                  broken,
                                                  CSimDriver::DefaultMeter(SimulatedMeterModel(2))};
    for (const bool keepGoing : {false, true}) {
        drivers.clear();
        Station station(Options(devices));
        std::vector<std::string> errors;
        EXPECT_EQ(station.Open(Simulated(3), keepGoing, errors), keepGoing);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].rfind("simulated meter 2: ", 0), 0u) << errors[0];
        EXPECT_EQ(station.MeterCount(), keepGoing ? 2u : 0u);
        if (keepGoing) {
            EXPECT_EQ(station.MeterName(1), "OV227702");
            auto sub = station.Subscribe();
            Collected c;
            EXPECT_TRUE(CollectUntil(
                *sub, c, [](const Collected& x) { return x.Of(1).size() >= 3; }, 10s));
        }
    }
}

// A window adds meters to a running station while the SCPI pump, the publisher and
// the window read it on their threads (run under TSan in CI).
TEST_F(SimStation, MetersAddedWhileOtherThreadsReadAreNamedAsOpenNamesThem) {
    SimDeviceConfig broken = CSimDriver::DefaultMeter(SimulatedMeterModel(5));
    broken.failOpen = true;
    std::vector<SimDeviceConfig> devices;
    for (int i : {0, 1, 2, 1, 0})
        devices.push_back(CSimDriver::DefaultMeter(SimulatedMeterModel(i)));
    devices.push_back(broken);
    Station station(Options(devices));
    auto sub = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open(Simulated(2), false, errors)) << errors.front();

    std::atomic<bool> done{false};
    std::atomic<std::size_t> looks{0};
    std::atomic<bool> wrong{false};
    std::thread reader([&] {
        std::size_t seen = 0;
        while (!done.load()) {
            // The count never shrinks, and every meter counted has a name.
            const std::size_t n = station.MeterCount();
            wrong = wrong.load() || n < seen;
            seen = n;
            for (std::size_t i = 0; i < n; ++i) {
                wrong = wrong.load() || station.MeterName(i).empty() ||
                        station.Meter(i).name.empty();
                (void)station.Status(i);
            }
            ++looks;
        }
    });

    // Add, then Connect: the label until it opened, then its serial.
    const std::size_t third = station.Add(MeterTarget::Simulated(2));
    EXPECT_EQ(third, 2u);
    EXPECT_EQ(station.MeterName(2), "simulated meter 3");
    std::string error;
    ASSERT_TRUE(station.Connect(third, SequenceFront{}, error)) << error;
    EXPECT_EQ(station.MeterName(2), "OV227702");
    EXPECT_EQ(station.Meter(2).name, "OV227702");
    // A meter already open, added again, gets a number, whichever way it came.
    const std::size_t fourth = station.Add(MeterTarget::Simulated(1));
    ASSERT_TRUE(station.Connect(fourth, SequenceFront{}, error)) << error;
    EXPECT_EQ(station.MeterName(3), "OV227701#2");
    const auto fifth = station.AddAndConnect(MeterTarget::Simulated(0), SequenceFront{}, error);
    ASSERT_EQ(fifth, std::optional<std::size_t>(4)) << error;
    EXPECT_EQ(station.MeterName(4), "OV227700#2");
    // One that fails to open is never counted: the next one added takes its place.
    EXPECT_FALSE(station.AddAndConnect(MeterTarget::Simulated(5), SequenceFront{}, error));
    EXPECT_NE(error, "");
    EXPECT_EQ(station.MeterCount(), 5u);

    // Each added meter's stream flows under its index, numbered from one.
    Collected c;
    EXPECT_TRUE(CollectUntil(
        *sub, c,
        [](const Collected& x) { return x.Of(2).size() >= 3 && x.Of(4).size() >= 3; }, 10s));
    EXPECT_EQ(c.Of(4).front().seq, 1u);
    EXPECT_EQ(c.Count(5, ReadingKind::Measurement), 0u);
    const std::size_t before = looks.load();
    while (looks.load() < before + 2)
        std::this_thread::yield();
    done = true;
    reader.join();
    EXPECT_FALSE(wrong.load());
}

TEST_F(SimStation, AClosedStationAddsNoMeter) {
    Station station(Options());
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open(Simulated(1), false, errors)) << errors.front();
    station.Close();
    std::string error;
    EXPECT_FALSE(station.AddAndConnect(MeterTarget::Simulated(1), SequenceFront{}, error));
    EXPECT_EQ(error, "the station is closed");
    EXPECT_EQ(station.MeterCount(), 1u);
}

TEST_F(SimStation, TheMetersToAddAreThoseNotOpen) {
    std::string error;
    {
        Station station(Options());
        std::vector<std::string> errors;
        ASSERT_TRUE(station.Open({MeterTarget::Simulated(0), MeterTarget::Simulated(2)}, false,
                                 errors));
        // Simulated meters: the others up to the bound, and no listing of real ones.
        CSimDriver lister;
        const std::vector<MeterTarget> addable = AddableTargets(station, &lister, error);
        std::vector<MeterTarget> expected = {MeterTarget::Simulated(1)};
        for (int i = 3; i < kMaxSimulatedMeters; ++i)
            expected.push_back(MeterTarget::Simulated(i));
        EXPECT_EQ(addable, expected);
        EXPECT_EQ(error, "");
    }
    // Real meters: the listed ones whose serial is not open.
    drivers.clear();
    Station station(Options({CSimDriver::DefaultMeter(SimulatedMeterModel(1))}));
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open({MeterTarget::BySerial("OV227701")}, false, errors))
        << errors.front();
    CSimDriver lister({CSimDriver::DefaultMeter(SimulatedMeterModel(0)),
                       CSimDriver::DefaultMeter(SimulatedMeterModel(1)),
                       CSimDriver::DefaultMeter(SimulatedMeterModel(2))});
    EXPECT_EQ(AddableTargets(station, &lister, error),
              (std::vector<MeterTarget>{MeterTarget::BySerial("OV227700"),
                                        MeterTarget::BySerial("OV227702")}));
    // A listing that fails says why.
    lister.SetFailCount(true);
    EXPECT_TRUE(AddableTargets(station, &lister, error).empty());
    EXPECT_NE(error, "");
}

TEST_F(SimStation, SetupRunsOnOneMeterAndReportsItsVerdict) {
    Station station(Options());
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open(Simulated(2), false, errors));
    struct Case {
        SetupRequest request;
        SetupResult result;
        int frequency;
        double cableLoss;
    };
    const Case cases[] = {
        {{"900", "2.5", true, false, {}}, SetupResult::Success, 900, 2.5},
        {{"abc", {}, {}, {}, {}}, SetupResult::InvalidInput, 900, 2.5},
        {{"3000", {}, {}, {}, {}}, SetupResult::OutOfRange, 900, 2.5},
        // The unit keeps what the refused attempts typed out of it.
        {{{}, "1.0", {}, {}, {}}, SetupResult::Success, 900, 1.0},
    };
    for (const Case& k : cases) {
        const SetupOutcome out = station.Setup(1, k.request);
        EXPECT_EQ(out.result, k.result) << out.Message();
        EXPECT_FALSE(out.Message().empty());
        EXPECT_EQ(station.Meter(1).frequency_mhz, k.frequency);
        EXPECT_DOUBLE_EQ(station.Meter(1).cable_loss_db, k.cableLoss);
    }
    EXPECT_EQ(station.Setup(1, {}).Message(), kMsgSetupDone);
    EXPECT_EQ(station.Meter(0).frequency_mhz, 1700);
    EXPECT_TRUE(station.Meter(1).show_dbm);
    EXPECT_FALSE(station.Meter(1).show_watt);
    // The simulated unit holds the record written to it.
    EXPECT_EQ(drivers[1]->MeterRecord()[3], 10);
}

TEST_F(SimStation, ReconnectingTurnedOnAndOffWhileAMeterIsAway) {
    Station station(Options());  // reconnecting off, as by default
    auto sub = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open(Simulated(2), false, errors));
    Collected c;
    auto back = [](const Collected& x) {
        const auto zero = x.Of(0);
        return x.Count(0, ReadingKind::Reconnected) == 1 &&
               zero.back().kind == ReadingKind::Measurement;
    };
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.Of(0).size() >= 3; }, 10s));
    // The meter leaves the bus.
    auto present = CSimDriver::DefaultMeter(SimulatedMeterModel(0));
    present.meter->frameIntervalMs = 10;
    drivers[0]->SetDevices({});
    drivers[0]->Unplug();
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.Count(0, ReadingKind::LinkLost) == 1; }, 10s));
    EXPECT_EQ(station.Status(0).state, MeterState::Lost);

    ReconnectPolicy on;
    on.enabled = true;
    on.first_delay = 20ms;
    on.max_delay = 80ms;
    station.SetReconnect(on);
    ASSERT_TRUE(
        velquor::testing_support::WaitFor([&] { return station.Status(0).attempts >= 2; }, 10s));
    // Turned off while waiting: the wait ends, and a meter coming back is left alone.
    station.SetReconnect({});
    ASSERT_TRUE(velquor::testing_support::WaitFor(
        [&] { return station.Status(0).state == MeterState::Lost; }, 10s));
    drivers[0]->SetDevices({present});
    EXPECT_FALSE(CollectUntil(*sub, c, back, 300ms));

    station.SetReconnect(on);
    ASSERT_TRUE(CollectUntil(*sub, c, back, 10s));
    std::vector<ReadingKind> events;
    for (const Reading& r : c.Of(0))
        if (r.kind != ReadingKind::Measurement)
            events.push_back(r.kind);
    EXPECT_EQ(events, (std::vector<ReadingKind>{ReadingKind::LinkLost, ReadingKind::Reconnected}));
    EXPECT_EQ(station.Status(0).state, MeterState::Connected);
    EXPECT_EQ(station.Meter(0).serial, "OV227700");
}

// With reconnecting off, a meter that only fell silent goes on when its frames come
// again; turning reconnecting on afterwards must leave that live meter alone.
TEST_F(SimStation, AMeterBackOnItsOwnIsNotReopenedWhenReconnectingIsTurnedOn) {
    StationOptions o = Options();
    o.timings.idle_wait_ms = 50;  // a busy machine must not lose the fed meter
    Station station(o);
    auto sub = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open(Simulated(1), false, errors));
    Collected c;
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.Of(0).size() >= 3; }, 10s));
    drivers[0]->Unplug();
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.Count(0, ReadingKind::LinkLost) == 1; }, 10s));
    // Its frames come again on the same link.
    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        const CMeterModel model(SimulatedMeterModel(0));
        for (double t = 0; feeding.load(); t += 0.01) {
            drivers[0]->SendWire(model.MeasurementWire(t));
            std::this_thread::sleep_for(10ms);
        }
    });
    const auto events = [&] {
        std::vector<ReadingKind> kinds;
        for (const Reading& r : c.Of(0))
            if (r.kind != ReadingKind::Measurement)
                kinds.push_back(r.kind);
        return kinds;
    };
    const std::vector<ReadingKind> lostAndBack = {ReadingKind::LinkLost, ReadingKind::Reconnected};
    EXPECT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.Count(0, ReadingKind::Reconnected) == 1; },
        10s));
    ReconnectPolicy on;
    on.enabled = true;
    on.first_delay = 20ms;
    station.SetReconnect(on);
    EXPECT_FALSE(CollectUntil(
        *sub, c, [&](const Collected&) { return events() != lostAndBack; }, 400ms));
    feeding.store(false);
    feeder.join();
    EXPECT_EQ(events(), lostAndBack);
    EXPECT_EQ(drivers[0]->OpenCount(), 1);
    EXPECT_EQ(station.Status(0).state, MeterState::Connected);
}

// A meter that failed to open has no link to lose: its session reports nothing
// afterwards, so a station dropping it has no frame in flight to a slot it destroys.
TEST(MeterSessionAlone, AFailedOpenLeavesNoWorkerToReportALinkLost) {
    struct Count : IReadingHandler {
        std::atomic<int> readings{0};
        void OnReading(const Reading&) override { ++readings; }
    } handler;
    SimDeviceConfig broken = CSimDriver::DefaultMeter(SimulatedMeterModel(0));
    broken.failOpen = true;
    SessionOptions so;
    so.timings = velquor::testing_support::FastTimings();
    MeterSession session(MeterTarget::Simulated(0),
                         std::make_unique<CSimDriver>(std::vector<SimDeviceConfig>{broken}),
                         std::move(so));
    session.SetReadingHandler(&handler);
    std::string error;
    std::vector<std::string> notes;
    ASSERT_FALSE(session.Connect(error, notes));
    EXPECT_FALSE(session.Link().WorkerRunning());
    // A worker left idle injects its link-lost frame after four idle waits (80 ms).
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(handler.readings.load(), 0);
}

}  // namespace
}  // namespace velquor::station
