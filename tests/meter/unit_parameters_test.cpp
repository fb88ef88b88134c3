#include <gtest/gtest.h>

#include "meter/unit_parameters.h"

namespace velquor {
namespace {

TEST(UnitParameters, DecodesDateAndFirmware) {
    const UnitParameters r = {0x12, 0x85, 0x2A, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(CalibrationDay(r), 18);
    EXPECT_EQ(CalibrationMonth(r), 5);
    EXPECT_EQ(CalibrationYear(r), 2015);
    EXPECT_EQ(FirmwareMajor(0x2A), 1);
    EXPECT_EQ(FirmwareMinor(0x2A), 10);
    EXPECT_EQ(FirmwareText(0x2A), "1.10");
    EXPECT_EQ(FirmwareText(0x25), "1. 5");
    // Bits 5-7 of the day byte are not part of the day.
    const UnitParameters high = {0xF2, 0x00, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(CalibrationDay(high), 18);
}

TEST(UnitParameters, FrequencyEncodingFollowsTheBase) {
    UnitParameters r{};
    EncodeFrequency(1700, false, r);
    EXPECT_EQ(r[6], 25);
    EXPECT_EQ(r[5], 0);
    EXPECT_EQ(FrequencyMhz(r), 1700);
    EncodeFrequency(150, true, r);
    r[4] = kFlagLowFrequency;
    EXPECT_EQ(r[6], 1);
    EXPECT_EQ(r[5], 10);
    EXPECT_EQ(FrequencyMhz(r), 150);
    EncodeFrequency(2700, false, r);
    r[4] = 0;
    EXPECT_EQ(FrequencyMhz(r), 2700);
}

TEST(UnitParameters, CableLossAndModulationFactor) {
    EXPECT_EQ(EncodeCableLoss(2.25), 22);
    EXPECT_EQ(EncodeCableLoss(2.26), 23);
    EXPECT_EQ(EncodeCableLoss(30.0), 300 & 0xFF);
    EXPECT_EQ(EncodeCableLoss(25.5), 255);
    UnitParameters r{};
    r[3] = 255;
    EXPECT_DOUBLE_EQ(CableLossDb(r), 25.5);
    EXPECT_DOUBLE_EQ(ModulationFactorDb(0x80), 12.8);
    EXPECT_DOUBLE_EQ(ModulationFactorDb(0x81), -12.7);
    EXPECT_DOUBLE_EQ(ModulationFactorDb(0xFF), -0.1);
    EXPECT_DOUBLE_EQ(ModulationFactorDb(0x00), 0.0);
    EXPECT_EQ(EncodeModulationFactor(-1.5), 0xF1);
    EXPECT_EQ(EncodeModulationFactor(0.0), 0x00);
    EXPECT_EQ(EncodeModulationFactor(12.7), 0x7F);
}

struct MeasurementCase {
    std::vector<std::uint8_t> frame;
    bool battery, power, temperature;
    double b, p, t;
};

TEST(DecodeMeasurement, TableOfFrames) {
    const MeasurementCase cases[] = {
        {{0xE4, 0x90, 0x9C, 0xFF, 0x64}, true, true, true, 576.0, -10.0, 75.0},
        {{0xE4, 0x00, 0x00, 0x80, 0x00}, true, true, true, 0.0, -3276.8, -50.0},
        {{0xE4, 0xFF, 0x10, 0x27, 40}, true, true, true, 1020.0, 1000.0, 0.0},
        {{0xE4, 0xA6, 0x00, 0x00, 0xFF}, true, true, true, 664.0, 0.0, 268.75},
        // Short frames: only fields whose bytes are all present.
        {{0xE4, 0x90, 0x9C}, true, false, false, 576.0, 0, 0},
        {{0xE4, 0x90, 0x9C, 0xFF}, true, true, false, 576.0, -10.0, 0},
        {{0xE4}, false, false, false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const Measurement m = DecodeMeasurement(c.frame.data(), static_cast<int>(c.frame.size()));
        SCOPED_TRACE(testing::PrintToString(c.frame));
        EXPECT_EQ(m.hasBattery, c.battery);
        EXPECT_EQ(m.hasPower, c.power);
        EXPECT_EQ(m.hasTemperature, c.temperature);
        if (c.battery) {
            EXPECT_DOUBLE_EQ(m.battery, c.b);
        }
        if (c.power) {
            EXPECT_DOUBLE_EQ(m.powerDbm, c.p);
        }
        if (c.temperature) {
            EXPECT_DOUBLE_EQ(m.temperatureC, c.t);
        }
    }
}

}  // namespace
}  // namespace velquor
