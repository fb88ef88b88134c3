#include "remote/tcp_server.h"

#include <array>
#include <atomic>
#include <deque>
#include <mutex>
#include <set>
#include <thread>

#include <asio.hpp>

#include "remote/scpi_error.h"
#include "remote/scpi_session.h"

namespace velquor::remote {

namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

// Lets other threads (a meter's setup, the reading pump) post work to the I/O
// thread for as long as it exists, and harmlessly afterwards.
class Gate {
public:
    explicit Gate(asio::io_context& io) : io_(&io) {}
    template <typename F>
    void Post(F&& f) {
        std::lock_guard lock(mutex_);
        if (io_ != nullptr)
            asio::post(*io_, std::forward<F>(f));
    }
    void Close() {
        std::lock_guard lock(mutex_);
        io_ = nullptr;
    }

private:
    std::mutex mutex_;
    asio::io_context* io_;
};

struct Shared {
    Instrument& instrument;
    ServerOptions options;
    std::shared_ptr<Gate> gate;
    std::atomic<std::uint64_t> accepted{0};
    std::atomic<std::uint64_t> refused{0};
    std::atomic<std::uint64_t> refusedPeer{0};
    std::atomic<std::uint64_t> idleDrops{0};
    std::atomic<std::uint64_t> outputDrops{0};
    std::atomic<std::size_t> clients{0};
};

// The address a peer is counted by: an IPv4 client of an IPv6 socket is the same
// host as over IPv4.
asio::ip::address PeerAddress(const tcp::socket& socket) {
    std::error_code ec;
    const tcp::endpoint peer = socket.remote_endpoint(ec);
    if (ec)
        return {};
    asio::ip::address a = peer.address();
    if (a.is_v6() && a.to_v6().is_v4_mapped())
        a = asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6());
    return a;
}

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket socket, Shared& shared, std::set<std::shared_ptr<Connection>>& registry)
        : peer_(PeerAddress(socket)),
          socket_(std::move(socket)),
          timer_(socket_.get_executor()),
          shared_(shared),
          registry_(registry) {}

    void Start() {
        std::error_code ignored;
        socket_.set_option(tcp::no_delay(true), ignored);
        socket_.set_option(asio::socket_base::keep_alive(true), ignored);
        std::weak_ptr<Connection> weak = weak_from_this();
        std::shared_ptr<Gate> gate = shared_.gate;
        session_ = std::make_unique<ScpiSession>(
            shared_.instrument, [this](std::string_view line) { Enqueue(line); },
            [weak, gate](Outcome o) {
                gate->Post([weak, o = std::move(o)]() mutable {
                    if (auto self = weak.lock(); self && !self->closed_) {
                        self->session_->Resume(std::move(o));
                        self->Pump();
                    }
                });
            });
        lastActivity_ = Clock::now();
        ArmIdleTimer();
        Read();
    }

    const asio::ip::address& Peer() const { return peer_; }

    void Close() {
        if (closed_)
            return;
        closed_ = true;
        // The registry may hold the last reference; stay alive to the end of Close.
        const std::shared_ptr<Connection> self = shared_from_this();
        // Close may come from inside the session's own Run (a reply too many): what
        // the client queued must not go on running, least of all shared settings
        // and meter writes.
        if (session_)
            session_->Discard();
        std::error_code ignored;
        timer_.cancel();
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        registry_.erase(self);
        shared_.clients = registry_.size();
    }

private:
    void Read() {
        if (closed_ || reading_ || inputEnded_)
            return;
        if (session_->Backlog() > shared_.options.max_backlog_bytes)
            return;  // resumed by Pump once the backlog has been worked off
        reading_ = true;
        socket_.async_read_some(
            asio::buffer(input_), [self = shared_from_this()](std::error_code ec, std::size_t n) {
                self->reading_ = false;
                if (self->closed_)
                    return;
                if (ec == asio::error::eof) {
                    // A client that has said all it will (`echo READ? | nc -N`) still
                    // gets the replies to it.
                    self->inputEnded_ = true;
                    self->CloseWhenDone();
                    return;
                }
                if (ec) {
                    self->Close();
                    return;
                }
                self->lastActivity_ = Clock::now();
                self->session_->Receive(std::string_view(self->input_.data(), n));
                self->Pump();
                self->Read();
            });
    }

    // Runs queued commands a budget at a time; the rest is posted behind other
    // clients' work so that none of them waits for a flood.
    void Pump() {
        if (closed_)
            return;
        const ScpiSession::State state = session_->Run();
        if (closed_)
            return;
        idle_ = state == ScpiSession::State::Idle;
        CloseWhenDone();
        if (state == ScpiSession::State::MoreWork && !pumpPosted_) {
            pumpPosted_ = true;
            asio::post(socket_.get_executor(), [self = shared_from_this()] {
                self->pumpPosted_ = false;
                self->Pump();
            });
        }
        Read();
    }

    void Enqueue(std::string_view line) {
        if (closed_)
            return;
        if (queued_ + line.size() > shared_.options.max_output_bytes) {
            // A client that does not read its replies gives up its place.
            ++shared_.outputDrops;
            Close();
            return;
        }
        queued_ += line.size();
        output_.emplace_back(line);
        Write();
    }

    void Write() {
        if (writing_ || output_.empty() || closed_)
            return;
        writing_ = true;
        // Everything queued goes out in one write.
        while (output_.size() > 1) {
            output_[0] += output_[1];
            output_.erase(output_.begin() + 1);
        }
        asio::async_write(socket_, asio::buffer(output_.front()),
                          [self = shared_from_this()](std::error_code ec, std::size_t) {
                              self->writing_ = false;
                              if (self->closed_)
                                  return;
                              if (ec) {
                                  self->Close();
                                  return;
                              }
                              self->queued_ -= self->output_.front().size();
                              self->output_.pop_front();
                              self->Write();
                              self->CloseWhenDone();
                          });
    }

    void CloseWhenDone() {
        if (inputEnded_ && idle_ && !writing_ && output_.empty())
            Close();
    }

    void ArmIdleTimer() {
        const auto limit = shared_.options.idle_timeout;
        if (limit.count() <= 0 || closed_)
            return;
        timer_.expires_at(lastActivity_ + limit);
        timer_.async_wait([self = shared_from_this()](std::error_code ec) {
            if (ec || self->closed_)
                return;
            // A command still running is not idleness; unread replies are.
            const bool busy = self->session_->IsWaiting();
            if (!busy && Clock::now() - self->lastActivity_ >= self->shared_.options.idle_timeout) {
                ++self->shared_.idleDrops;
                self->Close();
                return;
            }
            if (busy)
                self->lastActivity_ = Clock::now();
            self->ArmIdleTimer();
        });
    }

    asio::ip::address peer_;
    tcp::socket socket_;
    asio::steady_timer timer_;
    Shared& shared_;
    std::set<std::shared_ptr<Connection>>& registry_;
    std::unique_ptr<ScpiSession> session_;
    std::array<char, 4096> input_{};
    std::deque<std::string> output_;
    std::size_t queued_ = 0;
    Clock::time_point lastActivity_;
    bool reading_ = false;
    bool writing_ = false;
    bool pumpPosted_ = false;
    bool closed_ = false;
    bool inputEnded_ = false;  // the client shut down its side
    bool idle_ = true;         // the session has nothing left to run
};

// A client that is not admitted: told why, then its input is read and thrown
// away until it closes or the linger time is up. Closing at once, with its first
// command unread, would send a reset that can overtake the explanation.
class Refusal : public std::enable_shared_from_this<Refusal> {
public:
    Refusal(tcp::socket socket, std::string text, std::set<std::shared_ptr<Refusal>>& registry)
        : socket_(std::move(socket)),
          timer_(socket_.get_executor()),
          text_(std::move(text)),
          registry_(registry) {}

    // A zero linger closes as soon as the explanation is written.
    void Start(std::chrono::milliseconds linger) {
        lingers_ = linger.count() > 0;
        // The write is bounded too: a client that reads nothing cannot keep it open.
        timer_.expires_after(lingers_ ? linger : std::chrono::milliseconds(1000));
        timer_.async_wait([self = shared_from_this()](std::error_code ec) {
            if (!ec)
                self->Close();
        });
        asio::async_write(socket_, asio::buffer(text_),
                          [self = shared_from_this()](std::error_code ec, std::size_t) {
                              if (self->closed_)
                                  return;
                              if (ec)
                                  return self->Close();
                              std::error_code ignored;
                              self->socket_.shutdown(tcp::socket::shutdown_send, ignored);
                              if (self->lingers_)
                                  self->Drain();
                              else
                                  self->Close();
                          });
    }

    void Close() {
        if (closed_)
            return;
        closed_ = true;
        const std::shared_ptr<Refusal> self = shared_from_this();
        std::error_code ignored;
        timer_.cancel();
        socket_.close(ignored);
        registry_.erase(self);
    }

private:
    void Drain() {
        socket_.async_read_some(asio::buffer(input_),
                                [self = shared_from_this()](std::error_code ec, std::size_t) {
                                    if (self->closed_)
                                        return;
                                    if (ec)
                                        return self->Close();
                                    self->Drain();
                                });
    }

    tcp::socket socket_;
    asio::steady_timer timer_;
    std::string text_;
    std::set<std::shared_ptr<Refusal>>& registry_;
    std::array<char, 4096> input_{};
    bool lingers_ = true;
    bool closed_ = false;
};

}  // namespace

struct TcpServer::Impl {
    Impl(Instrument& instrument, ServerOptions options)
        : shared{instrument, std::move(options), std::make_shared<Gate>(io)}, acceptor(io) {}

    void Accept() {
        acceptor.async_accept([this](std::error_code ec, tcp::socket socket) {
            if (ec == asio::error::operation_aborted || !acceptor.is_open())
                return;
            if (!ec)
                AdmitOrRefuse(std::move(socket));
            Accept();
        });
    }

    void AdmitOrRefuse(tcp::socket socket) {
        const ServerOptions& o = shared.options;
        if (connections.size() >= o.max_clients)
            return Refuse(std::move(socket),
                          "too many clients; " + std::to_string(o.max_clients) + " are connected");
        const asio::ip::address peer = PeerAddress(socket);
        if (o.limit_loopback || !peer.is_loopback()) {
            std::size_t same = 0;
            for (const auto& c : connections)
                same += c->Peer() == peer ? 1 : 0;
            if (same >= o.max_clients_per_peer) {
                ++shared.refusedPeer;
                return Refuse(std::move(socket), "too many clients from " + peer.to_string() +
                                                     "; " + std::to_string(o.max_clients_per_peer) +
                                                     " per host");
            }
        }
        ++shared.accepted;
        auto c = std::make_shared<Connection>(std::move(socket), shared, connections);
        connections.insert(c);
        shared.clients = connections.size();
        c->Start();
    }

    // Says why, as the first reply line, so a script that sent a query reads the
    // reason, and a person trying by hand sees it.
    void Refuse(tcp::socket socket, const std::string& why) {
        ++shared.refused;
        // Refused clients each hold a descriptor while they linger; a flood of them
        // is closed as soon as it is told.
        constexpr std::size_t kMaxLingering = 32;
        const auto linger = refusals.size() < kMaxLingering ? shared.options.refusal_linger
                                                            : std::chrono::milliseconds(0);
        auto r = std::make_shared<Refusal>(
            std::move(socket), FormatError(ErrorEntry{err::kDeviceSpecific, why}) + "\n", refusals);
        refusals.insert(r);
        r->Start(linger);
    }

    void CloseAll() {
        std::error_code ignored;
        acceptor.close(ignored);
        // Close erases from the set, so walk a copy.
        const auto all = connections;
        for (const auto& c : all)
            c->Close();
        const auto refused = refusals;
        for (const auto& r : refused)
            r->Close();
    }

    asio::io_context io;
    Shared shared;
    tcp::acceptor acceptor;
    std::set<std::shared_ptr<Connection>> connections;
    std::set<std::shared_ptr<Refusal>> refusals;
    std::thread thread;
    std::atomic<std::uint16_t> port{0};
};

bool ParseListenAddress(std::string_view text, std::string& address, std::uint16_t& port,
                        std::string& error) {
    const std::size_t colon = text.rfind(':');
    std::string_view host = colon == std::string_view::npos ? text : text.substr(0, colon);
    const std::string_view digits =
        colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    unsigned long value = 0;
    bool ok = !host.empty() && !digits.empty() && digits.size() <= 5 &&
              host.find_first_of("[] ") == std::string_view::npos;
    for (const char c : digits) {
        ok = ok && c >= '0' && c <= '9';
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (!ok || value > 65535) {
        error =
            "--listen takes ADDRESS:PORT with a port from 0 to 65535 (e.g. 127.0.0.1:5025), not "
            "\"" +
            std::string(text) + "\"";
        return false;
    }
    address = std::string(host);
    port = static_cast<std::uint16_t>(value);
    return true;
}

TcpServer::TcpServer(Instrument& instrument, ServerOptions options)
    : impl_(std::make_unique<Impl>(instrument, std::move(options))) {}

TcpServer::~TcpServer() {
    Stop();
}

bool TcpServer::Start(std::string& error) {
    Impl& m = *impl_;
    std::error_code ec;
    tcp::resolver resolver(m.io);
    const auto results =
        resolver.resolve(m.shared.options.address, std::to_string(m.shared.options.port),
                         tcp::resolver::passive | tcp::resolver::numeric_service, ec);
    if (ec || results.empty()) {
        error = "cannot use address " + m.shared.options.address + ": " +
                (ec ? ec.message() : std::string("not found"));
        return false;
    }
    const tcp::endpoint endpoint = results.begin()->endpoint();
    m.acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        m.acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec)
        m.acceptor.bind(endpoint, ec);
    if (!ec)
        m.acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        std::error_code ignored;
        m.acceptor.close(ignored);
        error = "cannot listen on " + endpoint.address().to_string() + ":" +
                std::to_string(endpoint.port()) + ": " + ec.message();
        return false;
    }
    m.port = m.acceptor.local_endpoint(ec).port();
    m.Accept();
    m.thread = std::thread([&m] { m.io.run(); });
    return true;
}

std::uint16_t TcpServer::Port() const {
    return impl_->port;
}

void TcpServer::Stop() {
    Impl& m = *impl_;
    if (!m.thread.joinable())
        return;
    asio::post(m.io, [&m] {
        m.CloseAll();
        m.io.stop();
    });
    m.thread.join();
    m.shared.gate->Close();
    // Handlers still queued (and the connections they hold) go now, while the
    // instrument they refer to is still there.
    m.CloseAll();
    m.io.restart();
    m.io.poll();
}

std::size_t TcpServer::Clients() const {
    return impl_->shared.clients;
}

ServerCounters TcpServer::Counters() const {
    const Shared& s = impl_->shared;
    return ServerCounters{s.accepted, s.refused, s.refusedPeer, s.idleDrops, s.outputDrops};
}

}  // namespace velquor::remote
