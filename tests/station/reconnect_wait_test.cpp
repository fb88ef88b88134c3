#include "station/reconnect_wait.h"
#include "station/meter_target.h"

#include <gtest/gtest.h>

namespace velquor::station {
namespace {

using namespace std::chrono_literals;
using Clock = ReconnectWait::Clock;

TEST(ReconnectWait, LooksAfterHalfASecondThenBacksOffToEveryFiveSeconds) {
    ReconnectWait wait;
    const Clock::time_point lost{};
    EXPECT_FALSE(wait.Waiting());
    EXPECT_EQ(wait.UntilNextLook(lost), 0ms);
    wait.Begin(lost);
    EXPECT_TRUE(wait.Waiting());
    EXPECT_EQ(wait.UntilNextLook(lost), 500ms);
    EXPECT_EQ(wait.UntilNextLook(lost + 200ms), 300ms);
    // Each missed look pushes the next one further out, up to five seconds.
    Clock::time_point now = lost + 500ms;
    for (const auto pause : {1000ms, 2000ms, 4000ms, 5000ms, 5000ms}) {
        EXPECT_EQ(wait.UntilNextLook(now), 0ms);
        wait.Missed(now);
        EXPECT_EQ(wait.UntilNextLook(now), pause);
        now += pause;
    }
    EXPECT_EQ(wait.Looks(), 5);
    EXPECT_EQ(wait.AwaySeconds(lost + 12999ms), 12);
    wait.End();
    EXPECT_FALSE(wait.Waiting());
    EXPECT_EQ(wait.AwaySeconds(now), 0);
    // A new loss starts the schedule afresh.
    wait.Begin(now);
    EXPECT_EQ(wait.UntilNextLook(now), 500ms);
}

TEST(ReconnectWait, ANodeThatAppearsCutsTheBackOffShortButNotTheFirstPause) {
    ReconnectWait wait;
    const Clock::time_point lost{};
    wait.Begin(lost);
    for (int i = 0; i < 4; ++i)
        wait.Missed(lost + 1s * i);
    ASSERT_EQ(wait.UntilNextLook(lost + 3s), 5000ms);
    // Right after a look it still waits out the first pause; later it looks at once.
    wait.SomethingAppeared(lost + 3100ms);
    EXPECT_EQ(wait.UntilNextLook(lost + 3100ms), 400ms);
    wait.Missed(lost + 3500ms);
    wait.SomethingAppeared(lost + 6s);
    EXPECT_EQ(wait.UntilNextLook(lost + 6s), 0ms);
    // Nothing moves a look that is already nearer.
    wait.Missed(lost + 6s);
    wait.End();
    wait.SomethingAppeared(lost + 7s);
    EXPECT_FALSE(wait.Waiting());
}

TEST(ReconnectWait, FindsTheSameMeterByItsPathOrItsSerialNumber) {
    const std::vector<DeviceEntry> listed = {{"OV1", "Orvane Power Meter"},
                                             {"XX9", "Some other adapter"},
                                             {"OV2", "Orvane Power Meter"}};
    const struct {
        const char* port;
        const char* serial;
        bool portPresent;
        std::optional<std::string> where;
    } cases[] = {
        {"/dev/serial/by-id/ov", "OV1", true, "/dev/serial/by-id/ov"},
        {"/dev/serial/by-id/ov", "OV1", false, std::nullopt},
        {"", "OV2", false, "OV2"},
        {"", "OV3", false, std::nullopt},
        {"", "XX9", false, std::nullopt},  // listed, but not a meter
        {"", "", false, std::nullopt},
    };
    for (const auto& c : cases) {
        const MeterTarget target = *c.port != '\0' ? MeterTarget::ByPath(c.port)
                                                    : MeterTarget::BySerial(c.serial);
        EXPECT_EQ(FindSameMeter(target, listed, c.portPresent), c.where)
            << c.port << " " << c.serial;
    }
    // A meter the person picked is looked for by the serial it was found with, and
    // not at all while that was never read.
    MeterTarget picked = MeterTarget::Listed();
    EXPECT_EQ(FindSameMeter(picked, listed, false), std::nullopt);
    picked.value = "OV2";
    EXPECT_EQ(FindSameMeter(picked, listed, false), "OV2");
}

TEST(ReconnectWait, TheTimeOutEndsTheWaitAndCutsTheLastPause) {
    ReconnectPolicy policy;
    policy.timeout = 3000ms;
    ReconnectWait wait(policy);
    const Clock::time_point lost{};
    wait.Begin(lost);
    Clock::time_point now = lost + 500ms;
    for (int i = 0; i < 2; ++i) {
        wait.Missed(now);
        now = wait.NextLook();
    }
    // 0.5 + 1 + 2 s would pass the 3 s time-out: the last look comes at it.
    EXPECT_EQ(wait.NextLook(), lost + 3000ms);
    EXPECT_FALSE(wait.GaveUp(lost + 2999ms));
    EXPECT_TRUE(wait.GaveUp(lost + 3000ms));
}

}  // namespace
}  // namespace velquor::station
