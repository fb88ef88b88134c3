#include <gtest/gtest.h>

#include "sim_options.h"

namespace velquor::metersim {
namespace {

SimOptions Parse(std::vector<std::string> args, bool expectOk = true) {
    SimOptions options;
    std::string error;
    EXPECT_EQ(ParseSimOptions(args, options, error), expectOk) << error;
    if (!expectOk) {
        EXPECT_FALSE(error.empty());
    }
    return options;
}

TEST(MeterSimOptions, ReadingsBecomeTheMeasurementBytes) {
    const SimOptions o =
        Parse({"--power", "-12.3", "--temperature=25", "--battery", "664", "--rate", "213"});
    EXPECT_EQ(o.model.fixedPowerTenths, std::int16_t{-123});
    EXPECT_EQ(o.model.fixedTemperature, std::uint8_t{60});
    EXPECT_EQ(o.model.fixedBattery, std::uint8_t{166});
    EXPECT_EQ(o.frameInterval.count(), 1000000 / 213);

    struct Case {
        double dBm;
        std::int16_t tenths;
    } powers[] = {{436.9, 0x1111}, {0.0, 0}, {-0.05, -1}, {3276.7, 32767}, {-3276.8, -32768}};
    for (const auto& c : powers)
        EXPECT_EQ(PowerTenthsOf(c.dBm), c.tenths) << c.dBm;
    EXPECT_FALSE(PowerTenthsOf(3276.8));
    EXPECT_EQ(TemperatureByteOf(-50.0), std::uint8_t{0});
    EXPECT_EQ(TemperatureByteOf(268.75), std::uint8_t{255});
    EXPECT_FALSE(TemperatureByteOf(-51.0));
    EXPECT_EQ(BatteryByteOf(576), std::uint8_t{144});
    EXPECT_EQ(BatteryByteOf(1023), std::uint8_t{255});
    EXPECT_FALSE(BatteryByteOf(1024));
}

TEST(MeterSimOptions, BehaviourKnobs) {
    const SimOptions o = Parse({"--record",
                                "12852A0003001900 00",
                                "--no-ack",
                                "--ack-delay-ms",
                                "300",
                                "--read-back-delta",
                                "-2",
                                "--junk",
                                "00FF11",
                                "--chunk",
                                "4",
                                "--silence-after",
                                "1.5",
                                "--exit-after",
                                "9",
                                "--record-out",
                                "/tmp/r",
                                "--serial",
                                "X1",
                                "--manufacturer",
                                "Acme",
                                "--no-answer",
                                "--interval-ms",
                                "50"});
    EXPECT_EQ(o.model.record,
              (std::vector<std::uint8_t>{0x12, 0x85, 0x2A, 0x00, 0x03, 0x00, 0x19, 0x00, 0x00}));
    EXPECT_FALSE(o.model.acknowledgeWrites);
    EXPECT_FALSE(o.model.answerRequests);
    EXPECT_EQ(o.model.ackDelayMs, 300);
    EXPECT_EQ(o.model.readBackStepDelta, -2);
    EXPECT_EQ(o.model.junk, (std::vector<std::uint8_t>{0x00, 0xFF, 0x11}));
    EXPECT_EQ(o.chunk, 4);
    EXPECT_DOUBLE_EQ(o.model.silenceAfterS, 1.5);
    EXPECT_DOUBLE_EQ(o.exitAfterS, 9.0);
    EXPECT_EQ(o.recordOut, "/tmp/r");
    EXPECT_EQ(o.model.serial, "X1");
    EXPECT_EQ(o.model.manufacturer, "Acme");
    EXPECT_EQ(o.frameInterval.count(), 50000);
    EXPECT_TRUE(Parse({"--help"}).help);
}

TEST(MeterSimOptions, BadInputIsAUsageError) {
    const std::vector<std::vector<std::string>> bad = {
        {"--rate", "214"},
        {"--rate", "0"},
        {"--rate", "12x"},
        {"--power", "abc"},
        {"--power", "1e3"},
        {"--power", "5000"},
        {"--temperature", ""},
        {"--battery", "-1"},
        {"--record", "1285"},
        {"--record", "12852A0003001900000"},
        {"--junk", "ABC"},
        {"--junk", "zz"},
        {"--chunk", "0"},
        {"--exit-after", "0"},
        {"--no-ack=1"},
        {"--frobnicate"},
        {"--power"},
        {"--interval-ms", "1"},
        {"--silence-after", "-1"},
        {"--record", "1 2852A0003001900 00"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
        Parse(args, false);
    }
}

TEST(MeterSimOptions, HexRoundTrip) {
    EXPECT_EQ(HexText({0x12, 0x85, 0x0A}), "12850A");
    EXPECT_EQ(ParseHexBytes("12:85 0a"), (std::vector<std::uint8_t>{0x12, 0x85, 0x0A}));
    EXPECT_EQ(ParseHexBytes(""), std::vector<std::uint8_t>{});
}

}  // namespace
}  // namespace velquor::metersim
