#include "display/measurement_update.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "display/measurement_panel_layout.h"
#include "measure/battery_gauge.h"
#include "measure/power_units.h"

namespace velquor {
namespace {

TEST(MeasurementConversions, WattAndFahrenheit) {
    const auto watt = [](double dbm) { return measure::DbmToUnit(dbm, measure::PowerUnit::Watt); };
    EXPECT_EQ(watt(30.0), 1.0);
    EXPECT_EQ(watt(20.0), 0.1);
    EXPECT_EQ(watt(0.0), 0.001);
    EXPECT_EQ(watt(-40.0), 1e-7);
    EXPECT_NEAR(watt(43.0), 19.9526, 1e-4);
    EXPECT_DOUBLE_EQ(CelsiusToFahrenheit(25.0), 77.0);
    EXPECT_DOUBLE_EQ(CelsiusToFahrenheit(-40.0), -40.0);
}

struct ReadoutCase {
    bool connected;
    double power;
    const char* dbm;
    const char* watt;
};

TEST(MeasurementReadouts, PowerTextsFollowRangeAndFormat) {
    const ReadoutCase cases[] = {
        {true, 20.0, "20.0", "0.100"},
        {true, 30.0, "30.0", "1.00"},
        {true, 43.0, "43.0", "19.95"},
        {true, -3.9, "-3.9", "0.000"},
        {true, 50.0, "50.0", "100.00"},
        {true, 50.1, " ------", " ------"},
        {true, -4.0, " ------", " ------"},
        {true, 60.0, " ------", " ------"},
        {false, 20.0, " ------", " ------"},
        {true, std::numeric_limits<double>::quiet_NaN(), " ------", " ------"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.connected << " " << c.power);
        EXPECT_EQ(DbmReadoutText(c.connected, c.power), c.dbm);
        EXPECT_EQ(WattReadoutText(c.connected, c.power), c.watt);
    }
}

TEST(MeasurementReadouts, TemperatureTextsTestTheCelsiusValue) {
    EXPECT_EQ(CelsiusReadoutText(true, 25.0), "25.0");
    EXPECT_EQ(FahrenheitReadoutText(true, 25.0), "77.0");
    EXPECT_EQ(CelsiusReadoutText(true, -50.0), "-50.0");
    EXPECT_EQ(FahrenheitReadoutText(true, -50.0), "-58.0");
    // 149 C is 300.2 F: shown although the F value is large, because the C value is in range.
    EXPECT_EQ(FahrenheitReadoutText(true, 149.0), "300.2");
    for (double t : {150.0, -100.0, 268.75}) {
        EXPECT_EQ(CelsiusReadoutText(true, t), "------") << t;
        EXPECT_EQ(FahrenheitReadoutText(true, t), "------") << t;
    }
    EXPECT_EQ(CelsiusReadoutText(false, 25.0), "------");
    EXPECT_EQ(FahrenheitReadoutText(false, 25.0), "------");
}

struct LimitCase {
    double power;
    double temp;
    LimitState state;
    const char* message;
};

TEST(MeasurementLimits, StatesAndMessages) {
    const LimitCase cases[] = {
        {45.0, 45.0, LimitState::None, ""},
        {45.1, 45.0, LimitState::PowerOver, "Power is over the limit!"},
        {45.0, 45.1, LimitState::TemperatureOver, "TEMP is over the limit!"},
        {46.0, 268.75, LimitState::BothOver, "Both are over the limit!"},
        {-5.0, 20.0, LimitState::None, ""},
        {-5.1, 20.0, LimitState::PowerBelow, "Power is below the limit!"},
        // An over-temperature wins over a low power.
        {-5.1, 46.0, LimitState::TemperatureOver, "TEMP is over the limit!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.power << " / " << c.temp);
        EXPECT_EQ(EvaluateLimitState(c.power, c.temp), c.state);
        EXPECT_STREQ(LimitMessage(c.state), c.message);
    }
    EXPECT_FALSE(IsOverLimit(LimitState::PowerBelow));
    EXPECT_FALSE(IsOverLimit(LimitState::None));
    EXPECT_TRUE(IsOverLimit(LimitState::BothOver));
}

TEST(MeasurementBattery, BarIsTruncatedAndClamped) {
    const std::pair<double, int> cases[] = {
        {576.0, 72}, {500.0, 72},
        {620.0, 36}, {664.0, 0},
        {700.0, 0},  {577.0, 71},  // 72 - 0.818 = 71.18
        {663.0, 0},                // 72 - 71.18 = 0.82
        {0.0, 72},   {std::numeric_limits<double>::quiet_NaN(), 72},
    };
    for (const auto& [battery, bar] : cases)
        EXPECT_EQ(BatteryBar(battery), bar) << battery;
}

// The percentage the command line, SCPI and MQTT report is the gauge's filling.
TEST(MeasurementBattery, GaugeAgreesWithTheReportedPercentage) {
    for (int byte = 0; byte <= 255; ++byte) {
        const double raw = byte * 4.0;  // the meter sends a quarter of the gauge number
        const int filled = kBatteryBarMax - BatteryBar(raw);
        const int percent = measure::BatteryPercent(raw).value_or(-1);
        // A pixel of the gauge, plus the percentage's rounding.
        EXPECT_LE(std::abs(filled * 100.0 / kBatteryBarMax - percent), 100.0 / kBatteryBarMax + 0.5)
            << raw;
        EXPECT_EQ(measure::BatteryLow(raw), filled == 0) << raw;
    }
}

TEST(MeasurementReadouts, CentringNeverStartsLeftOfTheBox) {
    EXPECT_EQ(DbmReadoutX(40), 65);
    EXPECT_EQ(DbmReadoutX(41), 64);  // 59 / 2 rounds toward zero
    EXPECT_EQ(DbmReadoutX(99), 35);
    EXPECT_EQ(DbmReadoutX(100), 35);
    EXPECT_EQ(DbmReadoutX(180), 35);
    EXPECT_EQ(WattReadoutX(40), 66);
    EXPECT_EQ(WattReadoutX(140), 36);
    EXPECT_EQ(DialReadoutX(30), 113);
    EXPECT_EQ(DialReadoutX(70), 103);
}

struct NeedleCase {
    double temp;
    NeedlePolygon polygon;
};

TEST(MeasurementNeedle, PolygonRoundsHalfDownAndTruncatesNegatives) {
    // Worked out from the angle formula; -40 C lands at 225 degrees where both tip offsets are
    // -24.75 and only truncate.
    const NeedleCase cases[] = {
        {25.0, {{{51, 49}, {54, 45}, {81, 31}, {56, 48}}}},
        {-40.0, {{{51, 49}, {50, 53}, {27, 73}, {47, 50}}}},
        {48.9, {{{51, 49}, {56, 50}, {78, 71}, {53, 53}}}},
        {0.0, {{{51, 49}, {48, 45}, {42, 15}, {52, 44}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.temp);
        const NeedlePolygon p = ComputeNeedlePolygon(c.temp);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(p[i].x, c.polygon[i].x) << i;
            EXPECT_EQ(p[i].y, c.polygon[i].y) << i;
        }
    }
}

TEST(MeasurementPanelEvaluation, NotConnectedShowsPlaceholdersAndIdleDial) {
    MeasurementDisplayState state;
    const MeterReadings readings{60.0, 80.0, 640.0};
    for (int i = 0; i < 3; ++i) {
        const MeasurementPanelContent c = EvaluateMeasurementPanel(state, false, readings);
        EXPECT_EQ(c.dbmText, " ------");
        EXPECT_EQ(c.wattText, " ------");
        EXPECT_EQ(c.celsiusText, "------");
        EXPECT_EQ(c.fahrenheitText, "------");
        EXPECT_EQ(c.needle, ComputeNeedlePolygon(25.0));
        EXPECT_TRUE(c.clearBatteryReading);
        EXPECT_EQ(c.batteryFill.width, 0);
        EXPECT_FALSE(c.batteryWhite);  // empty but steady
        EXPECT_EQ(c.limit, LimitState::None);
        EXPECT_FALSE(c.strip.has_value());
        EXPECT_TRUE(c.message.empty());
    }
    EXPECT_EQ(state.m_dShownPower, 60.0);  // still sampled by the trace
    EXPECT_EQ(state.m_dShownTemp, 25.0);
    EXPECT_EQ(state.m_nBatteryBar, 72);
    EXPECT_FALSE(state.m_bAlarmBlink);
    EXPECT_FALSE(state.m_bBatteryBlink);
}

TEST(MeasurementPanelEvaluation, ConnectedTakesReadings) {
    MeasurementDisplayState state;
    const MeasurementPanelContent c = EvaluateMeasurementPanel(state, true, {20.0, 25.0, 620.0});
    EXPECT_EQ(state.m_dShownPower, 20.0);
    EXPECT_EQ(state.m_dShownTemp, 25.0);
    EXPECT_EQ(state.m_nBatteryBar, 36);
    EXPECT_EQ(c.batteryFill, (PanelRect{105, 4, 36, 12}));
    EXPECT_FALSE(c.clearBatteryReading);
    EXPECT_FALSE(c.batteryWhite);
    EXPECT_EQ(c.dbmText, "20.0");
    EXPECT_EQ(c.wattText, "0.100");
    EXPECT_EQ(c.celsiusText, "25.0");
    EXPECT_EQ(c.fahrenheitText, "77.0");
    EXPECT_FALSE(c.strip.has_value());
    EXPECT_TRUE(c.message.empty());
}

TEST(MeasurementPanelEvaluation, OverLimitStripAlternatesRedYellow) {
    MeasurementDisplayState state;
    const RgbColor expected[] = {kAlarmRed, kAlarmYellow, kAlarmRed};
    for (const RgbColor& colour : expected) {
        const MeasurementPanelContent c =
            EvaluateMeasurementPanel(state, true, {46.0, 25.0, 640.0});
        ASSERT_TRUE(c.strip.has_value());
        EXPECT_EQ(*c.strip, colour);
        EXPECT_EQ(c.message, "Power is over the limit!");
    }
    // A redraw below the limit leaves the toggle where it was.
    const bool before = state.m_bAlarmBlink;
    const MeasurementPanelContent below =
        EvaluateMeasurementPanel(state, true, {-5.1, 25.0, 640.0});
    EXPECT_FALSE(below.strip.has_value());
    EXPECT_EQ(below.message, "Power is below the limit!");
    EXPECT_EQ(state.m_bAlarmBlink, before);
}

TEST(MeasurementPanelEvaluation, OutOfRangeTemperatureStillRaisesTheAlarm) {
    MeasurementDisplayState state;
    const MeasurementPanelContent c = EvaluateMeasurementPanel(state, true, {20.0, 268.75, 640.0});
    EXPECT_EQ(c.celsiusText, "------");
    EXPECT_EQ(c.message, "TEMP is over the limit!");
    EXPECT_TRUE(c.strip.has_value());
}

TEST(MeasurementPanelEvaluation, EmptyBatteryBlinksOnlyWhileConnected) {
    MeasurementDisplayState state;
    std::vector<bool> whites;
    for (int i = 0; i < 4; ++i)
        whites.push_back(EvaluateMeasurementPanel(state, true, {20.0, 25.0, 576.0}).batteryWhite);
    EXPECT_EQ(whites, (std::vector<bool>{false, true, false, true}));
    const MeasurementPanelContent full = EvaluateMeasurementPanel(state, true, {20.0, 25.0, 664.0});
    EXPECT_FALSE(full.batteryWhite);
    EXPECT_EQ(full.batteryFill, (PanelRect{69, 4, 72, 12}));
}

TEST(MeasurementPanelLayoutTest, FrameLeavesGapForTitle) {
    const MeasurementPanelLayout l = LayoutMeasurementPanel(235, 150);
    EXPECT_EQ(l.title, (PanelPoint{245, 10}));
    EXPECT_EQ(l.battery, (PanelPoint{586, 21}));
    EXPECT_EQ(l.dbm, (PanelPoint{235, 42}));
    EXPECT_EQ(l.watt, (PanelPoint{407, 42}));
    EXPECT_EQ(l.dial, (PanelPoint{579, 42}));
    EXPECT_EQ(l.frame[0], (PanelLine{{240, 20}, {230, 20}}));
    EXPECT_EQ(l.frame[2], (PanelLine{{230, 143}, {755, 143}}));
    EXPECT_EQ(l.frame[4], (PanelLine{{755, 20}, {395, 20}}));
    EXPECT_EQ(l.stripClear, (PanelRect{394, 21, 155, 20}));
    EXPECT_EQ(l.strip, (PanelRect{395, 21, 145, 19}));
    EXPECT_EQ(l.message, (PanelPoint{400, 22}));
}

}  // namespace
}  // namespace velquor
