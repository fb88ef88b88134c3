// The poll loop the commands share: link events told with their time, and readings
// dropped by a consumer that fell behind told, placed and counted.
#include "reading_poll.h"

#include <gtest/gtest.h>

#include <thread>

#include "cli_app.h"

namespace velquor::cli {
namespace {

using namespace std::chrono_literals;

TEST(LinkEventLine, SaysWhatHappenedAndWhetherItIsWaitedFor) {
    station::Reading lost, back;
    lost.kind = station::ReadingKind::LinkLost;
    back.kind = station::ReadingKind::Reconnected;
    back.steady_ns = 8'100'000'000;
    const struct {
        const station::Reading& reading;
        bool reconnecting;
        const char* tail;
    } cases[] = {
        {lost, true, "OV1: link lost; reconnecting"},
        {lost, false, "OV1: link lost"},
        {back, true, "OV1: reconnected after 8.1 s"},
        {back, false, "OV1: reconnected after 8.1 s"},
    };
    for (const auto& c : cases) {
        const std::string line = LinkEventLine(c.reading, "OV1", 0, c.reconnecting);
        // "HH:MM:SS " first.
        ASSERT_GT(line.size(), 9u);
        EXPECT_EQ(line[2], ':');
        EXPECT_EQ(line.substr(9), c.tail) << line;
    }
}

// Two simulated meters into a queue of four that is not emptied for a while: the
// loss is told once when it begins, the first reading after it carries the gap, and
// the total is told at the end.
TEST(ReadingPoll, AConsumerThatFellBehindIsToldWhereAndHowMany) {
    CliApp cli;
    int status = -1;
    std::string told;
    std::uint64_t missed = 0, dropped = 0;
    cli.AddCommand("poll", "", [&](CliApp& c) {
        CliStation meters(c);
        MeterRequest request;
        request.simulated = 2;
        if (const int s = meters.Open(request))
            return s;
        const auto subscription = meters.Get().Subscribe(4);
        ReadingPoll poll(meters, subscription, {"the test"});
        testing::internal::CaptureStderr();
        std::this_thread::sleep_for(1500ms);
        for (int i = 0; i < 20; ++i) {
            const auto& batch = poll.Poll(100ms);
            for (std::size_t k = 0; k < batch.size(); ++k)
                missed += poll.MissedBefore(k);
        }
        meters.Get().Close();  // nothing more comes between the count and the report
        dropped = subscription->Dropped();
        poll.ReportDrops();
        told = testing::internal::GetCapturedStderr();
        return kExitOk;
    });
    char name[] = "velquor-cli", command[] = "poll";
    char* argv[] = {name, command};
    status = cli.Run(2, argv);
    ASSERT_EQ(status, kExitOk);
    ASSERT_GT(dropped, 0u);
    // Drops after the last reading taken show in no gap, so the gaps hold at most the total.
    EXPECT_GT(missed, 0u);
    EXPECT_LE(missed, dropped);
    const std::string begins =
        " readings are being dropped: the test does not keep up with the meters\n";
    const std::string total =
        "velquor-cli: " + std::to_string(dropped) + " readings dropped in all\n";
    EXPECT_NE(told.find(begins), std::string::npos) << told;
    EXPECT_EQ(told.find(begins), told.rfind(begins)) << "told more than once: " << told;
    EXPECT_NE(told.find(total), std::string::npos) << told;
}

}  // namespace
}  // namespace velquor::cli
