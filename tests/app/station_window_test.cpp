// The station window on simulated meters: tiles from the station, a panel's
// settings reaching the instrument and the sensor's record, remote control.
#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QStatusBar>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPointer>
#include <QTimer>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "app/meter_panel_dialog.h"
#include "app/sensor_settings.h"
#include "app/station_window.h"
#include "link/sim_driver.h"
#include "meter/prompt.h"
#include "station/station_test_support.h"
#include "common/temp_dir.h"
#include "remote/tcp_client.h"
#include "ui/station_view.h"

namespace velquor {
namespace {

using namespace std::chrono_literals;

class StationWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        station::StationOptions options = station::testing::FastOptions();
        if (deafFirst_)
            options.make_clock = {};  // the real acknowledgement wait, for a close to cut short
        options.make_driver = [this](const station::MeterTarget& t) -> std::unique_ptr<IFtdiDriver> {
            SimDeviceConfig d = CSimDriver::DefaultMeter(station::SimulatedMeterModel(t.sim_index));
            d.failOpen = t.sim_index == kBroken;
            d.meter->acknowledgeWrites = !(deafFirst_ && t.sim_index == 0);
            // Faster than the quick link timings' silence, so only an unplug is a loss.
            d.meter->frameIntervalMs = 10;
            auto driver = std::make_unique<CSimDriver>(std::vector<SimDeviceConfig>{d});
            std::lock_guard lock(driversLock_);  // the meters open at once
            drivers_[t.sim_index] = driver.get();
            return driver;
        };
        station_ = std::make_unique<station::Station>(options);
        std::vector<std::string> errors;
        ASSERT_TRUE(station_->Open({station::MeterTarget::Simulated(0),
                                    station::MeterTarget::Simulated(1),
                                    station::MeterTarget::Simulated(2)},
                                   false, errors));
        window_ = std::make_unique<CStationWindow>(*station_, nullptr, Sensors());
        window_->SetInteractive(false);
    }
    void TearDown() override {
        window_.reset();
        station_->Close();
    }
    std::unique_ptr<CSensorSettings> Sensors() const {
        return std::make_unique<CSensorSettings>(
            std::make_unique<QSettings>(QString::fromStdString(dir_.File("v.conf")),
                                        QSettings::IniFormat));
    }
    // Refreshes until every tile shows a power (bounded).
    bool WaitForPowers() {
        for (int i = 0; i < 300; ++i) {
            window_->Refresh();
            bool all = true;
            for (const StationTileTexts& t : window_->View()->Tiles()->Tiles())
                all = all && t.power != "---";
            if (all)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    // The simulated meter that cannot be opened.
    static constexpr int kBroken = 4;
    // The first meter never acknowledges a write.
    bool deafFirst_ = false;
    testing::TempDir dir_;
    std::mutex driversLock_;
    std::map<int, CSimDriver*> drivers_;  // by simulated meter; owned by the station
    std::unique_ptr<station::Station> station_;
    std::unique_ptr<CStationWindow> window_;
};

TEST_F(StationWindowTest, TilesShowEveryMeterAndThePanelSetsOnlyItsOwn) {
    ASSERT_TRUE(WaitForPowers());
    const auto& tiles = window_->View()->Tiles()->Tiles();
    ASSERT_EQ(tiles.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(tiles[i].name, station_->MeterName(i));
    EXPECT_NE(window_->View()->CombinedText(), "---");

    CMeterPanelDialog* panel = window_->OpenPanel(1);
    ASSERT_NE(panel, nullptr);
    auto* offset = panel->findChild<QLineEdit*>("offset");
    ASSERT_NE(offset, nullptr);
    // What is not a number is refused, and nothing changes.
    offset->setText("12abc");
    EXPECT_FALSE(panel->ApplyMeasurement());
    EXPECT_NE(panel->Message().indexOf("12abc"), -1);
    EXPECT_FALSE(window_->Host().Model().Settings(1).offset_on);

    offset->setText("20");
    panel->findChild<QCheckBox*>("offsetOn")->setChecked(true);
    ASSERT_TRUE(panel->ApplyMeasurement());
    const remote::ChannelSettings after = window_->Host().Model().Settings(1);
    EXPECT_TRUE(after.offset_on);
    EXPECT_EQ(after.offset_db, 20.0);
    EXPECT_EQ(window_->Host().Model().Settings(0), remote::ChannelSettings{});
    EXPECT_EQ(window_->Host().Model().Settings(2), remote::ChannelSettings{});
    window_->Refresh();
    EXPECT_EQ(window_->View()->Tiles()->Tiles()[1].marks, "OFS");
    // A script's change shows in the open panel at once.
    remote::ChannelSettings scripted = after;
    scripted.offset_db = 7.5;
    ASSERT_EQ(window_->Host().Model().Apply(1, scripted).error, 0);
    window_->Refresh();
    EXPECT_EQ(offset->text(), "7.5");
    // The sensor keeps it: another window opening this meter starts with it.
    const auto kept = Sensors()->Load(CSensorSettings::KeyOf(station_->Meter(1)));
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->offset_db, 20.0);
    panel->close();
}

TEST_F(StationWindowTest, AnUnpluggedMeterSaysLostAndTheOthersGoOn) {
    ASSERT_TRUE(WaitForPowers());
    ASSERT_EQ(drivers_.size(), 3u);
    drivers_[2]->Unplug();
    const auto& tiles = window_->View()->Tiles()->Tiles();
    for (int i = 0; i < 500 && tiles[2].status.rfind("lost", 0) != 0; ++i) {
        std::this_thread::sleep_for(10ms);
        window_->Refresh();
    }
    EXPECT_EQ(tiles[2].status.rfind("lost", 0), 0u) << tiles[2].status;
    EXPECT_EQ(tiles[2].power, "---");
    for (int m : {0, 1}) {
        EXPECT_EQ(tiles[m].status, "connected");
        EXPECT_NE(tiles[m].power, "---");
    }
}

TEST_F(StationWindowTest, AMetersPanelWritesItsSetupToThatMeterOnly) {
    ASSERT_TRUE(WaitForPowers());
    CMeterPanelDialog* panel = window_->OpenPanel(0);
    ASSERT_NE(panel, nullptr);
    panel->findChild<QLineEdit*>("frequency")->setText("2400");
    panel->findChild<QLineEdit*>("cableLoss")->setText("1.5");
    EXPECT_TRUE(panel->WriteSetup()) << panel->Message().toStdString();
    EXPECT_EQ(station_->Meter(0).frequency_mhz, 2400);
    EXPECT_DOUBLE_EQ(station_->Meter(0).cable_loss_db, 1.5);
    EXPECT_NE(station_->Meter(1).frequency_mhz, 2400);
    // What is not a frequency is refused and nothing is written.
    panel->findChild<QLineEdit*>("frequency")->setText("24oo");
    EXPECT_FALSE(panel->WriteSetup());
    EXPECT_EQ(station_->Meter(0).frequency_mhz, 2400);
    panel->close();
}

class DeafMeterStationWindowTest : public StationWindowTest {
protected:
    DeafMeterStationWindowTest() { deafFirst_ = true; }
};

// Closing the panel (which deletes itself) or the window while a panel's setup
// waits for a meter that never answers: the wait ends at once, and what was
// closed goes once the write has returned, not from under it.
TEST_F(DeafMeterStationWindowTest, ClosingDuringAPanelsSetupEndsTheWaitFirst) {
    ASSERT_TRUE(WaitForPowers());
    window_->show();
    for (const bool closeWindow : {false, true}) {
        QPointer<CMeterPanelDialog> panel = window_->OpenPanel(0);
        ASSERT_FALSE(panel.isNull());
        panel->findChild<QLineEdit*>("frequency")->setText("2400");
        QWidget* closed = closeWindow ? static_cast<QWidget*>(window_.get()) : panel.data();
        QTimer::singleShot(300, closed, [closed] { closed->close(); });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(panel->WriteSetup());
        // The unanswered write would take 10 s.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        if (closeWindow)
            EXPECT_FALSE(window_->isVisible());
        else
            EXPECT_TRUE(panel.isNull());
    }
}

TEST_F(StationWindowTest, RemoteControlOnAPortInUseSaysSoAndTheWindowGoesOn) {
    // Another program holds a port.
    const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(taken, 1), 0);
    ASSERT_EQ(::getsockname(taken, reinterpret_cast<sockaddr*>(&a), &len), 0);
    const std::string listen = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    std::string error;
    EXPECT_FALSE(window_->StartRemote(listen, error));
    EXPECT_NE(error.find(listen), std::string::npos) << error;
    EXPECT_FALSE(window_->RemoteAction()->isChecked());
    ASSERT_TRUE(window_->StartRemote("127.0.0.1:0", error)) << error;
    EXPECT_TRUE(window_->RemoteAction()->isChecked());
    EXPECT_TRUE(window_->StatusText().startsWith("Remote control on 127.0.0.1:"));
    EXPECT_TRUE(WaitForPowers());
    ::close(taken);
}

TEST_F(StationWindowTest, WithoutAnAvahiDaemonTheWindowSaysSoOnceAndServesOn) {
    // A bus where nothing listens: no daemon to announce through.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/velquor-test-bus", 1);
    std::string error;
    ASSERT_TRUE(window_->StartRemote("127.0.0.1:0", error)) << error;
    const QString said = window_->statusBar()->currentMessage();
    EXPECT_TRUE(said.startsWith("DNS-SD: avahi-daemon cannot be reached")) << said.toStdString();
    EXPECT_TRUE(window_->AnnouncedName().empty());
    EXPECT_TRUE(window_->Host().Serving());
    // Refreshes do not say it again; turned off, nothing is tried.
    window_->statusBar()->clearMessage();
    window_->Refresh();
    EXPECT_TRUE(window_->statusBar()->currentMessage().isEmpty());
    window_->SetAnnounce(false);
    window_->StopRemote();
    ASSERT_TRUE(window_->StartRemote("127.0.0.1:0", error)) << error;
    EXPECT_FALSE(window_->statusBar()->currentMessage().startsWith("DNS-SD"));
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

TEST_F(StationWindowTest, Vxi11IsStartedAndStoppedFromTheOptionsMenu) {
#if VELQUOR_HAVE_VXI11
    std::string error;
    // The system's rpcbind is not the test's to change.
    ASSERT_TRUE(window_->StartVxi11(error, false)) << error;
    EXPECT_TRUE(window_->Vxi11Action()->isChecked());
    EXPECT_TRUE(window_->StatusText().startsWith("VXI-11 on 127.0.0.1:")) << window_->StatusText().toStdString();
    EXPECT_TRUE(window_->StatusText().contains("(not in rpcbind)"));
    window_->StopVxi11();
    EXPECT_FALSE(window_->Vxi11Action()->isChecked());
    EXPECT_FALSE(window_->Host().ServingVxi11());
    EXPECT_FALSE(window_->StatusText().contains("VXI-11"));
#else
    GTEST_SKIP() << "no VXI-11 in this build";
#endif
}

TEST_F(StationWindowTest, TheWebPageNamesTheRunningScpiPortAndStopsWithTheWindowsMenu) {
    std::string error;
    ASSERT_TRUE(window_->StartRemote("127.0.0.1:0", error)) << error;
    const std::string scpi = window_->Host().ServerAddress();
    ASSERT_TRUE(window_->StartWeb("127.0.0.1:0", error)) << error;
    EXPECT_TRUE(window_->WebAction()->isChecked());
    EXPECT_TRUE(window_->StatusText().contains("Web page on http://127.0.0.1:"));
    const std::string web = window_->WebAddress();
    ASSERT_EQ(web.rfind("127.0.0.1:", 0), 0u) << web;
    // A plain HTTP request on its own socket, as a browser would send it.
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(std::stoi(web.substr(10))));
    ASSERT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const timeval bound{5, 0};  // a server that never closes fails the test, not hangs it
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    const std::string request = "GET /lxi/identification HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    ASSERT_EQ(::send(s, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    std::string reply;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(s, buffer, sizeof buffer, 0)) > 0;)
        reply.append(buffer, static_cast<std::size_t>(n));
    ::close(s);
    EXPECT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << reply;
    EXPECT_NE(reply.find("TCPIP::127.0.0.1::" + scpi.substr(10) + "::SOCKET"), std::string::npos)
        << reply;
    window_->WebAction()->trigger();
    EXPECT_FALSE(window_->WebAction()->isChecked());
    EXPECT_TRUE(window_->WebAddress().empty());
    EXPECT_FALSE(window_->StatusText().contains("Web page"));
}

TEST_F(StationWindowTest, AnAddedMeterGetsATileALineItsKeptSettingsAndTheNextChannel) {
    // What a window kept for the sensor earlier applies to it once added.
    station::MeterInfo sensor;
    sensor.target = station::MeterTarget::Simulated(3);
    sensor.serial = station::SimulatedMeterModel(3).serial;
    remote::ChannelSettings kept;
    kept.average_on = true;
    kept.average_count = 4;
    ASSERT_EQ(Sensors()->Save(CSensorSettings::KeyOf(sensor), kept), CSensorSettings::Saved::Yes);
    std::string error;
    ASSERT_TRUE(window_->StartRemote("127.0.0.1:0", error)) << error;
    const std::string address = window_->Host().ServerAddress();
    remote::testing::TcpClient client(
        static_cast<std::uint16_t>(std::stoi(address.substr(address.rfind(':') + 1))));
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(WaitForPowers());

    const std::vector<station::MeterTarget> addable = window_->AddableTargets(error);
    ASSERT_EQ(addable.size(), static_cast<std::size_t>(station::kMaxSimulatedMeters - 3));
    EXPECT_EQ(addable.front(), station::MeterTarget::Simulated(3));
    ASSERT_TRUE(window_->AddMeter(addable.front(), error)) << error;

    ASSERT_TRUE(WaitForPowers());
    const auto& tiles = window_->View()->Tiles()->Tiles();
    ASSERT_EQ(tiles.size(), 4u);
    EXPECT_EQ(tiles[3].name, sensor.serial);
    EXPECT_EQ(tiles[3].marks, "AVG 4");
    EXPECT_EQ(window_->View()->Trace().Meters(), 4u);
    for (int i = 0; i < 300 && window_->View()->Trace().Series(3).empty(); ++i) {
        std::this_thread::sleep_for(10ms);
        window_->Refresh();
    }
    EXPECT_FALSE(window_->View()->Trace().Series(3).empty());
    EXPECT_EQ(window_->View()->CombineB()->count(), 4);
    EXPECT_EQ(window_->windowTitle(), QString("%1 - 4 meters").arg(kAppTitle));

    // The client connected before sees the new channel; the first three are as they were.
    ASSERT_TRUE(client.Send("SYST:CHAN:COUN?;:SYST:CHAN4:NAME?;:SENS4:AVER:COUN?;:SYST:CHAN1:NAME?\n"));
    EXPECT_EQ(client.ReadLine(), "4;\"" + sensor.serial + "\";4;\"" + station_->MeterName(0) + "\"");
    ASSERT_TRUE(client.Send("FETC? (@4)\n"));
    const std::string power = client.ReadLine();
    EXPECT_LT(std::stod(power), 0.0) << power;

    // Its panel works as the others'.
    CMeterPanelDialog* panel = window_->OpenPanel(3);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowTitle().toStdString(), sensor.serial);
    panel->close();

    // One that cannot be opened says why, and nothing changes.
    EXPECT_FALSE(window_->AddMeter(station::MeterTarget::Simulated(kBroken), error));
    EXPECT_EQ(error.rfind("simulated meter 5 could not be opened: ", 0), 0u) << error;
    EXPECT_EQ(station_->MeterCount(), 4u);
    window_->Refresh();
    EXPECT_EQ(tiles.size(), 4u);
    ASSERT_TRUE(client.Send("SYST:CHAN:COUN?\n"));
    EXPECT_EQ(client.ReadLine(), "4");
    // The next one added is channel 5.
    ASSERT_TRUE(window_->AddMeter(station::MeterTarget::Simulated(5), error)) << error;
    ASSERT_TRUE(client.Send("SYST:CHAN5:NAME?\n"));
    EXPECT_EQ(client.ReadLine(), "\"" + station::SimulatedMeterModel(5).serial + "\"");
}

TEST(SensorSettings, AnotherWindowsSaveIsNotOverwrittenSilently) {
    testing::TempDir dir;
    auto open = [&] {
        return CSensorSettings(std::make_unique<QSettings>(QString::fromStdString(dir.File("s.conf")),
                                                           QSettings::IniFormat));
    };
    CSensorSettings first = open();
    CSensorSettings second = open();
    remote::ChannelSettings s;
    s.offset_on = true;
    s.offset_db = 10.0;
    EXPECT_FALSE(first.Load("path /dev/serial/by-id/x").has_value());
    using Saved = CSensorSettings::Saved;
    EXPECT_EQ(first.Save("path /dev/serial/by-id/x", s), Saved::Yes);
    EXPECT_TRUE(second.Load("path /dev/serial/by-id/x").has_value());
    s.offset_db = 11.0;
    EXPECT_EQ(second.Save("path /dev/serial/by-id/x", s), Saved::Yes);
    s.offset_db = 12.0;
    EXPECT_EQ(first.Save("path /dev/serial/by-id/x", s), Saved::ReplacedOther);
    EXPECT_EQ(open().Load("path /dev/serial/by-id/x")->offset_db, 12.0);
    // A file that cannot be written is told, not taken for kept.
    CSensorSettings nowhere(std::make_unique<QSettings>("/proc/version/x.conf", QSettings::IniFormat));
    EXPECT_EQ(nowhere.Save("OV1", s), Saved::No);
    EXPECT_NE(nowhere.Problem().find("/proc/version/x.conf"), std::string::npos);
}

}  // namespace
}  // namespace velquor
