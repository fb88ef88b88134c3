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
    EXPECT_EQ(o.frameInterval.count(), 50000);
    EXPECT_TRUE(Parse({"--help"}).help);
}

TEST(MeterSimOptions, TellsOnlyWhatAClientSees) {
    const std::string notice = ServingNotice("/dev/pts/7");
    EXPECT_EQ(notice.rfind("simulated meter on /dev/pts/7; ", 0), 0u) << notice;
    EXPECT_NE(notice.find("no serial number"), std::string::npos) << notice;
    EXPECT_NE(notice.find("velquor-cli info --simulate 3 --serial OV227701"), std::string::npos);
    EXPECT_EQ(notice.find("OV227700"), std::string::npos) << notice;
    EXPECT_EQ(notice.find("Dunmarsh"), std::string::npos) << notice;
}

TEST(MeterSimOptions, NumbersAreWholeTextsInTheirRange) {
    const SimOptions o = Parse({"--rate", " 10 ", "--power", "-12,3", "--silence-after", "2,5"});
    EXPECT_EQ(o.frameInterval.count(), 100000);
    EXPECT_EQ(o.model.fixedPowerTenths, std::int16_t{-123});
    EXPECT_DOUBLE_EQ(o.model.silenceAfterS, 2.5);
}

TEST(MeterSimOptions, BadInputIsAUsageError) {
    struct Case {
        std::vector<std::string> args;
        // What the message must name; numbers also name their range.
        std::vector<std::string> says;
    };
    const Case bad[] = {
        {{"--rate", "214"}, {"--rate", "1 to 213"}},
        {{"--rate", "0"}, {"--rate", "1 to 213"}},
        {{"--rate", "12x"}, {"--rate", "1 to 213"}},
        {{"--rate", "1,5"}, {"--rate", "whole"}},
        {{"--rate", "0x10"}, {"--rate", "1 to 213"}},
        {{"--interval-ms", "1"}, {"--interval-ms", "5 to 3600000"}},
        {{"--interval-ms", "50abc"}, {"--interval-ms", "5 to 3600000"}},
        {{"--power", "abc"}, {"--power", "-3276.8 to 3276.7 dBm"}},
        {{"--power", "1e4"}, {"--power", "-3276.8 to 3276.7 dBm"}},
        {{"--power", "5000"}, {"--power"}},
        {{"--temperature", ""}, {"--temperature", "-50 to 268.75"}},
        {{"--temperature", "25C"}, {"--temperature"}},
        {{"--battery", "-1"}, {"--battery", "0 to 1023"}},
        {{"--battery", "576.0"}, {"--battery", "whole"}},
        {{"--silence-after", "-1"}, {"--silence-after", "0 to 604800"}},
        {{"--exit-after", "0"}, {"--exit-after", "0.001 to 604800"}},
        {{"--exit-after", "3abc"}, {"--exit-after"}},
        {{"--ack-delay-ms", "1e3"}, {"--ack-delay-ms", "0 to 600000"}},
        {{"--read-back-delta", "256"}, {"--read-back-delta", "-255 to 255"}},
        {{"--chunk", "0"}, {"--chunk", "1 to 65536"}},
        {{"--chunk-pause-ms", "nan"}, {"--chunk-pause-ms", "0 to 10000"}},
        {{"--record", "1285"}, {"--record"}},
        {{"--record", "12852A0003001900000"}, {"--record"}},
        {{"--record", "1 2852A0003001900 00"}, {"--record"}},
        {{"--junk", "ABC"}, {"--junk"}},
        {{"--junk", "zz"}, {"--junk"}},
        {{"--no-ack=1"}, {"--no-ack"}},
        {{"--frobnicate"}, {"--frobnicate"}},
        {{"--power"}, {"--power"}},
        // A pseudo-terminal has no USB identity to carry them; say where serial selection is.
        {{"--serial", "OR000001"}, {"--serial: ", "no USB identity", "--simulate 3 --serial"}},
        {{"--manufacturer=Acme"}, {"--manufacturer: ", "no USB identity"}},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
        SimOptions options;
        std::string error;
        EXPECT_FALSE(ParseSimOptions(c.args, options, error));
        for (const std::string& part : c.says)
            EXPECT_NE(error.find(part), std::string::npos) << error;
        // Nothing of a refused value is kept.
        EXPECT_FALSE(options.model.fixedPowerTenths);
        EXPECT_DOUBLE_EQ(options.model.silenceAfterS, -1.0);
        EXPECT_DOUBLE_EQ(options.exitAfterS, -1.0);
    }
}

TEST(MeterSimOptions, HexRoundTrip) {
    EXPECT_EQ(HexText({0x12, 0x85, 0x0A}), "12850A");
    EXPECT_EQ(ParseHexBytes("12:85 0a"), (std::vector<std::uint8_t>{0x12, 0x85, 0x0A}));
    EXPECT_EQ(ParseHexBytes(""), std::vector<std::uint8_t>{});
}

}  // namespace
}  // namespace velquor::metersim
