#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "remote/instrument.h"
#include "station/station.h"

namespace velquor::remote {

inline constexpr std::uint16_t kDefaultHttpPort = 8080;

struct HttpOptions {
    std::string address = "127.0.0.1";
    std::uint16_t port = kDefaultHttpPort;  // 0 picks a free port (tests)
    // The folder holding index.html, style.css and app.js; empty or missing: the
    // page answers 503 with where it looked, the API works on.
    std::string web_root;
    // Settings may be changed over HTTP only when this is set, and then only with
    // the password (HTTP Basic, any user name). Start refuses it on an address that
    // is not loopback: without TLS the password would cross the network in clear.
    bool allow_writes = false;
    std::string password;
    // The SCPI socket server's port for the LXI identification; 0: none runs.
    std::uint16_t scpi_port = 0;
    // Whether a VXI-11 server answers, so that TCPIP::<host>::INSTR is listed.
    bool vxi11 = false;
    // Streams open at once; each holds one of the server's threads.
    std::size_t max_streams = 4;
    // Readings a stream's queue holds for a client that reads slowly; beyond it
    // they are dropped and counted, the meters never wait.
    std::size_t stream_queue = 2048;
    // How long a setup write to a meter may take before the request gives up.
    std::chrono::milliseconds write_wait{std::chrono::seconds(20)};
};

struct HttpCounters {
    std::uint64_t requests = 0;
    std::uint64_t streams_opened = 0;
    std::uint64_t streams_refused = 0;  // over max_streams
    std::uint64_t events_sent = 0;      // readings sent on every stream
    std::uint64_t events_dropped = 0;   // readings lost for slow stream clients
    std::uint64_t writes_refused = 0;   // no or wrong password, or writes off
};

// Where the page's files are: $VELQUOR_WEB_DIR when set, else share/velquor/web
// beside the program's bin folder (as installed), else the source tree's (a build
// that is run where it was built). Empty when none holds index.html.
std::string FindWebRoot();

// Whether a listen address is this machine's loopback (127.0.0.0/8, ::1, localhost).
bool IsLoopbackAddress(const std::string& address);

// The meters over HTTP: a live page (static files), the meters as JSON, every
// reading as Server-Sent Events, and the LXI identification document. Its own
// threads (the listener and a bounded pool) are joined by Stop.
class HttpServer {
public:
    HttpServer(station::Station& station, Instrument& instrument, HttpOptions options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens, then serves on its own threads. False with a one-line
    // reason naming the address (port in use, not this machine's, writes refused).
    bool Start(std::string& error);
    std::uint16_t Port() const;
    // Ends the streams, closes the listener and joins the threads. A client that
    // stopped reading holds this for at most the write time-out (2 s).
    void Stop();
    HttpCounters Counters() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velquor::remote
