#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "remote/instrument.h"
#include "remote/meter_backend.h"
#include "remote/scpi_session.h"

namespace velquor::remote::testing {

// Meters that answer setup writes as told, at once, on the caller's thread.
class FakeBackend : public IMeterBackend {
public:
    explicit FakeBackend(std::size_t meters = 2) {
        for (std::size_t i = 0; i < meters; ++i) {
            ids.push_back({"OV22770" + std::to_string(i), "OV22770" + std::to_string(i), "RA", ""});
            setups.push_back({1700, 0.0, false});
            answers.push_back(WriteStatus::Done);
        }
    }
    std::size_t MeterCount() const override { return ids.size(); }
    MeterIdentity Identity(std::size_t m) const override { return ids[m]; }
    std::optional<MeterSetup> Setup(std::size_t m) const override {
        std::lock_guard lock(mutex);
        return setups[m];
    }
    void WriteSetup(std::size_t m, const SetupWrite& w,
                    std::function<void(WriteOutcome)> done) override {
        WriteStatus answer;
        {
            std::lock_guard lock(mutex);
            writes.push_back(w);
            answer = answers[m];
            if (answer == WriteStatus::Done) {
                setups[m].frequency_mhz = w.frequency_mhz.value_or(setups[m].frequency_mhz);
                setups[m].cable_loss_db = w.cable_loss_db.value_or(setups[m].cable_loss_db);
            }
        }
        done(WriteOutcome{answer, "fake"});
    }
    bool Reconnects() const override { return reconnects; }

    mutable std::mutex mutex;
    std::vector<MeterIdentity> ids;
    std::vector<MeterSetup> setups;
    std::vector<WriteStatus> answers;
    std::vector<SetupWrite> writes;
    bool reconnects = false;
};

// One client's session driven the way the server drives it, without a socket.
// Waits that end on other threads (a real meter's setup) are waited for up to
// `patience`; with the fake meters everything ends at once.
struct Client {
    explicit Client(Instrument& inst, std::chrono::milliseconds patience = {})
        : patience(patience),
          session(
              inst, [this](std::string_view l) { replies.emplace_back(l.substr(0, l.size() - 1)); },
              [this](Outcome o) {
                  std::lock_guard lock(wokenLock);
                  woken.push_back(std::move(o));
                  wake.notify_all();
              }) {}

    void Drive() {
        for (;;) {
            const ScpiSession::State s = session.Run();
            if (s == ScpiSession::State::MoreWork)
                continue;
            if (s == ScpiSession::State::Idle)
                return;
            std::unique_lock lock(wokenLock);
            if (!wake.wait_for(lock, patience, [this] { return !woken.empty(); }))
                return;
            Outcome o = std::move(woken.front());
            woken.pop_front();
            lock.unlock();
            session.Resume(std::move(o));
        }
    }

    // Sends one line; returns the reply lines it produced (so far).
    std::vector<std::string> Send(const std::string& line) {
        session.Receive(line + "\n");
        Drive();
        return Take();
    }
    std::vector<std::string> Take() {
        std::vector<std::string> r;
        r.swap(replies);
        return r;
    }
    // The last reply of a line, or "<none>".
    std::string Ask(const std::string& line) {
        const auto r = Send(line);
        return r.empty() ? "<none>" : r.back();
    }
    // Every queued error code, oldest first.
    std::vector<int> Errors() {
        std::vector<int> codes;
        for (;;) {
            const int code = std::stoi(Ask("SYST:ERR?"));
            if (code == 0)
                return codes;
            codes.push_back(code);
        }
    }
    int Error() {
        const auto e = Errors();
        return e.empty() ? 0 : e.front();
    }

    std::chrono::milliseconds patience;
    std::vector<std::string> replies;
    std::mutex wokenLock;
    std::condition_variable wake;
    std::deque<Outcome> woken;
    ScpiSession session;
};

// Fake meters and an instrument with a clock the test steps; a base of Bench so
// that they outlive its session.
struct BenchParts {
    explicit BenchParts(std::size_t meters) : backend(meters), inst(backend, Options()) {}
    InstrumentOptions Options() {
        InstrumentOptions o;
        o.version = "1.2.3";
        o.steady_now_ns = [this] { return now_ns; };
        return o;
    }
    std::int64_t now_ns = 1'000'000'000;
    FakeBackend backend;
    Instrument inst;
};

// One client on an instrument over fake meters.
struct Bench : BenchParts, Client {
    explicit Bench(std::size_t meters = 2) : BenchParts(meters), Client(inst) {}

    void Feed(std::uint32_t meter, double dbm, double temperature = 25.0, double battery = 600.0,
              std::uint64_t seq = 0) {
        now_ns += 10'000'000;
        station::Reading r;
        r.meter = meter;
        r.seq = seq;
        r.steady_ns = now_ns;
        r.power_dbm = dbm;
        r.temperature_c = temperature;
        r.battery = battery;
        inst.OnReading(r);
        Drive();
    }
    void Event(std::uint32_t meter, station::ReadingKind kind) {
        station::Reading r;
        r.kind = kind;
        r.meter = meter;
        r.steady_ns = now_ns;
        inst.OnReading(r);
        Drive();
    }
};

}  // namespace velquor::remote::testing
