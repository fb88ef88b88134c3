// A station served while another front end (the window) reads and sets the same
// measurement settings.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "remote/station_host.h"
#include "station/station_test_support.h"
#include "tcp_client.h"

namespace velquor::remote {
namespace {

using namespace std::chrono_literals;

class StationHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        station_ = std::make_unique<station::Station>(station::testing::FastOptions());
        std::vector<std::string> errors;
        ASSERT_TRUE(station_->Open(
            {station::MeterTarget::Simulated(0), station::MeterTarget::Simulated(1)}, false, errors));
        host_ = std::make_unique<StationHost>(*station_);
    }
    void TearDown() override {
        host_->Stop();
        station_->Close();
    }
    // Waits (bounded) until the channel has a reading.
    bool WaitForReading(std::size_t ch) {
        for (int i = 0; i < 300 && !host_->Model().View(ch).has_reading; ++i)
            std::this_thread::sleep_for(10ms);
        return host_->Model().View(ch).has_reading;
    }

    std::unique_ptr<station::Station> station_;
    std::unique_ptr<StationHost> host_;
};

TEST_F(StationHostTest, AScriptAndTheWindowShareOneSetOfSettings) {
    ServerOptions options;
    options.port = 0;
    std::string error;
    ASSERT_TRUE(host_->StartServer(options, error)) << error;
    EXPECT_EQ(host_->ServerAddress(), "127.0.0.1:" + std::to_string(
                                          std::stoi(host_->ServerAddress().substr(10))));
    ASSERT_TRUE(WaitForReading(1));
    testing::TcpClient client(static_cast<std::uint16_t>(std::stoi(host_->ServerAddress().substr(10))));
    ASSERT_TRUE(client.Connected());
    // The script's offset shows in what the window reads...
    ASSERT_TRUE(client.Send("SENS2:CORR:OFFS 20;:SENS2:CORR:OFFS:STAT ON;*OPC?\n"));
    EXPECT_EQ(client.ReadLine(), "1");
    const ChannelView seen = host_->Model().View(1);
    EXPECT_TRUE(seen.settings.offset_on);
    EXPECT_EQ(seen.settings.offset_db, 20.0);
    EXPECT_EQ(host_->Clients(), 1u);
    // ...and the window's averaging shows to the script.
    ChannelSettings s = host_->Model().Settings(0);
    s.average_on = true;
    s.average_count = 8;
    ASSERT_EQ(host_->Model().Apply(0, s).error, 0);
    ASSERT_TRUE(client.Send("SENS1:AVER:COUN?\n"));
    EXPECT_EQ(client.ReadLine(), "8");
    host_->StopServer();
    EXPECT_FALSE(host_->Serving());
    EXPECT_EQ(host_->Lost(), 0u);
    EXPECT_GT(host_->Taken(), 0u);
}

TEST_F(StationHostTest, AMeterAddedWhileServingIsTheNextChannelAndTheOthersKeepTheirs) {
    ServerOptions options;
    options.port = 0;
    std::string error;
    ASSERT_TRUE(host_->StartServer(options, error)) << error;
    testing::TcpClient client(static_cast<std::uint16_t>(std::stoi(host_->ServerAddress().substr(10))));
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send("SENS2:CORR:OFFS 20;:SENS2:CORR:OFFS:STAT ON;:SYST:CHAN:COUN?\n"));
    EXPECT_EQ(client.ReadLine(), "2");
    ASSERT_TRUE(client.Send("FETC? (@3)\nSYST:ERR?\n"));
    EXPECT_EQ(client.ReadLine().rfind("-222,", 0), 0u);

    // The client stays connected and asks all along, as a script would.
    std::atomic<bool> done{false};
    std::thread script([&] {
        while (!done.load() && client.Send("SYST:CHAN:COUN?;:SYST:CHAN2:NAME?\n"))
            (void)client.ReadLine();
    });
    const auto added =
        station_->AddAndConnect(station::MeterTarget::Simulated(2), station::SequenceFront{}, error);
    ASSERT_EQ(added, std::optional<std::size_t>(2)) << error;
    EXPECT_EQ(host_->AddMeter(), 2u);
    ASSERT_TRUE(WaitForReading(2));
    done = true;
    script.join();

    ASSERT_TRUE(client.Send("SYST:CHAN:COUN?;:SYST:CHAN3:NAME?;:SENS2:CORR:OFFS?;:FETC? (@3)\n"));
    const std::string reply = client.ReadLine();
    EXPECT_EQ(reply.rfind("3;\"OV227702\";2.000000E+01;", 0), 0u) << reply;
    // The new channel's power (the simulated meter's offset is -30 dB).
    const double power = std::stod(reply.substr(reply.rfind(';') + 1));
    EXPECT_LT(power, -10.0) << reply;
    ASSERT_TRUE(client.Send("SYST:ERR?\n"));
    EXPECT_EQ(client.ReadLine().rfind("0,", 0), 0u);
    // Its settings are its own and start from *RST.
    EXPECT_EQ(host_->Model().Settings(2), ChannelSettings{});
    EXPECT_EQ(host_->Lost(), 0u);
}

TEST_F(StationHostTest, APortInUseIsRefusedByNameAndTheMetersGoOn) {
    ServerOptions first;
    first.port = 0;
    std::string error;
    ASSERT_TRUE(host_->StartServer(first, error)) << error;
    const auto port = static_cast<std::uint16_t>(std::stoi(host_->ServerAddress().substr(10)));
    StationHost second(*station_);
    ServerOptions same;
    same.port = port;
    EXPECT_FALSE(second.StartServer(same, error));
    EXPECT_NE(error.find(std::to_string(port)), std::string::npos) << error;
    EXPECT_FALSE(second.Serving());
    // Moving the running server to a port another holds leaves it where it was.
    ServerOptions any;
    any.port = 0;
    ASSERT_TRUE(second.StartServer(any, error)) << error;
    const std::string before = host_->ServerAddress();
    ServerOptions busy;
    busy.port = static_cast<std::uint16_t>(std::stoi(second.ServerAddress().substr(10)));
    EXPECT_FALSE(host_->StartServer(busy, error));
    EXPECT_EQ(host_->ServerAddress(), before);
    second.Stop();
    EXPECT_TRUE(host_->Serving());
    EXPECT_TRUE(WaitForReading(0));
}

}  // namespace
}  // namespace velquor::remote
