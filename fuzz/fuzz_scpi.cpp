// Arbitrary bytes from a client, cut into arbitrary chunks, through a session of
// the SCPI instrument, with readings and meter events mixed in.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "remote/instrument.h"
#include "remote/scpi_session.h"

namespace {

using namespace velquor::remote;

class Meters : public IMeterBackend {
public:
    std::size_t MeterCount() const override { return 2; }
    MeterIdentity Identity(std::size_t) const override { return {"m", "OV1", "RA", "1.10"}; }
    std::optional<MeterSetup> Setup(std::size_t) const override { return setup; }
    void WriteSetup(std::size_t, const SetupWrite& w,
                    std::function<void(WriteOutcome)> done) override {
        if (w.frequency_mhz && (*w.frequency_mhz < 150 || *w.frequency_mhz > 2700))
            __builtin_trap();
        if (w.cable_loss_db && !(*w.cable_loss_db >= 0.0 && *w.cable_loss_db <= 25.5))
            __builtin_trap();
        done(WriteOutcome{flip ? WriteStatus::Failed : WriteStatus::Done, {}});
        flip = !flip;
    }
    MeterSetup setup{1700, 0.0, true};
    bool flip = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Meters meters;
    std::int64_t now = 1;
    InstrumentOptions options;
    options.steady_now_ns = [&now] { return now; };
    Instrument inst(meters, options);
    std::deque<Outcome> woken;
    std::size_t replyBytes = 0;
    ScpiSession session(
        inst,
        [&](std::string_view line) {
            if (line.empty() || line.back() != '\n' || line.find('\n') != line.size() - 1)
                __builtin_trap();
            replyBytes += line.size();
        },
        [&](Outcome o) { woken.push_back(std::move(o)); });
    auto drive = [&] {
        for (int guard = 0; guard < 100000; ++guard) {
            const ScpiSession::State s = session.Run();
            if (s == ScpiSession::State::Idle)
                return;
            if (s == ScpiSession::State::Waiting) {
                if (woken.empty())
                    return;
                session.Resume(std::move(woken.front()));
                woken.pop_front();
            }
        }
        __builtin_trap();  // a session that never settles
    };
    // Each chunk: a control byte (length, and every so often a reading or an event).
    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t control = data[pos++];
        if ((control & 0xC0) == 0xC0) {
            velquor::station::Reading r;
            r.meter = control & 1;
            r.kind = static_cast<velquor::station::ReadingKind>((control >> 1) % 3);
            r.power_dbm = static_cast<double>(static_cast<std::int8_t>(control << 2));
            now += 100'000'000;
            r.steady_ns = now;
            inst.OnReading(r);
            inst.Tick();
        }
        const std::size_t chunk = 1 + (control & 0x3F) * 4;
        const std::size_t n = chunk < size - pos ? chunk : size - pos;
        session.Receive(std::string_view(reinterpret_cast<const char*>(data + pos), n));
        pos += n;
        drive();
        if (session.Status().errors.Count() > ErrorQueue::kCapacity)
            __builtin_trap();
        if (session.Backlog() > size + ScpiSession::kMaxLine + 1)
            __builtin_trap();
    }
    session.Receive("\n");
    drive();
    return 0;
}
