// A station meter's log: rows hold the power its tile shows under the notes of the
// settings in force, and a lost meter ends the log while the others go on.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/log_to.h"
#include "app/meter_log.h"
#include "common/temp_dir.h"
#include "link/sim_driver.h"
#include "remote/station_host.h"
#include "station/station_test_support.h"

namespace velquor {
namespace {

using testing_support::LogTo;

template <typename Pred>
bool PumpUntil(Pred pred, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!pred() && timer.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(StationMeterLog, RowsHoldTheTilesPowerAndALostMeterEndsItsLogOnly) {
    testing::TempDir dir;
    std::vector<CSimDriver*> drivers(2, nullptr);
    station::StationOptions options = station::testing::FastOptions();
    options.make_driver = [&drivers](const station::MeterTarget& t) -> std::unique_ptr<IFtdiDriver> {
        MeterModelConfig m = station::SimulatedMeterModel(t.sim_index);
        m.fixedPowerTenths = 100;  // 10.0 dBm
        SimDeviceConfig d = CSimDriver::DefaultMeter(m);
        d.meter->frameIntervalMs = 10;
        auto driver = std::make_unique<CSimDriver>(std::vector<SimDeviceConfig>{d});
        drivers[static_cast<std::size_t>(t.sim_index)] = driver.get();
        return driver;
    };
    station::Station station(options);
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open({station::MeterTarget::Simulated(0), station::MeterTarget::Simulated(1)},
                             false, errors));
    remote::StationHost host(station);
    remote::ChannelSettings s = host.Model().Settings(1);
    s.offset_db = 2.5;
    s.offset_on = true;
    ASSERT_EQ(host.Model().Apply(1, s).error, 0);

    const std::string first = dir.File("first.txt"), second = dir.File("second.txt");
    CMeterLog log0(station, host.Model(), 0, nullptr, std::make_unique<LogTo>(first));
    CMeterLog log1(station, host.Model(), 1, nullptr, std::make_unique<LogTo>(second));
    ASSERT_TRUE(PumpUntil([&] { return host.Model().View(1).has_reading; }, 5000));
    log0.Start("1.0");
    log1.Start("1.0");
    ASSERT_TRUE(log0.Running() && log1.Running());
    ASSERT_TRUE(PumpUntil([&] { return log1.Rows() >= 2; }, 10000));

    drivers[1]->Unplug();
    EXPECT_TRUE(PumpUntil([&] { return !log1.Running(); }, 10000));
    EXPECT_TRUE(log0.Running());
    log0.Stop();
    EXPECT_TRUE(PumpUntil([&] { return !log0.Running(); }, 5000));

    const std::string text = ReadAll(second);
    EXPECT_NE(text.find("OV227701"), std::string::npos) << text;
    EXPECT_NE(text.find("# OFS +2.5 dB"), std::string::npos) << text;
    // Both meters read 10.0 dBm; the second's offset shows on its tile and in its rows.
    EXPECT_NE(text.find("\r\n0,12.50,"), std::string::npos) << text;
    const std::string plain = ReadAll(first);
    EXPECT_EQ(plain.find("# OFS"), std::string::npos) << plain;
    EXPECT_NE(plain.find("\r\n0,10.00,"), std::string::npos) << plain;
    host.Stop();
    station.Close();
}

}  // namespace
}  // namespace velquor
