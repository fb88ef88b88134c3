// VISA's INSTR resource: a VXI-11 client made from the same RPC definitions drives
// simulated meters through the server on loopback, with the port given (no rpcbind).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <rpc/rpc.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "remote/station_host.h"
#include "remote/vxi11_server.h"
#include "station/station_test_support.h"
#include "vxi11.h"

namespace velquor::remote {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// One RPC connection to the core channel.
class Vxi11Client {
public:
    explicit Vxi11Client(std::uint16_t port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int sock = RPC_ANYSOCK;
        client_ = clnttcp_create(&a, kVxi11CoreProgram, kVxi11CoreVersion, &sock, 0, 0);
        if (client_ != nullptr) {
            timeval t{10, 0};
            clnt_control(client_, CLSET_TIMEOUT, reinterpret_cast<char*>(&t));
        }
    }
    ~Vxi11Client() {
        if (client_ != nullptr)
            clnt_destroy(client_);
    }
    bool Connected() const { return client_ != nullptr; }

    // The link's error, or -1 when the call itself failed.
    int Link(const char* device, long& lid) {
        Create_LinkParms in{};
        in.device = const_cast<char*>(device);
        in.lock_timeout = 0;
        Create_LinkResp out{};
        if (create_link_1(&in, &out, client_) != RPC_SUCCESS)
            return -1;
        lid = out.lid;
        max_recv = out.maxRecvSize;
        return static_cast<int>(out.error);
    }
    int Write(long lid, std::string data, bool end = true) {
        Device_WriteParms in{};
        in.lid = lid;
        in.io_timeout = 1000;
        in.flags = end ? vxi11flag::kEnd : 0;
        in.data.data_len = static_cast<u_int>(data.size());
        in.data.data_val = data.data();
        Device_WriteResp out{};
        if (device_write_1(&in, &out, client_) != RPC_SUCCESS)
            return -1;
        return out.error == 0 && out.size != data.size() ? -2 : static_cast<int>(out.error);
    }
    struct ReadResult {
        int error = -1;
        long reason = 0;
        std::string data;
    };
    ReadResult Read(long lid, unsigned long request = 1024, unsigned long timeout_ms = 2000) {
        Device_ReadParms in{};
        in.lid = lid;
        in.requestSize = request;
        in.io_timeout = timeout_ms;
        Device_ReadResp out{};
        ReadResult r;
        if (device_read_1(&in, &out, client_) != RPC_SUCCESS)
            return r;
        r.error = static_cast<int>(out.error);
        r.reason = out.reason;
        r.data.assign(out.data.data_val != nullptr ? out.data.data_val : "", out.data.data_len);
        xdr_free(reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(xdr_Device_ReadResp)),
                 reinterpret_cast<char*>(&out));
        return r;
    }
    // The status byte, or -1 - the error.
    int Stb(long lid) {
        Device_GenericParms in{lid, 0, 0, 1000};
        Device_ReadStbResp out{};
        if (device_readstb_1(&in, &out, client_) != RPC_SUCCESS)
            return -100;
        return out.error != 0 ? -1 - static_cast<int>(out.error) : out.stb;
    }
    int Clear(long lid) {
        Device_GenericParms in{lid, 0, 0, 1000};
        Device_Error out{};
        return device_clear_1(&in, &out, client_) == RPC_SUCCESS ? static_cast<int>(out.error) : -1;
    }
    int Trigger(long lid) {
        Device_GenericParms in{lid, 0, 0, 1000};
        Device_Error out{};
        return device_trigger_1(&in, &out, client_) == RPC_SUCCESS ? static_cast<int>(out.error)
                                                                   : -1;
    }
    int Lock(long lid) {
        Device_LockParms in{lid, 0, 0};
        Device_Error out{};
        return device_lock_1(&in, &out, client_) == RPC_SUCCESS ? static_cast<int>(out.error) : -1;
    }
    int Destroy(long lid) {
        Device_Error out{};
        return destroy_link_1(&lid, &out, client_) == RPC_SUCCESS ? static_cast<int>(out.error)
                                                                  : -1;
    }
    unsigned long max_recv = 0;

private:
    CLIENT* client_ = nullptr;
};

class Vxi11ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Real timings: with the fast test timings the second simulated meter is
        // reported lost about a second in, which this test outlives.
        station_ = std::make_unique<station::Station>(station::StationOptions{});
        std::vector<std::string> errors;
        ASSERT_TRUE(station_->Open(
            {station::MeterTarget::Simulated(0), station::MeterTarget::Simulated(1)}, false, errors));
        host_ = std::make_unique<StationHost>(*station_);
        Vxi11Options options;
        // The system's rpcbind is not the test's to change.
        options.register_portmap = false;
        server_ = std::make_unique<Vxi11Server>(host_->Model(), options);
        std::string error;
        ASSERT_TRUE(server_->Start(error)) << error;
        ASSERT_NE(server_->Port(), 0);
    }
    void TearDown() override {
        server_->Stop();
        host_->Stop();
        station_->Close();
    }
    bool WaitForReading(std::size_t ch) {
        for (int i = 0; i < 300 && !host_->Model().View(ch).has_reading; ++i)
            std::this_thread::sleep_for(10ms);
        return host_->Model().View(ch).has_reading;
    }

    std::unique_ptr<station::Station> station_;
    std::unique_ptr<StationHost> host_;
    std::unique_ptr<Vxi11Server> server_;
};

TEST_F(Vxi11ServerTest, AVisaSessionAsksReadsClearsAndCloses) {
    Vxi11Client c(server_->Port());
    ASSERT_TRUE(c.Connected());
    long lid = 0;
    ASSERT_EQ(c.Link("inst0", lid), vxi11err::kNone);
    EXPECT_GT(c.max_recv, 0u);
    EXPECT_EQ(server_->Links(), 1u);

    // END closes the command as a LF does on the socket.
    ASSERT_EQ(c.Write(lid, "*IDN?"), 0);
    EXPECT_EQ(c.Stb(lid) & 0x10, 0x10);  // MAV: the reply waits
    auto r = c.Read(lid);
    ASSERT_EQ(r.error, 0);
    EXPECT_EQ(r.data.rfind("VELQUOR,", 0), 0u) << r.data;
    EXPECT_EQ(r.data.back(), '\n');
    EXPECT_EQ(r.reason & vxi11flag::kReasonEnd, vxi11flag::kReasonEnd);
    EXPECT_EQ(c.Stb(lid) & 0x10, 0);

    ASSERT_TRUE(WaitForReading(1));
    ASSERT_EQ(c.Write(lid, "FETC2?\n"), 0);
    r = c.Read(lid);
    ASSERT_EQ(r.error, 0);
    std::size_t used = 0;
    const double power = std::stod(r.data, &used);
    EXPECT_LT(power, 30.0);
    EXPECT_EQ(r.data.substr(used), "\n");

    // A command in two writes runs once the second brings END; a small
    // requestSize hands the reply out in pieces.
    ASSERT_EQ(c.Write(lid, "SYST:CHAN:COUN", false), 0);
    EXPECT_EQ(c.Read(lid, 1024, 100).error, vxi11err::kTimeout);
    ASSERT_EQ(c.Write(lid, "?"), 0);
    r = c.Read(lid, 1);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.data, "2");
    EXPECT_EQ(r.reason, vxi11flag::kReasonRequestCount);
    r = c.Read(lid, 1);
    EXPECT_EQ(r.data, "\n");
    EXPECT_EQ(r.reason, vxi11flag::kReasonEnd);

    // A device clear drops the unread reply but keeps the error queue.
    ASSERT_EQ(c.Write(lid, "BOGUS:CMD"), 0);
    ASSERT_EQ(c.Write(lid, "*IDN?"), 0);
    ASSERT_EQ(c.Clear(lid), 0);
    EXPECT_EQ(c.Stb(lid) & 0x10, 0);
    EXPECT_EQ(c.Stb(lid) & 0x04, 0x04);  // EAV
    ASSERT_EQ(c.Write(lid, "SYST:ERR?"), 0);
    r = c.Read(lid);
    EXPECT_EQ(r.data.rfind("-113,", 0), 0u) << r.data;

    // Nothing pending: the read ends with the time-out code within io_timeout.
    const auto before = Clock::now();
    r = c.Read(lid, 1024, 300);
    const auto took = Clock::now() - before;
    EXPECT_EQ(r.error, vxi11err::kTimeout);
    EXPECT_TRUE(r.data.empty());
    EXPECT_GE(took, 280ms);
    EXPECT_LT(took, 800ms);

    // A trigger is *TRG; its result is what FETCh? then gives.
    ASSERT_EQ(c.Trigger(lid), 0);
    ASSERT_EQ(c.Write(lid, "*OPC?;FETC1?"), 0);
    r = c.Read(lid);
    EXPECT_EQ(r.data.rfind("1;", 0), 0u) << r.data;
    ASSERT_EQ(c.Write(lid, "SYST:ERR?"), 0);
    r = c.Read(lid);
    EXPECT_EQ(r.data.rfind("0,", 0), 0u) << r.data;

    EXPECT_EQ(c.Destroy(lid), 0);
    EXPECT_EQ(server_->Links(), 0u);
    EXPECT_EQ(c.Write(lid, "*IDN?"), vxi11err::kInvalidLink);
    EXPECT_EQ(c.Destroy(lid), vxi11err::kInvalidLink);
}

TEST_F(Vxi11ServerTest, WhatIsNotServedIsRefusedWithItsCode) {
    Vxi11Client c(server_->Port());
    ASSERT_TRUE(c.Connected());
    long lid = 0;
    EXPECT_EQ(c.Link("inst1", lid), vxi11err::kDeviceNotAccessible);
    EXPECT_EQ(c.Link("gpib0,5", lid), vxi11err::kDeviceNotAccessible);
    ASSERT_EQ(c.Link("INST0", lid), vxi11err::kNone);
    EXPECT_EQ(c.Lock(lid), vxi11err::kNotSupported);
    EXPECT_EQ(c.Stb(lid + 100), -1 - vxi11err::kInvalidLink);
    // A trigger cannot join a command still being written.
    ASSERT_EQ(c.Write(lid, "*CLS", false), 0);
    EXPECT_EQ(c.Trigger(lid), vxi11err::kParameter);
    ASSERT_EQ(c.Write(lid, ";*OPC?"), 0);
    EXPECT_EQ(c.Read(lid).data, "1\n");
}

TEST_F(Vxi11ServerTest, OneHostCannotTakeEveryLink) {
    server_->Stop();
    Vxi11Options options;
    options.register_portmap = false;
    options.max_links_per_peer = 2;
    options.limit_loopback = true;  // the test's only peer is this machine
    server_ = std::make_unique<Vxi11Server>(host_->Model(), options);
    std::string error;
    ASSERT_TRUE(server_->Start(error)) << error;
    // Two connections at once: the second one's accept once broke the server.
    Vxi11Client a(server_->Port());
    Vxi11Client b(server_->Port());
    ASSERT_TRUE(a.Connected() && b.Connected());
    long first = 0, second = 0, third = 0;
    ASSERT_EQ(a.Link("inst0", first), vxi11err::kNone);
    ASSERT_EQ(b.Link("inst0", second), vxi11err::kNone);
    EXPECT_EQ(a.Link("inst0", third), vxi11err::kOutOfResources);
    ASSERT_EQ(a.Destroy(first), vxi11err::kNone);
    EXPECT_EQ(b.Link("inst0", third), vxi11err::kNone);
}

TEST_F(Vxi11ServerTest, AClientGoneWithoutDestroyLosesItsLinkAndStopIsBounded) {
    {
        Vxi11Client gone(server_->Port());
        long lid = 0;
        ASSERT_EQ(gone.Link("inst0", lid), 0);
        ASSERT_EQ(gone.Write(lid, "*IDN?"), 0);  // a reply never read
    }
    for (int i = 0; i < 100 && server_->Links() != 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(server_->Links(), 0u);

    // A read waiting for ten seconds does not hold Stop.
    Vxi11Client waiting(server_->Port());
    long lid = 0;
    ASSERT_EQ(waiting.Link("inst0", lid), 0);
    int error = 0;
    std::thread reader([&] { error = waiting.Read(lid, 1024, 10000).error; });
    std::this_thread::sleep_for(100ms);
    const auto before = Clock::now();
    server_->Stop();
    EXPECT_LT(Clock::now() - before, 1500ms);
    reader.join();
    EXPECT_NE(error, vxi11err::kNone);

    // The port is free again for the next server in this program.
    Vxi11Server next(host_->Model(),
                     Vxi11Options{.address = "127.0.0.1", .register_portmap = false});
    std::string why;
    EXPECT_TRUE(next.Start(why)) << why;
}

TEST_F(Vxi11ServerTest, OneServerPerProgramAndABadAddressAreToldByName) {
    Vxi11Server second(host_->Model(),
                       Vxi11Options{.address = "127.0.0.1", .register_portmap = false});
    std::string error;
    EXPECT_FALSE(second.Start(error));
    EXPECT_NE(error.find("another VXI-11 server"), std::string::npos) << error;
    server_->Stop();
    Vxi11Server bad(host_->Model(),
                    Vxi11Options{.address = "not-an-address", .register_portmap = false});
    EXPECT_FALSE(bad.Start(error));
    EXPECT_NE(error.find("not-an-address"), std::string::npos) << error;
    // The refused one gave the place back.
    Vxi11Server good(host_->Model(),
                     Vxi11Options{.address = "127.0.0.1", .register_portmap = false});
    EXPECT_TRUE(good.Start(error)) << error;
}

TEST_F(Vxi11ServerTest, TheStationHostServesTheWindowsSettingsOverVxi11) {
    server_->Stop();
    Vxi11Options options;
    options.register_portmap = false;
    std::string error;
    ASSERT_TRUE(host_->StartVxi11(options, error)) << error;
    EXPECT_TRUE(host_->ServingVxi11());
    EXPECT_FALSE(host_->Vxi11Registered());
    EXPECT_FALSE(host_->Vxi11Note().empty());
    const std::string address = host_->Vxi11Address();
    ASSERT_EQ(address.rfind("127.0.0.1:", 0), 0u) << address;
    Vxi11Client c(static_cast<std::uint16_t>(std::stoi(address.substr(10))));
    long lid = 0;
    ASSERT_EQ(c.Link("inst0", lid), 0);
    ASSERT_EQ(c.Write(lid, "SENS2:CORR:OFFS 20;:SENS2:CORR:OFFS:STAT ON;*OPC?"), 0);
    EXPECT_EQ(c.Read(lid).data, "1\n");
    EXPECT_TRUE(host_->Model().Settings(1).offset_on);
    EXPECT_EQ(host_->Model().Settings(1).offset_db, 20.0);
    host_->Stop();
    EXPECT_FALSE(host_->ServingVxi11());
    EXPECT_EQ(c.Write(lid, "*IDN?"), -1);  // the connection is gone
}

}  // namespace
}  // namespace velquor::remote
