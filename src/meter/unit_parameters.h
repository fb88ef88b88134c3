#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velquor {

// Opcodes of the meter's messages.
inline constexpr std::uint8_t kOpReadRecord = 0xE2;
inline constexpr std::uint8_t kOpWriteRecord = 0xE3;
inline constexpr std::uint8_t kOpMeasurement = 0xE4;
inline constexpr std::uint8_t kOpLinkLost = 0xF0;

inline constexpr std::uint8_t kFlagShowDbm = 0x01;
inline constexpr std::uint8_t kFlagShowWatt = 0x02;
inline constexpr std::uint8_t kFlagLowFrequency = 0x20;

inline constexpr int kLowFrequencyBase = 100;
inline constexpr int kNormalFrequencyBase = 700;

// The unit's 9-byte parameter record, byte 0 first.
using UnitParameters = std::array<std::uint8_t, 9>;

int CalibrationDay(const UnitParameters& r);
int CalibrationMonth(const UnitParameters& r);
int CalibrationYear(const UnitParameters& r);
int FirmwareMajor(std::uint8_t firmware);
int FirmwareMinor(std::uint8_t firmware);
// "%d.%2d": a one-digit minor is preceded by a blank.
std::string FirmwareText(std::uint8_t firmware);
double CableLossDb(const UnitParameters& r);
std::uint8_t EncodeCableLoss(double db);
bool LowFrequency(const UnitParameters& r);
int FrequencyBase(bool lowFrequency);
int FrequencyMhz(const UnitParameters& r);
// Bytes 5 and 6 for a frequency; the caller has checked the range.
void EncodeFrequency(int mhz, bool lowFrequency, UnitParameters& r);
double ModulationFactorDb(std::uint8_t byte);
std::uint8_t EncodeModulationFactor(double db);

// One decoded measurement; a field is present only when its bytes were in the frame.
struct Measurement {
    bool hasBattery = false;
    bool hasPower = false;
    bool hasTemperature = false;
    double battery = 0.0;
    double powerDbm = 0.0;
    double temperatureC = 0.0;
};

// Decodes an E4 frame (opcode first). Fields whose bytes are missing stay absent.
Measurement DecodeMeasurement(const std::uint8_t* frame, int length);

}  // namespace velquor
