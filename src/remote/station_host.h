#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "remote/instrument.h"
#include "remote/reading_pump.h"
#include "remote/station_backend.h"
#include "remote/tcp_server.h"
#include "remote/vxi11_server.h"
#include "station/station.h"

namespace velquor::remote {

// A running station as one instrument: the channels' settings and measurement math
// fed from the station by a pump of their own, and the SCPI server on that same
// instrument, started and stopped while the meters run. A window and the scripts it
// serves therefore see and change the same settings.
class StationHost {
public:
    explicit StationHost(station::Station& station, InstrumentOptions options = {});
    // Stop() unless done.
    ~StationHost();
    StationHost(const StationHost&) = delete;
    StationHost& operator=(const StationHost&) = delete;

    Instrument& Model() { return instrument_; }
    const Instrument& Model() const { return instrument_; }

    // Starts serving; false with a one-line reason naming the address (a port in
    // use, an address that is not this machine's). Serving already: the new server
    // takes over once it runs; one that cannot start leaves the old one serving.
    bool StartServer(const ServerOptions& options, std::string& error);
    void StopServer();
    bool Serving() const;
    // "127.0.0.1:5025" while serving, else empty.
    std::string ServerAddress() const;
    std::size_t Clients() const;

    // VXI-11 on the same instrument, beside the SCPI socket or alone. A running one
    // is replaced. False with a reason; without VXI-11 in this build, always false.
    bool StartVxi11(const Vxi11Options& options, std::string& error);
    void StopVxi11();
    bool ServingVxi11() const;
    // "127.0.0.1:41203" while serving, else empty; and whether rpcbind took it,
    // or why not.
    std::string Vxi11Address() const;
    bool Vxi11Registered() const;
    std::string Vxi11Note() const;

    // Measurements the instrument has taken, and those the stream lost on the way
    // (a full queue or a jump in a meter's numbering).
    std::uint64_t Taken() const { return taken_.load(); }
    std::uint64_t Lost() const;

    // The station's next meter (one AddAndConnect opened) becomes the next channel,
    // on the running server too; the channels before it stay as they are. Returns
    // its index. Not after Stop.
    std::size_t AddMeter();

    // The servers, the pump and the setup threads, in that order; within their bounds.
    void Stop();

private:
    class CountingSource;

    StationBackend backend_;
    Instrument instrument_;
    std::shared_ptr<station::Subscription> subscription_;
    std::atomic<std::uint64_t> taken_{0};
    std::atomic<std::uint64_t> gaps_{0};
    std::unique_ptr<CountingSource> source_;
    ReadingPump pump_;
    mutable std::mutex server_lock_;
    std::unique_ptr<TcpServer> server_;
    std::string server_address_;
    std::pair<std::string, std::uint16_t> same_;  // the running server's address as asked
#if VELQUOR_HAVE_VXI11
    std::unique_ptr<Vxi11Server> vxi11_;
    std::string vxi11_address_;
#endif
    bool stopped_ = false;
};

}  // namespace velquor::remote
