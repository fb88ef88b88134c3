#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "remote/instrument.h"

namespace velquor::remote {

inline constexpr std::uint16_t kDefaultScpiPort = 5025;

struct ServerOptions {
    std::string address = "127.0.0.1";
    std::uint16_t port = kDefaultScpiPort;  // 0 picks a free port (tests)
    std::size_t max_clients = 8;
    // Connections one peer address may hold, so that one host on the network (a
    // script that never closes) cannot take every place. Clients on this machine
    // (loopback) count only against max_clients unless limit_loopback is set.
    std::size_t max_clients_per_peer = 4;
    bool limit_loopback = false;
    // How long a refused client's input is read and thrown away after it was told
    // why, so that what it sent meanwhile does not turn the close into a reset
    // that loses the explanation.
    std::chrono::milliseconds refusal_linger{1000};
    // A client that sends nothing for this long (and waits for nothing) is
    // dropped; zero keeps idle clients for ever.
    std::chrono::milliseconds idle_timeout{std::chrono::minutes(10)};
    // Replies queued for a client that does not read them; beyond this it is dropped.
    std::size_t max_output_bytes = 1 << 20;
    // Input held unprocessed before the server stops reading from that client.
    std::size_t max_backlog_bytes = 64 * 1024;
};

// "ADDR:PORT" or "[IPv6]:PORT" as given to --listen. PORT is 0 to 65535 (0: any
// free port). False with a reason.
bool ParseListenAddress(std::string_view text, std::string& address, std::uint16_t& port,
                        std::string& error);

// What the server has seen, for tests and the closing report.
struct ServerCounters {
    std::uint64_t accepted = 0;
    std::uint64_t refused = 0;       // over max_clients or max_clients_per_peer
    std::uint64_t refused_peer = 0;  // of those, over max_clients_per_peer
    std::uint64_t idle_drops = 0;    // idle time-out
    std::uint64_t output_drops = 0;  // replies not read
};

// SCPI over a raw TCP socket (the "SOCKET" resource of VISA): one I/O thread,
// one object per connection with its own input buffer, reply queue and error
// queue; all of them drive the one shared Instrument.
class TcpServer {
public:
    TcpServer(Instrument& instrument, ServerOptions options);
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    // Binds and listens, then serves on its own thread. False with a message
    // (address not valid, port in use, ...).
    bool Start(std::string& error);
    // The port bound, once started.
    std::uint16_t Port() const;
    // Closes every connection and joins the thread. Handlers never block, so
    // this returns as soon as the running one has finished.
    void Stop();

    std::size_t Clients() const;
    ServerCounters Counters() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velquor::remote
