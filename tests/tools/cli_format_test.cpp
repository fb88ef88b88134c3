// The pure formatting of velquor-cli: what reaches a terminal, a JSON consumer or
// the user's eyes in a message.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <limits>

#include "cli_options.h"
#include "cli_text.h"
#include "log_recorder.h"
#include "reading_format.h"

namespace velquor::cli {
namespace {

TEST(PrintableText, EscapesWhatCouldSteerATerminal) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"OV227700", "OV227700"},
        {"Orvane \xC3\x9C"
         "ber",
         "Orvane \xC3\x9C"
         "ber"},                  // valid UTF-8 stays
        {"\x1B[2J", "\\x1B[2J"},  // ESC
        {"a\rb\nc\x7F", "a\\x0Db\\x0Ac\\x7F"},
        {"\xC2\x9B"
         "31m",
         "\\xC2\\x9B31m"},                    // C1 CSI in UTF-8
        {"\xFF\xC3", "\\xFF\\xC3"},           // stray and cut-off bytes
        {"\xE0\x80\xAF", "\\xE0\\x80\\xAF"},  // overlong
        {"back\\slash", "back\\\\slash"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PrintableText(c.in), c.out) << c.in;
}

TEST(TimeText, IsoUtcAndLocalClock) {
    // 2026-12-07T19:53:53.123456Z
    const std::int64_t t = 1796673233123456;
    EXPECT_EQ(IsoUtcText(t), "2026-12-07T19:53:53.123Z");
    EXPECT_EQ(IsoUtcText(0), "1970-01-01T00:00:00.000Z");
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(LocalClockText(t), "19:53:53.123");
    EXPECT_EQ(LocalSecondsText(t), "19:53:53");
    EXPECT_EQ(CountText(1, "row", "rows"), "1 row");
    EXPECT_EQ(CountText(0, "row", "rows"), "0 rows");
}

TEST(ParseNumberOption, WholeTextWithTheRangeNamed) {
    const NumberField mhz{"--frequency", 150, 2700, true, "MHz"};
    const struct {
        const char* text;
        const NumberField* field;
        std::optional<double> value;
        const char* message;
    } cases[] = {
        {"1800", &mhz, 1800.0, ""},
        {"1800abc",
         &mhz,
         {},
         "--frequency: \"1800abc\" is not a whole number; enter a whole "
         "number from 150 to 2700 MHz"},
        {"2701",
         &mhz,
         {},
         "--frequency: 2701 is out of range; enter a whole number from 150 "
         "to 2700 MHz"},
        {" 2,5 ", &kSecondsField, 2.5, ""},
        {"1e300",
         &kSecondsField,
         {},
         "--seconds: 1e+300 is out of range; enter a number from "
         "0.001 to 31536000 s"},
        {"",
         &kSecondsField,
         {},
         "--seconds: \"\" is not a number; enter a number from 0.001 to "
         "31536000 s"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(ParseNumberOption(c.text, *c.field, error), c.value) << c.text;
        EXPECT_EQ(error, c.message) << c.text;
    }
}

TEST(MonitorLines, HostileMeterNamesStaySafe) {
    station::Reading r;
    r.utc_us = 1796673233123456;
    r.power_dbm = -10.0;
    r.temperature_c = 26.25;
    r.battery = 576.0;
    const std::string hostile = "OV\"1\x1B[2J\xFF\n";
    const auto json = nlohmann::json::parse(MonitorJsonLine(r, hostile));
    EXPECT_EQ(json["time"], "2026-12-07T19:53:53.123Z");
    EXPECT_EQ(json["opcode"], 228);
    EXPECT_DOUBLE_EQ(json["power_dbm"].get<double>(), -10.0);
    EXPECT_DOUBLE_EQ(json["power_w"].get<double>(), 1e-4);
    EXPECT_DOUBLE_EQ(json["temperature_c"].get<double>(), 26.25);
    // The raw gauge number stays; the percentage and flag are the window's gauge.
    EXPECT_DOUBLE_EQ(json["battery"].get<double>(), 576.0);
    EXPECT_EQ(json["battery_percent"], 0);
    EXPECT_EQ(json["battery_low"], true);
    EXPECT_EQ(json["meter"], "OV\"1\x1B[2J\xEF\xBF\xBD\n");  // invalid byte replaced
    setenv("TZ", "UTC", 1);
    tzset();
    const std::string text = MonitorTextLine(r, hostile, true);
    EXPECT_EQ(text,
              "19:53:53.123  OV\"1\\x1B[2J\\xFF\\x0A  measurement  battery 576.0 (0%, low)  power "
              "-10.0 dBm  temperature 26.25 C");
    r.kind = station::ReadingKind::LinkLost;
    const auto lost = nlohmann::json::parse(MonitorJsonLine(r, "OV1"));
    EXPECT_EQ(lost["event"], "link_lost");
    EXPECT_FALSE(lost.contains("power_dbm"));
}

TEST(MonitorLines, AFrameWithoutPowerCarriesNoEarlierValue) {
    measure::MeasurePipeline p;
    p.Process(-10.0, 0);
    station::Reading r;
    r.power_dbm = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(p.Process(r.power_dbm, 0));
    const auto json = nlohmann::json::parse(MonitorJsonLine(r, "OV1", p));
    EXPECT_TRUE(json["power_dbm"].is_null());
    r.battery = std::numeric_limits<double>::quiet_NaN();  // a frame without battery
    const auto noBattery = nlohmann::json::parse(MonitorJsonLine(r, "OV1"));
    EXPECT_TRUE(noBattery["battery_percent"].is_null());
    EXPECT_TRUE(noBattery["battery_low"].is_null());
    EXPECT_FALSE(json.contains("value")) << json.dump();
    EXPECT_EQ(MonitorTextLine(r, "OV1", false, p).find("value"), std::string::npos);
    // Nor does one whose power the measurement refused as impossible.
    r.power_dbm = 3082.6;
    EXPECT_FALSE(p.Process(r.power_dbm, 0));
    EXPECT_FALSE(nlohmann::json::parse(MonitorJsonLine(r, "OV1", p)).contains("value"));
    EXPECT_EQ(MonitorTextLine(r, "OV1", false, p).find("value"), std::string::npos);
    EXPECT_EQ(p.Statistics().invalid, 1);
}

// JSON, CSV and "read --unit w" print the watts the window shows: one conversion.
TEST(MonitorLines, WattsAreTheMeasurementMathsWatts) {
    for (double dbm : {43.0, 33.0, 7.0, -12.3, 30.0, 20.0, -60.0}) {
        SCOPED_TRACE(dbm);
        measure::MeasurePipeline p;
        p.SetUnit(measure::PowerUnit::Watt);
        ASSERT_TRUE(p.Process(dbm, 0));
        station::Reading r;
        r.power_dbm = dbm;
        const auto json = nlohmann::json::parse(MonitorJsonLine(r, "OV1"));
        EXPECT_EQ(json["power_w"].get<double>(), p.OutputValue());
        const std::string row = CsvRow(0, "OV1", r, {});
        EXPECT_NE(row.find("," + CsvNumber(p.OutputValue()) + ","), std::string::npos) << row;
    }
}

}  // namespace
}  // namespace velquor::cli
