// The instrument over a real station of simulated meters: setup written through
// the meter's own sequence (acknowledgement and read-back), readings through the
// station's stream.
#include <gtest/gtest.h>

#include <mutex>

#include "link/sim_driver.h"
#include "remote/reading_pump.h"
#include "remote/station_backend.h"
#include "remote_test_support.h"
#include "station/station_test_support.h"

namespace velquor::remote {
namespace {

using namespace std::chrono_literals;

// Meter 1 acknowledges its writes, meter 2 never does.
class StationSetup : public ::testing::Test {
protected:
    StationSetup() {
        station::StationOptions o = station::testing::FastOptions();
        o.make_driver = [this](const station::MeterTarget& t) -> std::unique_ptr<IFtdiDriver> {
            SimDeviceConfig d = CSimDriver::DefaultMeter(station::SimulatedMeterModel(t.sim_index));
            d.meter->frameIntervalMs = 10;
            d.meter->acknowledgeWrites = t.sim_index == 0;
            auto driver = std::make_unique<CSimDriver>(std::vector<SimDeviceConfig>{d});
            drivers.push_back(driver.get());
            return driver;
        };
        station_ = std::make_unique<station::Station>(o);
    }
    void Open() {
        std::vector<std::string> errors;
        ASSERT_TRUE(
            station_->Open({station::MeterTarget::Simulated(0), station::MeterTarget::Simulated(1)},
                           false, errors));
        backend = std::make_unique<StationBackend>(*station_);
        InstrumentOptions io;
        io.version = "9.9";
        inst = std::make_unique<Instrument>(*backend, io);
        source = std::make_unique<SubscriptionSource>(station_->Subscribe());
        pump = std::make_unique<ReadingPump>(*source, *inst);
        pump->Start();
        client = std::make_unique<testing::Client>(*inst, 10s);
    }
    void TearDown() override {
        client.reset();
        pump.reset();
        if (backend)
            backend->Stop();
        station_->Close();
        inst.reset();
        backend.reset();
    }

    std::vector<CSimDriver*> drivers;
    std::unique_ptr<station::Station> station_;
    std::unique_ptr<StationBackend> backend;
    std::unique_ptr<Instrument> inst;
    std::unique_ptr<SubscriptionSource> source;
    std::unique_ptr<ReadingPump> pump;
    std::unique_ptr<testing::Client> client;
};

TEST_F(StationSetup, WritesAreAcknowledgedReadBackAndFailuresReported) {
    Open();
    testing::Client& c = *client;
    EXPECT_EQ(c.Ask("*IDN?"), "VELQUOR,ViridIrivi RA,OV227700,9.9");
    EXPECT_EQ(c.Ask("FREQ?;:SENS2:FREQ?"), "1.700000E+09;1.700000E+09");
    c.Send("FREQ 2.2GHZ;:CORR:LOSS2 2.25");
    EXPECT_EQ(c.Errors(), std::vector<int>{});
    // What the meter now holds: 2200 MHz = 700 + 37 * 40 + 20, loss in tenths, an exact
    // half rounded down as the window does it.
    const std::vector<std::uint8_t> record = drivers[0]->MeterRecord();
    ASSERT_EQ(record.size(), 9u);
    EXPECT_EQ(record[6], 37);
    EXPECT_EQ(record[5], 20);
    EXPECT_EQ(record[3], 22);
    EXPECT_EQ(c.Ask("FREQ?;:CORR:LOSS2?"), "2.200000E+09;2.200000E+00");
    // The meter that never acknowledges: an error, never success, and its frequency unchanged.
    c.Send("SENS2:FREQ 2GHZ");
    EXPECT_EQ(c.Errors(), std::vector<int>{-240});
    EXPECT_EQ(c.Ask("SENS2:FREQ?"), "1.700000E+09");
    // Readings flow on through the station's stream.
    const std::string read = c.Ask("READ?");
    EXPECT_NE(read, "<none>");
    EXPECT_NEAR(std::stod(read), 10.0, 5.01);
}

TEST_F(StationSetup, AMeterGoneIsHardwareMissing) {
    Open();
    testing::Client& c = *client;
    ASSERT_NE(c.Ask("READ2?"), "<none>");
    drivers[1]->Unplug();
    for (int i = 0; i < 200 && !inst->Lost(1); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(inst->Lost(1));
    c.Send("SENS2:CORR:LOSS2 1;:READ2?");
    EXPECT_EQ(c.Errors(), (std::vector<int>{-241, -241}));
    EXPECT_EQ(c.Ask("*TST?"), "2");
    EXPECT_NE(c.Ask("READ1?"), "<none>");
}

// Stop() comes while a setup runs on the meter's thread: that one ends on its own
// verdict, the writes queued behind it as Gone.
TEST_F(StationSetup, StopWhileASetupRunsEndsTheQueuedWritesAsGone) {
    Open();
    std::mutex lock;
    std::vector<WriteStatus> outcomes;
    for (int i = 0; i < 3; ++i)
        backend->WriteSetup(1, SetupWrite{900 + i, {}}, [&](WriteOutcome o) {
            std::lock_guard g(lock);
            outcomes.push_back(o.status);
        });
    // A plain sleep, not a look at the meter: a look would order this thread after the
    // setup thread's, and the thread sanitizer could no longer see a stop flag read
    // outside its lock. The write waits about a second for the acknowledgement.
    std::this_thread::sleep_for(200ms);
    backend->Stop();
    std::lock_guard g(lock);
    EXPECT_EQ(outcomes, (std::vector<WriteStatus>{WriteStatus::Failed, WriteStatus::Gone,
                                                  WriteStatus::Gone}));
}

}  // namespace
}  // namespace velquor::remote
