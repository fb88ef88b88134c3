#include "meter/unit_parameters.h"

#include "meter/number_format.h"
#include "meter/round_half_down.h"

namespace velquor {

int CalibrationDay(const UnitParameters& r) {
    return r[0] & 0x1F;
}
int CalibrationMonth(const UnitParameters& r) {
    return r[1] & 0x0F;
}
int CalibrationYear(const UnitParameters& r) {
    return (r[1] >> 4) + 2007;
}
int FirmwareMajor(std::uint8_t firmware) {
    return firmware >> 5;
}
int FirmwareMinor(std::uint8_t firmware) {
    return firmware & 0x1F;
}

std::string FirmwareText(std::uint8_t firmware) {
    return FormatC("%d.%2d", FirmwareMajor(firmware), FirmwareMinor(firmware));
}

double CableLossDb(const UnitParameters& r) {
    return r[3] / 10.0;
}

std::uint8_t EncodeCableLoss(double db) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(RoundHalfDown(db * 10.0)) & 0xFFu);
}

bool LowFrequency(const UnitParameters& r) {
    return (r[4] & kFlagLowFrequency) != 0;
}

int FrequencyBase(bool lowFrequency) {
    return lowFrequency ? kLowFrequencyBase : kNormalFrequencyBase;
}

int FrequencyMhz(const UnitParameters& r) {
    return FrequencyBase(LowFrequency(r)) + r[5] + 40 * r[6];
}

void EncodeFrequency(int mhz, bool lowFrequency, UnitParameters& r) {
    const int offset = mhz - FrequencyBase(lowFrequency);
    r[6] = static_cast<std::uint8_t>(offset / 40);
    r[5] = static_cast<std::uint8_t>(offset % 40);
}

double ModulationFactorDb(std::uint8_t byte) {
    return byte <= 128 ? byte / 10.0 : (byte - 256) / 10.0;
}

std::uint8_t EncodeModulationFactor(double db) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(RoundHalfDown(db * 10.0 + 256.0)) &
                                     0xFFu);
}

Measurement DecodeMeasurement(const std::uint8_t* frame, int length) {
    Measurement m;
    if (length >= 2) {
        m.hasBattery = true;
        m.battery = frame[1] * 4.0;
    }
    if (length >= 4) {
        m.hasPower = true;
        const auto raw = static_cast<std::int16_t>(frame[2] | (frame[3] << 8));
        m.powerDbm = raw / 10.0;
    }
    if (length >= 5) {
        m.hasTemperature = true;
        m.temperatureC = frame[4] * 5.0 * 0.25 - 50.0;
    }
    return m;
}

}  // namespace velquor
