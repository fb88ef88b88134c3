#include <gtest/gtest.h>

#include <limits>

#include "station/meter_target.h"
#include "station/reconnect_policy.h"

namespace velquor::station {
namespace {

using namespace std::chrono_literals;
using ms = std::chrono::milliseconds;

TEST(Backoff, GrowsFromHalfASecondToFiveAndStaysThere) {
    const ReconnectPolicy p;  // the program's values
    const ms expected[] = {500ms, 1000ms, 2000ms, 4000ms, 5000ms, 5000ms};
    for (int attempt = 0; attempt < 6; ++attempt)
        EXPECT_EQ(BackoffDelay(p, attempt), expected[attempt]) << attempt;
    EXPECT_EQ(BackoffDelay(p, 100000), 5000ms);
}

TEST(Backoff, ABadPolicyNeverBecomesABusyLoop) {
    struct Case {
        ms first, most;
        double factor;
        int attempt;
        ms delay;
    };
    const Case cases[] = {
        {0ms, 0ms, 2.0, 5, 1ms},         // no delay at all given
        {100ms, 50ms, 2.0, 3, 100ms},    // a ceiling below the first delay
        {100ms, 1000ms, 0.5, 3, 100ms},  // a shrinking factor
        {100ms, 1000ms, std::numeric_limits<double>::quiet_NaN(), 3, 100ms},
    };
    for (const Case& c : cases) {
        ReconnectPolicy p;
        p.first_delay = c.first;
        p.max_delay = c.most;
        p.factor = c.factor;
        EXPECT_EQ(BackoffDelay(p, c.attempt), c.delay) << c.first.count() << " " << c.factor;
    }
}

TEST(Backoff, TheLastWaitEndsAtTheTimeOut) {
    ReconnectPolicy p;
    p.timeout = 3000ms;
    EXPECT_EQ(NextWait(p, 0, 0ms), 500ms);
    EXPECT_EQ(NextWait(p, 3, 1500ms), 1500ms);  // 4 s cut to what is left
    EXPECT_EQ(NextWait(p, 3, 3000ms), 0ms);
    EXPECT_FALSE(TimedOut(p, 2999ms));
    EXPECT_TRUE(TimedOut(p, 3000ms));
    p.timeout = 0ms;  // for ever
    EXPECT_FALSE(TimedOut(p, std::chrono::hours(10000)));
    EXPECT_EQ(NextWait(p, 9, std::chrono::hours(10000)), 5000ms);
}

TEST(SameMeter, FoundBySerialWhereverItIsListedOrAtItsPath) {
    const std::vector<DeviceEntry> listed = {
        {"FT1", "FT232R USB UART"}, {"OV2", kMeterDescription}, {"OV1", kMeterDescription}};
    struct Case {
        MeterTarget target;
        bool pathPresent;
        std::optional<std::string> open;
    };
    const Case cases[] = {
        {MeterTarget::BySerial("OV1"), false, "OV1"},
        {MeterTarget::BySerial("OV3"), true, std::nullopt},
        // A listed device that is no meter is not taken for one.
        {MeterTarget::BySerial("FT1"), false, std::nullopt},
        {MeterTarget::ByPath("/dev/serial/by-id/x"), true, "/dev/serial/by-id/x"},
        {MeterTarget::ByPath("/dev/serial/by-id/x"), false, std::nullopt},
        {MeterTarget::Simulated(0), false, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindSameMeter(c.target, listed, c.pathPresent), c.open) << c.target.Label();
    EXPECT_EQ(FindSameMeter(MeterTarget::Simulated(0), {{"OV227700", kMeterDescription}}, false),
              "OV227700");
}

TEST(SameMeter, OnlyTwoKnownDifferentSerialsRefuse) {
    EXPECT_TRUE(SameMeterIdentity("OV1", "OV1"));
    EXPECT_FALSE(SameMeterIdentity("OV1", "OV2"));
    EXPECT_TRUE(SameMeterIdentity("", "OV2"));
    EXPECT_TRUE(SameMeterIdentity("OV1", ""));
}

}  // namespace
}  // namespace velquor::station
