// The server as clients meet it on loopback: separate queues over shared settings,
// the client limit, and clients that misbehave without costing the others.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "remote/tcp_server.h"
#include "remote_test_support.h"
#include "tcp_client.h"

namespace velquor::remote {
namespace {

using namespace std::chrono_literals;
using testing::FakeBackend;
using testing::TcpClient;

class Served : public ::testing::Test {
protected:
    void Start(ServerOptions o = {}) {
        o.port = 0;
        server = std::make_unique<TcpServer>(inst, o);
        std::string error;
        ASSERT_TRUE(server->Start(error)) << error;
    }
    std::unique_ptr<TcpClient> Connect(int receiveBuffer = 0) {
        return std::make_unique<TcpClient>(server->Port(), receiveBuffer);
    }
    void Feed(double dbm) {
        station::Reading r;
        r.power_dbm = dbm;
        r.steady_ns = std::chrono::steady_clock::now().time_since_epoch().count();
        inst.OnReading(r);
    }

    FakeBackend backend{1};
    Instrument inst{backend};
    std::unique_ptr<TcpServer> server;
};

TEST_F(Served, ClientsShareSettingsButNotErrorsOrReplies) {
    Start();
    auto a = Connect();
    auto b = Connect();
    EXPECT_EQ(a->Ask("*IDN?"), "VELQUOR,RA,OV227700," VELQUOR_TEST_VERSION);
    a->Send("AVER:COUN 4\r\nNOSUCH\n");
    // Two connections are not ordered: b asks once a's setting has run.
    EXPECT_EQ(a->Ask("*OPC?"), "1");
    EXPECT_EQ(b->Ask("AVER:COUN?"), "4");
    EXPECT_EQ(b->Ask("SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(a->Ask("SYST:ERR?"), "-113,\"Undefined header;NOSUCH\"");
    Feed(-12.5);
    EXPECT_EQ(b->Ask("FETC?;*OPC?"), "-1.250000E+01;1");
}

TEST_F(Served, ANinthClientIsToldWhyAndClosed) {
    ServerOptions o;
    o.max_clients = 8;
    Start(o);
    std::vector<std::unique_ptr<TcpClient>> eight;
    for (int i = 0; i < 8; ++i) {
        eight.push_back(Connect());
        EXPECT_EQ(eight.back()->Ask("*OPC?"), "1");
    }
    auto ninth = Connect();
    EXPECT_EQ(ninth->ReadLine(),
              "-300,\"Device-specific error;too many clients; 8 are connected\"");
    EXPECT_TRUE(ninth->ClosedWithin(2s));
    EXPECT_EQ(server->Counters().refused, 1u);
    eight.front().reset();  // a place comes free
    for (int i = 0; i < 100 && server->Clients() > 7; ++i)
        std::this_thread::sleep_for(10ms);
    auto again = Connect();
    EXPECT_EQ(again->Ask("*OPC?"), "1");
}

TEST_F(Served, OneHostHoldsAtMostItsShareAndARefusedScriptReadsWhy) {
    ServerOptions o;
    o.max_clients_per_peer = 2;
    o.limit_loopback = true;  // every test client is on loopback
    Start(o);
    auto first = Connect();
    auto second = Connect();
    EXPECT_EQ(second->Ask("*OPC?"), "1");
    // A script whose first query is on its way reads the reason as the reply.
    auto third = Connect();
    EXPECT_EQ(third->Ask("*IDN?"),
              "-300,\"Device-specific error;too many clients from 127.0.0.1; 2 per host\"");
    EXPECT_TRUE(third->ClosedWithin(2s));
    EXPECT_EQ(server->Counters().refused_peer, 1u);
    first.reset();
    for (int i = 0; i < 100 && server->Clients() > 1; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(Connect()->Ask("*OPC?"), "1");
}

TEST(ServerPeers, ClientsOnThisMachineCountOnlyAgainstTheTotal) {
    FakeBackend backend{1};
    Instrument inst{backend};
    ServerOptions o;
    o.port = 0;
    o.max_clients_per_peer = 1;
    TcpServer server(inst, o);
    std::string error;
    ASSERT_TRUE(server.Start(error)) << error;
    TcpClient a(server.Port());
    TcpClient b(server.Port());
    EXPECT_EQ(a.Ask("*OPC?"), "1");
    EXPECT_EQ(b.Ask("*OPC?"), "1");
}

TEST_F(Served, AClientThatNeverReadsIsDroppedWhileAnotherIsServed) {
    ServerOptions o;
    o.max_output_bytes = 64 * 1024;
    Start(o);
    auto reader = Connect();
    auto hog = Connect(4096);
    // Each line asks for about 20 KB of replies; the hog reads none of them.
    std::string line;
    while (line.size() < 4000)
        line += "*IDN?;";
    line += "*OPC?\n";
    std::atomic<bool> dropped{false};
    std::thread flood([&] {
        for (int i = 0; i < 20000 && !dropped; ++i)
            dropped = !hog->Send(line);
    });
    Feed(-3.0);
    int served = 0;
    for (int i = 0; i < 200 && server->Counters().output_drops == 0; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(reader->Ask("FETC?"), "-3.000000E+00");
        // Generous for a loaded machine; a stalled server would take the whole flood.
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);
        ++served;
        std::this_thread::sleep_for(5ms);
    }
    for (int i = 0; i < 500 && server->Counters().output_drops == 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(server->Counters().output_drops, 1u);
    dropped = true;
    hog->Shutdown();
    flood.join();
    EXPECT_GT(served, 0);
    EXPECT_EQ(reader->Ask("*OPC?"), "1");
}

TEST_F(Served, ADroppedClientsQueuedCommandsDoNotRun) {
    ServerOptions o;
    o.max_output_bytes = 100;
    Start(o);
    auto watcher = Connect();
    auto hog = Connect();
    // The first line's reply is over the limit; the lines after it arrive with it.
    std::string flood;
    for (int i = 0; i < 10; ++i)
        flood += "*IDN?;";
    hog->Send(flood + "*OPC?\nAVER:COUN 16\nFREQ 1GHZ\n");
    EXPECT_TRUE(hog->ClosedWithin(2s));
    EXPECT_EQ(server->Counters().output_drops, 1u);
    EXPECT_EQ(watcher->Ask("AVER:COUN?"), "1");
    EXPECT_TRUE(backend.writes.empty());
}

TEST_F(Served, HostileInputCostsOnlyItsSender) {
    Start();
    auto bystander = Connect();
    auto hostile = Connect();
    std::string junk;
    for (int i = 0; i < 200000; ++i)
        junk += static_cast<char>((i * 7919) % 256);
    hostile->Send(junk);
    hostile->Send(std::string(100000, 'X') + "\n");
    hostile->Send("\"unterminated;#9999999;((((;*IDN?\n");
    EXPECT_EQ(bystander->Ask("*OPC?"), "1");
    EXPECT_EQ(bystander->Ask("SYST:ERR:COUN?"), "0");
    // Its own errors are queued, in order, and it is still served.
    EXPECT_EQ(hostile->Ask("*OPC?"), "1");
    EXPECT_NE(hostile->Ask("SYST:ERR:COUN?"), "0");
    // Half a line and gone.
    auto quitter = Connect();
    quitter->Send("READ?;*IDN");
    quitter.reset();
    EXPECT_EQ(bystander->Ask("*IDN?"), "VELQUOR,RA,OV227700," VELQUOR_TEST_VERSION);
}

TEST_F(Served, AClientThatStopsSendingStillGetsItsReplies) {
    Start();
    auto piped = Connect();
    piped->Send("READ?\n*OPC?\n");
    piped->EndSending();
    std::this_thread::sleep_for(100ms);  // the end of input reaches the server first
    Feed(-7.5);
    EXPECT_EQ(piped->ReadLine(), "-7.500000E+00");
    EXPECT_EQ(piped->ReadLine(), "1");
    EXPECT_TRUE(piped->ClosedWithin(2s));
}

TEST_F(Served, IdleClientsAreDroppedAndBusyOnesKept) {
    ServerOptions o;
    o.idle_timeout = 300ms;
    Start(o);
    auto idle = Connect();
    auto busy = Connect();
    auto waiting = Connect();
    waiting->Send("READ?\n");  // no readings come: a command still running is not idleness
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(busy->Ask("*OPC?"), "1");
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(idle->ClosedWithin(2s));
    EXPECT_EQ(busy->Ask("*OPC?"), "1");
    Feed(-1.0);
    EXPECT_EQ(waiting->ReadLine(), "-1.000000E+00");
    EXPECT_EQ(server->Counters().idle_drops, 1u);
}

TEST_F(Served, StopClosesEveryConnectionPromptly) {
    Start();
    auto a = Connect();
    auto b = Connect();
    b->Send("READ?\n");
    EXPECT_EQ(a->Ask("*OPC?"), "1");
    const auto t0 = std::chrono::steady_clock::now();
    server->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
    EXPECT_TRUE(a->ClosedWithin(1s));
    EXPECT_TRUE(b->ClosedWithin(1s));
}

TEST(ServerStart, ListenAddressesAreCheckedWhole) {
    const struct {
        const char* text;
        const char* address;  // nullptr: refused
        std::uint16_t port;
    } cases[] = {
        {"127.0.0.1:5025", "127.0.0.1", 5025},
        {"[::1]:0", "::1", 0},
        {"localhost:65535", "localhost", 65535},
        {"0.0.0.0:65536", nullptr, 0},
        {"127.0.0.1", nullptr, 0},
        {":5025", nullptr, 0},
        {"127.0.0.1:50x5", nullptr, 0},
        {"127.0.0.1:", nullptr, 0},
        {"[::1]]:1", nullptr, 0},
    };
    for (const auto& c : cases) {
        std::string address, error;
        std::uint16_t port = 1;
        EXPECT_EQ(ParseListenAddress(c.text, address, port, error), c.address != nullptr) << c.text;
        if (c.address != nullptr) {
            EXPECT_EQ(address, c.address);
            EXPECT_EQ(port, c.port);
        } else {
            EXPECT_NE(error.find(c.text), std::string::npos) << error;
        }
    }
}

TEST(ServerStart, ABadAddressOrABusyPortIsAClearError) {
    FakeBackend backend{1};
    Instrument inst{backend};
    ServerOptions o;
    o.address = "not an address";
    std::string error;
    EXPECT_FALSE(TcpServer(inst, o).Start(error));
    EXPECT_NE(error.find("not an address"), std::string::npos) << error;
    o.address = "127.0.0.1";
    o.port = 0;
    TcpServer first(inst, o);
    ASSERT_TRUE(first.Start(error));
    o.port = first.Port();
    TcpServer second(inst, o);
    EXPECT_FALSE(second.Start(error));
    EXPECT_NE(error.find(std::to_string(o.port)), std::string::npos) << error;
}

}  // namespace
}  // namespace velquor::remote
