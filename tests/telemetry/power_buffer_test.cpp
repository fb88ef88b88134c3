#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "telemetry/power_buffer.h"

namespace velquor::telemetry {
namespace {

using namespace std::chrono_literals;

constexpr std::int64_t kStepNs = 5'000'000;  // 200 readings per second

// Adds n readings, one per 5 ms from reading number `first`, closing a message
// after every 40 (one 200 ms interval).
void Feed(PowerBuffer& b, int first, int n) {
    for (int i = first; i < first + n; ++i) {
        b.Add(1'700'000'000'000'000 + i * 5000, i * kStepNs, -static_cast<double>(i % 100), 25.0,
              4.0);
        if ((i + 1) % 40 == 0)
            b.CloseBatch();
    }
}

nlohmann::json Next(PowerBuffer& b) {
    const PowerMessage* m = b.NextUnsent();
    if (m == nullptr)
        return nullptr;
    b.MarkSent(m->seq);
    return nlohmann::json::parse(m->payload);
}

TEST(PowerBuffer, KeepsTheLastSpanOfReadingsAndCountsWhatItDrops) {
    PowerBuffer::Limits limits;
    limits.span = 2s;
    limits.max_readings = 100'000;
    PowerBuffer b("s", limits);
    Feed(b, 0, 2000);  // 10 s of readings with nobody sending

    // 2 s of readings = 400 (10 whole messages); 1600 dropped, oldest first.
    EXPECT_EQ(b.BufferedReadings(), 400u);
    EXPECT_EQ(b.Dropped(), 1600u);
    std::uint64_t seq = 40;
    for (int i = 0; i < 10; ++i) {
        const auto m = Next(b);
        ASSERT_FALSE(m.is_null());
        EXPECT_EQ(m["seq"], ++seq);  // in order, the gap before them counted
        EXPECT_EQ(m["dbm"].size(), 40u);
    }
    EXPECT_TRUE(Next(b).is_null());
    // A message made after the drop carries the count.
    Feed(b, 2000, 40);
    EXPECT_EQ(Next(b)["dropped"], 1600);
}

TEST(PowerBuffer, CountBoundHoldsMemoryWhateverTheTimes) {
    PowerBuffer::Limits limits;
    limits.span = 3600s;
    limits.max_readings = 1000;
    PowerBuffer b("s", limits);
    Feed(b, 0, 100'000);
    EXPECT_LE(b.BufferedReadings(), 1000u);
    EXPECT_EQ(b.BufferedReadings() + b.Dropped(), 100'000u);
    EXPECT_LT(b.BufferedBytes(), 1000u * 32);
}

TEST(PowerBuffer, UnconfirmedMessagesGoAgainInOrderAndConfirmedOnesNever) {
    PowerBuffer b("s", {});
    Feed(b, 0, 200);  // messages 1..5
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(Next(b)["seq"], i);
    b.Confirm(1);
    b.Confirm(2);
    b.ResendUnconfirmed();  // the connection went with 3 and 4 on the wire
    EXPECT_EQ(b.InFlight(), 0u);
    for (int i = 3; i <= 5; ++i)
        EXPECT_EQ(Next(b)["seq"], i);
    b.Confirm(3);
    b.Confirm(4);
    b.Confirm(5);
    b.Confirm(99);  // unknown: ignored
    EXPECT_EQ(b.BufferedReadings(), 0u);
    EXPECT_EQ(b.Dropped(), 0u);
}

TEST(PowerBuffer, MessagesOnTheWireAreNotDroppedUnderThem) {
    PowerBuffer::Limits limits;
    limits.span = 1s;
    PowerBuffer b("s", limits);
    Feed(b, 0, 40);
    ASSERT_EQ(Next(b)["seq"], 1);
    Feed(b, 40, 400);  // 2 s more, message 1 still unanswered
    EXPECT_EQ(b.InFlight(), 1u);
    b.Confirm(1);  // its answer still counts
    EXPECT_EQ(Next(b)["seq"], 7);
    EXPECT_EQ(b.Dropped(), 200u);
}

// Readings that never reached the buffer: counted in every later message and left
// visible as a missing message number between the readings before and after them.
TEST(PowerBuffer, SkippedReadingsLeaveAGapInSeqAndCountInDropped) {
    PowerBuffer b("s", PowerBuffer::Limits{});
    Feed(b, 0, 20);  // an open batch of 20
    b.Skip(7);
    Feed(b, 27, 13);  // the rest of that interval, closed at reading 40
    b.Skip(0);        // nothing missed: no gap
    Feed(b, 40, 40);
    struct Want {
        int seq;
        std::size_t readings;
        int dropped;
    };
    for (const Want& w : {Want{1, 20, 0}, Want{3, 13, 7}, Want{4, 40, 7}}) {
        const auto m = Next(b);
        ASSERT_FALSE(m.is_null()) << w.seq;
        EXPECT_EQ(m["seq"], w.seq);
        EXPECT_EQ(m["dbm"].size(), w.readings) << w.seq;
        EXPECT_EQ(m["dropped"], w.dropped) << w.seq;
    }
    EXPECT_TRUE(Next(b).is_null());
    EXPECT_EQ(b.Dropped(), 7u);
    EXPECT_EQ(b.Skipped(), 7u);
    EXPECT_EQ(b.MessagesMade(), 3u);
}

TEST(PowerBuffer, FullBatchClosesEarly) {
    PowerBuffer::Limits limits;
    limits.max_batch = 30;
    PowerBuffer b("s", limits);
    for (int i = 0; i < 70; ++i)
        b.Add(i, i * kStepNs, 1.0, 2.0, 3.0);
    b.CloseBatch();
    EXPECT_EQ(Next(b)["dbm"].size(), 30u);
    EXPECT_EQ(Next(b)["dbm"].size(), 30u);
    EXPECT_EQ(Next(b)["dbm"].size(), 10u);
    EXPECT_FALSE(b.CloseBatch());  // nothing open: no empty message
}

}  // namespace
}  // namespace velquor::telemetry
