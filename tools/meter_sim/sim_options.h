#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/meter_model.h"

namespace velquor::metersim {

// Fastest frame rate the line carries: 19200 baud is 1920 bytes/s, and a measurement
// frame without escapes is 9 bytes.
inline constexpr int kMaxFramesPerSecond = 213;

// Tagged frames carry a running counter modulo this in the power field, so every
// tag is a reading the view shows as a number (0.0 to 49.9 dBm, the top tenth over
// the alarm limit).
inline constexpr int kTagModulus = 500;

struct SimOptions {
    MeterModelConfig model;
    std::chrono::microseconds frameInterval{std::chrono::milliseconds(200)};
    // Wire bytes per write (0: whole replies and frames at once) and the pause after each.
    int chunk = 0;
    int chunkPauseMs = 5;
    // Leave after this many seconds (negative: run until a signal).
    double exitAfterS = -1.0;
    // Where the current record is written as hex after each record write and on exit.
    std::string recordOut;
    // Tag measurement frames with a running counter (see kTagModulus), and where to
    // log the send time of each counter value.
    bool tag = false;
    std::string sendLog;
    bool help = false;
};

// Parses the arguments after the program name. On a usage error returns false with
// a one-line reason.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);

std::string SimUsage();
// What the simulator tells on stderr once it serves: only what a client can see.
std::string ServingNotice(const std::string& path);

// "12852A0003001900 00" -> bytes; blanks between digit pairs are allowed.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(const std::string& text);
std::string HexText(const std::vector<std::uint8_t>& bytes);

// The measurement bytes of fixed readings; nothing when out of the byte's range.
std::optional<std::int16_t> PowerTenthsOf(double dBm);
std::optional<std::uint8_t> TemperatureByteOf(double celsius);
std::optional<std::uint8_t> BatteryByteOf(long long raw);

}  // namespace velquor::metersim
