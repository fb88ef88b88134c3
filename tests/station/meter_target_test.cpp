#include <gtest/gtest.h>

#include <string>

#include "station/meter_target.h"

namespace velquor::station {
namespace {

// A relative --port is a path below the working directory, never a serial number.
TEST(DevicePath, RelativePathsAreMadeAbsolute) {
    const struct {
        const char* typed;
        const char* cwd;
        const char* absolute;
    } cases[] = {
        {"./m1", "/dev/serial/by-id", "/dev/serial/by-id/m1"},
        {"usb-Orvane_RA_OR123456-if00-port0", "/dev/serial/by-id",
         "/dev/serial/by-id/usb-Orvane_RA_OR123456-if00-port0"},
        {"../by-path/pci-0:1", "/dev/serial/by-id", "/dev/serial/by-id/../by-path/pci-0:1"},
        {"ttyUSB0", "/dev", "/dev/ttyUSB0"},
        {"/dev/ttyUSB0", "/home/me", "/dev/ttyUSB0"},
        {"/dev//./ttyUSB0/", "/", "/dev/ttyUSB0"},
        {"m1", "/", "/m1"},
        {"OR123456", "/tmp", "/tmp/OR123456"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AbsoluteDevicePath(c.typed, c.cwd), c.absolute) << c.typed << " in " << c.cwd;

    std::string absolute, error;
    ASSERT_TRUE(ResolveDevicePath("m1", absolute, error)) << error;
    EXPECT_EQ(absolute.front(), '/');
    EXPECT_FALSE(ResolveDevicePath("", absolute, error));
    EXPECT_EQ(error, "--port needs a device path");
}

// Every simulated meter of the count can be chosen by its serial number.
TEST(SimulatedMeters, ChosenBySerialWithinTheCount) {
    const struct {
        const char* serial;
        int count;
        std::optional<int> index;
    } cases[] = {
        {"OV227700", 1, 0},  {"OV227701", 3, 1},    {"OV227702", 3, 2},
        {"OV227703", 3, {}}, {"OV227701", 1, {}},   {"OR123456", 16, {}},
        {"", 3, {}},         {"OV2277015", 16, {}}, {"OV227715", 16, 15},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SimulatedMeterIndex(c.serial, c.count), c.index) << c.serial << " of " << c.count;
}

}  // namespace
}  // namespace velquor::station
