#include "remote/station_host.h"

#include <algorithm>
#include <utility>

namespace velquor::remote {

// The pump's subscription, counting what passes and the gaps in each meter's numbering.
class StationHost::CountingSource : public IReadingSource {
public:
    CountingSource(std::shared_ptr<station::Subscription> subscription, std::size_t meters,
                   std::atomic<std::uint64_t>& taken, std::atomic<std::uint64_t>& gaps)
        : subscription_(std::move(subscription)), next_(meters, 0), taken_(taken), gaps_(gaps) {}

    std::size_t PopAll(std::vector<station::Reading>& out,
                       std::chrono::milliseconds timeout) override {
        const std::size_t first = out.size();
        const std::size_t n = subscription_->PopAll(out, timeout);
        for (std::size_t i = first; i < out.size(); ++i) {
            const station::Reading& r = out[i];
            if (r.kind == station::ReadingKind::Measurement)
                taken_.fetch_add(1, std::memory_order_relaxed);
            if (r.seq == 0)
                continue;
            // A meter added while this runs starts its own numbering.
            if (r.meter >= next_.size())
                next_.resize(r.meter + 1, 0);
            if (next_[r.meter] != 0 && r.seq > next_[r.meter])
                gaps_.fetch_add(r.seq - next_[r.meter], std::memory_order_relaxed);
            next_[r.meter] = r.seq + 1;
        }
        return n;
    }
    const station::Subscription& Subscription() const { return *subscription_; }

private:
    std::shared_ptr<station::Subscription> subscription_;
    std::vector<std::uint64_t> next_;  // only the pump's thread reads and writes it
    std::atomic<std::uint64_t>& taken_;
    std::atomic<std::uint64_t>& gaps_;
};

StationHost::StationHost(station::Station& station, InstrumentOptions options)
    : backend_(station),
      instrument_(backend_, std::move(options)),
      subscription_(station.Subscribe()),
      source_(std::make_unique<CountingSource>(subscription_, station.MeterCount(), taken_,
                                               gaps_)),
      pump_(*source_, instrument_) {
    pump_.Start();
}

StationHost::~StationHost() {
    Stop();
}

bool StationHost::StartServer(const ServerOptions& options, std::string& error) {
    // The new server first: one that cannot start leaves the running one serving.
    // The same address again is the running server itself.
    auto server = std::make_unique<TcpServer>(instrument_, options);
    if (!server->Start(error)) {
        std::lock_guard lock(server_lock_);
        return server_ != nullptr && same_ == std::make_pair(options.address, options.port) &&
               options.port != 0;
    }
    const bool v6 = options.address.find(':') != std::string::npos;
    std::unique_ptr<TcpServer> old;
    {
        std::lock_guard lock(server_lock_);
        server_address_ = (v6 ? "[" + options.address + "]" : options.address) + ":" +
                          std::to_string(server->Port());
        same_ = {options.address, options.port};
        old = std::exchange(server_, std::move(server));
    }
    if (old)
        old->Stop();
    return true;
}

void StationHost::StopServer() {
    std::unique_ptr<TcpServer> server;
    {
        std::lock_guard lock(server_lock_);
        server = std::move(server_);
        server_address_.clear();
    }
    if (server)
        server->Stop();
}

bool StationHost::Serving() const {
    std::lock_guard lock(server_lock_);
    return server_ != nullptr;
}

std::string StationHost::ServerAddress() const {
    std::lock_guard lock(server_lock_);
    return server_address_;
}

std::size_t StationHost::Clients() const {
    std::lock_guard lock(server_lock_);
    return server_ ? server_->Clients() : 0;
}

bool StationHost::StartVxi11(const Vxi11Options& options, std::string& error) {
#if VELQUOR_HAVE_VXI11
    // One VXI-11 server per program: the old one goes first, and nothing serves
    // VXI-11 when the new one cannot start.
    StopVxi11();
    auto server = std::make_unique<Vxi11Server>(instrument_, options);
    if (!server->Start(error))
        return false;
    const bool v6 = options.address.find(':') != std::string::npos;
    std::lock_guard lock(server_lock_);
    vxi11_address_ = (v6 ? "[" + options.address + "]" : options.address) + ":" +
                     std::to_string(server->Port());
    vxi11_ = std::move(server);
    return true;
#else
    (void)options;
    error = "this build has no VXI-11";
    return false;
#endif
}

void StationHost::StopVxi11() {
#if VELQUOR_HAVE_VXI11
    std::unique_ptr<Vxi11Server> server;
    {
        std::lock_guard lock(server_lock_);
        server = std::move(vxi11_);
        vxi11_address_.clear();
    }
    if (server)
        server->Stop();
#endif
}

bool StationHost::ServingVxi11() const {
#if VELQUOR_HAVE_VXI11
    std::lock_guard lock(server_lock_);
    return vxi11_ != nullptr;
#else
    return false;
#endif
}

std::string StationHost::Vxi11Address() const {
#if VELQUOR_HAVE_VXI11
    std::lock_guard lock(server_lock_);
    return vxi11_address_;
#else
    return {};
#endif
}

bool StationHost::Vxi11Registered() const {
#if VELQUOR_HAVE_VXI11
    std::lock_guard lock(server_lock_);
    return vxi11_ != nullptr && vxi11_->Registered();
#else
    return false;
#endif
}

std::string StationHost::Vxi11Note() const {
#if VELQUOR_HAVE_VXI11
    std::lock_guard lock(server_lock_);
    return vxi11_ != nullptr ? vxi11_->RegistrationNote() : std::string();
#else
    return {};
#endif
}

std::uint64_t StationHost::Lost() const {
    // A reading the full queue dropped shows as a jump too; the drop count also holds
    // those after a meter's last reading, which no jump shows.
    return std::max<std::uint64_t>(gaps_.load(), source_->Subscription().Dropped());
}

std::size_t StationHost::AddMeter() {
    backend_.AddMeter();
    return instrument_.AddChannel();
}

void StationHost::Stop() {
    if (stopped_)
        return;
    stopped_ = true;
    StopVxi11();
    StopServer();
    pump_.Stop();
    backend_.Stop();
}

}  // namespace velquor::remote
