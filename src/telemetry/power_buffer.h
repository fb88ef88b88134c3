#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace velquor::telemetry {

// One power message: one interval's readings of one meter, ready to send.
struct PowerMessage {
    std::uint64_t seq = 0;
    std::size_t readings = 0;
    std::string payload;
};

// One meter's readings on their way to the broker. Readings collect in an open
// batch; each interval the batch becomes a numbered message, which stays here
// until the broker confirms it. While the broker is away messages pile up, up to
// a span of reading time and a count of readings; past either bound the oldest
// message not on the wire goes, and its readings are counted in `dropped` (which
// every later message carries). Plain data, no I/O, no locking: one thread owns it.
class PowerBuffer {
public:
    struct Limits {
        std::chrono::nanoseconds span{std::chrono::seconds(60)};
        std::size_t max_readings = 60 * 250;
        std::size_t max_batch = 1024;  // readings per message; a fuller batch is closed early
    };

    PowerBuffer(std::string session, Limits limits);

    // Adds a reading to the open batch (closing the batch first when it is full).
    void Add(std::int64_t utc_us, std::int64_t steady_ns, double dbm, double temperature_c,
             double battery);
    // Turns the open batch into the next message. False when it holds no reading.
    bool CloseBatch();
    // Readings that never reached this buffer (its feed fell behind the meter): the
    // open batch is closed so that the gap falls between messages, they count in
    // dropped, and one message number is left out so the gap shows in seq too.
    void Skip(std::uint64_t readings);

    // The oldest message not yet handed to the broker, or null.
    const PowerMessage* NextUnsent() const;
    void MarkSent(std::uint64_t seq);
    // The broker has it: forgotten. Unknown numbers (dropped meanwhile) are ignored.
    void Confirm(std::uint64_t seq);
    // Nothing on the wire was confirmed (the connection went): send it all again, in order.
    void ResendUnconfirmed();

    // Past the bounds and skipped, so far.
    std::uint64_t Dropped() const { return m_dropped; }
    std::uint64_t Skipped() const { return m_skipped; }
    std::size_t BufferedReadings() const { return m_readings + m_batchSteadyNs.size(); }
    std::size_t BufferedMessages() const { return m_entries.size(); }
    std::size_t InFlight() const;
    std::size_t BufferedBytes() const { return m_bytes; }
    std::uint64_t MessagesMade() const { return m_nextSeq - 1 - m_numbersLeftOut; }

private:
    enum class State : std::uint8_t { Unsent, Sent, Confirmed };
    struct Entry {
        PowerMessage message;
        std::int64_t firstSteadyNs = 0;
        State state = State::Unsent;
    };

    void EnforceLimits();
    void PopConfirmed();

    std::string m_session;
    Limits m_limits;
    std::deque<Entry> m_entries;
    std::size_t m_readings = 0;  // in m_entries
    std::size_t m_bytes = 0;     // payload bytes in m_entries
    std::uint64_t m_nextSeq = 1;
    std::uint64_t m_numbersLeftOut = 0;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_skipped = 0;
    std::int64_t m_newestSteadyNs = 0;

    // The open batch; capacity reserved once, so adding a reading never allocates.
    std::int64_t m_batchFirstUtcUs = 0;
    std::vector<std::int64_t> m_batchSteadyNs;
    std::vector<double> m_batchDbm;
    double m_batchTemperature = 0.0;
    double m_batchBattery = 0.0;
};

}  // namespace velquor::telemetry
