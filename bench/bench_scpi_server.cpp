// The SCPI server on loopback: one client looping FETC?, eight at once, and eight
// waiting on READ? for readings at the link's limit (with and without a ninth
// client flooding the server), timed from the moment each reading reached the
// instrument to the moment a client had its reply.
//
// Usage: bench_scpi_server [SECONDS per phase, default 3]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "remote/instrument.h"
#include "remote/tcp_server.h"

namespace {

using namespace velquor::remote;
using Clock = std::chrono::steady_clock;

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

class Meters : public IMeterBackend {
public:
    std::size_t MeterCount() const override { return 1; }
    MeterIdentity Identity(std::size_t) const override { return {"m", "OV227700", "RA", ""}; }
    std::optional<MeterSetup> Setup(std::size_t) const override {
        return MeterSetup{1700, 0, false};
    }
    void WriteSetup(std::size_t, const SetupWrite&, std::function<void(WriteOutcome)> d) override {
        d(WriteOutcome{WriteStatus::Done, {}});
    }
};

class Client {
public:
    explicit Client(std::uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            std::perror("connect");
            std::abort();
        }
    }
    ~Client() { close(fd_); }
    void Send(const std::string& s) {
        if (send(fd_, s.data(), s.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(s.size())) {
            std::perror("send");
            std::abort();
        }
    }
    std::string Line() {
        for (;;) {
            const auto lf = buffer_.find('\n');
            if (lf != std::string::npos) {
                std::string l = buffer_.substr(0, lf);
                buffer_.erase(0, lf + 1);
                return l;
            }
            char chunk[65536];
            const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                return {};
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

private:
    int fd_;
    std::string buffer_;
};

struct Stats {
    std::vector<double> us;
    void Add(double v) { us.push_back(v); }
    double At(double q) {
        std::sort(us.begin(), us.end());
        return us.empty() ? 0
                          : us[std::min(us.size() - 1, static_cast<std::size_t>(q * us.size()))];
    }
};

void Report(const char* what, Stats& s, double seconds) {
    std::printf("%-44s %8zu replies %9.0f/s  p50 %7.1f us  p99 %7.1f us  max %8.1f us\n", what,
                s.us.size(), s.us.size() / seconds, s.At(0.5), s.At(0.99), s.At(1.0));
}

// Loops FETC? on `clients` connections at once.
Stats FetchLoop(std::uint16_t port, int clients, double seconds) {
    std::vector<Stats> per(clients);
    std::vector<std::thread> threads;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            Client c(port);
            while (Clock::now() < end) {
                const auto t0 = Clock::now();
                c.Send("FETC?\n");
                if (c.Line().empty())
                    std::abort();
                per[i].Add(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
            }
        });
    }
    for (auto& t : threads)
        t.join();
    Stats all;
    for (auto& s : per)
        all.us.insert(all.us.end(), s.us.begin(), s.us.end());
    return all;
}

// Readings at `rate` per second; each power value carries its number, so a
// client can tell which reading its READ? reply came from.
struct Feeder {
    static constexpr int kSlots = 1000;
    std::array<std::atomic<std::int64_t>, kSlots> sent{};
    std::atomic<bool> stop{false};
    std::thread thread;

    void Start(Instrument& inst, double rate) {
        thread = std::thread([this, &inst, rate] {
            const auto period = std::chrono::duration<double>(1.0 / rate);
            auto next = Clock::now();
            for (std::int64_t seq = 0; !stop; ++seq) {
                std::this_thread::sleep_until(next);
                next += std::chrono::duration_cast<Clock::duration>(period);
                velquor::station::Reading r;
                r.power_dbm = -static_cast<double>(seq % kSlots) / 10.0;
                r.steady_ns = NowNs();
                sent[seq % kSlots] = r.steady_ns;
                inst.OnReading(r);
            }
        });
    }
    void Stop() {
        stop = true;
        thread.join();
    }
};

Stats ReadLoop(std::uint16_t port, Feeder& feeder, int clients, double seconds, bool flood) {
    std::vector<Stats> per(clients);
    std::vector<std::thread> threads;
    std::atomic<bool> done{false};
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            Client c(port);
            while (Clock::now() < end) {
                c.Send("READ?\n");
                const std::string reply = c.Line();
                const std::int64_t got = NowNs();
                const long slot = std::lround(-std::stod(reply) * 10.0);
                per[i].Add((got - feeder.sent[slot % Feeder::kSlots]) / 1000.0);
            }
        });
    }
    std::thread flooder;
    if (flood) {
        flooder = std::thread([&] {
            Client c(port);
            std::string line;
            while (line.size() < 4000)
                line += "*IDN?;";
            line += "*OPC?\n";
            while (!done) {
                c.Send(line);
                c.Line();
            }
        });
    }
    for (auto& t : threads)
        t.join();
    done = true;
    if (flooder.joinable())
        flooder.join();
    Stats all;
    for (auto& s : per)
        all.us.insert(all.us.end(), s.us.begin(), s.us.end());
    return all;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    Meters meters;
    Instrument inst(meters);
    ServerOptions options;
    options.port = 0;
    options.max_clients = 9;  // eight, and the flooding ninth
    TcpServer server(inst, options);
    std::string error;
    if (!server.Start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const std::uint16_t port = server.Port();
    velquor::station::Reading first;
    first.steady_ns = NowNs();
    inst.OnReading(first);

    // Each phase starts when the last one's clients are gone.
    auto settle = [&server] {
        for (int i = 0; i < 200 && server.Clients() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    Stats one = FetchLoop(port, 1, seconds);
    Report("one client, FETC? loop", one, seconds);
    settle();
    Stats eight = FetchLoop(port, 8, seconds);
    Report("eight clients, FETC? loops (all replies)", eight, seconds);

    Feeder feeder;
    feeder.Start(inst, 213.0);
    settle();
    Stats reads = ReadLoop(port, feeder, 8, seconds, false);
    Report("eight clients, READ? at 213 readings/s: delay", reads, seconds);
    settle();
    Stats flooded = ReadLoop(port, feeder, 8, seconds, true);
    Report("... with a ninth client flooding *IDN?", flooded, seconds);
    feeder.Stop();
    server.Stop();

    const bool ok = one.us.size() / seconds >= 5000 && one.At(0.99) < 1000;
    std::printf("goal (one client >= 5000 FETC?/s, p99 < 1 ms): %s\n", ok ? "met" : "MISSED");
    return ok ? 0 : 1;
}
