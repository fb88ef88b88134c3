#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "measure/battery_gauge.h"

namespace velquor::measure {
namespace {

TEST(BatteryGauge, PercentAndLowFromTheRawNumber) {
    const struct {
        double raw;
        std::optional<int> percent;
        std::optional<bool> low;
    } cases[] = {
        {0.0, 0, true},
        {576.0, 0, true},
        {580.0, 5, false},  // 4.5 rounds up
        {577.0, 1, false},
        {620.0, 50, false},
        {636.0, 68, false},
        {663.0, 99, false},
        {664.0, 100, false},
        {1020.0, 100, false},
        {NAN, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BatteryPercent(c.raw), c.percent) << c.raw;
        EXPECT_EQ(BatteryLow(c.raw), c.low) << c.raw;
    }
    EXPECT_TRUE(std::isnan(BatteryFraction(NAN)));
}

}  // namespace
}  // namespace velquor::measure
