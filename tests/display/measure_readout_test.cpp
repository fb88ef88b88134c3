#include <gtest/gtest.h>

#include "display/measure_readout.h"

namespace velquor {
namespace {

struct Fixture {
    measure::MeasurePipeline pipeline;
    MeasurementDisplayState state;
    MeterReadings readings{20.0, 25.0, 640.0};

    MeasurementPanelContent Evaluate(bool connected = true) {
        MeasurementPanelContent content = EvaluateMeasurementPanel(state, connected, readings);
        ApplyMeasureReadouts(content, state, connected, pipeline);
        return content;
    }
    void Set(const measure::MeasureSettings& s) {
        std::string error;
        ASSERT_TRUE(pipeline.Apply(s, error)) << error;
    }
};

TEST(MeasureReadout, PlainSettingsLeaveThePanelAsItWas) {
    Fixture f;
    f.pipeline.Process(13.0, 0);  // an older reading than the meter's latest
    MeasurementDisplayState before;
    const MeasurementPanelContent plain = EvaluateMeasurementPanel(before, true, f.readings);
    const MeasurementPanelContent content = f.Evaluate();
    EXPECT_EQ(content.dbmText, plain.dbmText);
    EXPECT_EQ(content.dbmText, "20.0");
    EXPECT_EQ(content.wattText, "0.100");
    EXPECT_FALSE(content.marks.Any());
    EXPECT_DOUBLE_EQ(f.state.m_dShownPower, 20.0);
}

TEST(MeasureReadout, MarksRelativeModeAndFailedLimits) {
    const struct {
        const char* name;
        measure::MeasureSettings settings;
        std::vector<double> readings;
        const char* dbm;
        const char* watt;
        const char* caption;
        const char* unit;
        const char* state;
        bool failed;
    } cases[] = {
        {"relative",
         {.relative = true, .reference_dbm = 17.0, .limits = {}},
         {20.0},
         "+3.0",
         "0.100",
         "REL",
         "dB",
         "",
         false},
        {"averaged, offset, upper failed",
         {.average_count = 2, .offset_db = 30.0, .limits = {45.0, std::nullopt}},
         {10.0, 20.0},
         "47.40",  // (10 + 100) / 2 mW is 17.40 dBm, plus 30 dB
         "55.00",  // 55 mW times 1000
         "AVG 2  OFS +30.0",
         "dBm",
         "HIGH",
         true},
        {"lower passes on equality",
         {.limits = {std::nullopt, 20.0}},
         {20.0},
         "20.0",
         "0.100",
         "",
         "dBm",
         "PASS",
         false},
        {"max hold in W",
         {.max_hold = true, .limits = {}, .unit = measure::PowerUnit::Watt},
         {30.0, 20.0},
         "1.00",
         "1.00",
         "MAX",
         "W",
         "",
         false},
        {"dBuV below the lower limit",
         {.limits = {std::nullopt, 21.0}, .unit = measure::PowerUnit::Dbuv},
         {20.0},
         "127.0",
         "0.100",
         "",
         "dBuV",
         "LOW",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.Set(c.settings);
        for (double r : c.readings)
            f.pipeline.Process(r, 0);
        const MeasurementPanelContent content = f.Evaluate();
        EXPECT_EQ(content.dbmText, c.dbm);
        EXPECT_EQ(content.wattText, c.watt);
        EXPECT_EQ(content.marks.caption, c.caption);
        EXPECT_TRUE(content.marks.lampRow || c.settings.unit == measure::PowerUnit::Dbm);
        EXPECT_EQ(content.marks.unit, c.unit);
        EXPECT_EQ(content.marks.state, c.state);
        EXPECT_EQ(content.marks.failed, c.failed);
        // The trace samples what the readouts show, in absolute dBm.
        EXPECT_DOUBLE_EQ(f.state.m_dShownPower, f.pipeline.Last().shown_dbm);
    }
}

TEST(MeasureReadout, NoNumberWithoutAReadingTheSensorVouchesFor) {
    measure::MeasureSettings s;
    s.relative = true;
    s.limits.upper_dbm = 0.0;
    for (double input : {-4.0, 50.1}) {
        Fixture f;
        f.Set(s);
        f.pipeline.Process(input, 0);
        const MeasurementPanelContent content = f.Evaluate();
        EXPECT_EQ(content.dbmText, kPowerPlaceholder) << input;
        EXPECT_EQ(content.wattText, kPowerPlaceholder);
        EXPECT_FALSE(content.marks.failed);  // no verdict on a value not shown
        EXPECT_EQ(content.marks.unit, "dB");
    }
    Fixture f;
    f.Set(s);
    f.pipeline.Process(20.0, 0);
    EXPECT_EQ(f.Evaluate(false).dbmText, kPowerPlaceholder);
}

}  // namespace
}  // namespace velquor
