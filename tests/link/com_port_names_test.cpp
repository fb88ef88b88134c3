#include "link/com_port_names.h"

#include <gtest/gtest.h>

namespace velquor {
namespace {

TEST(ComPortNames, PortNamesAreTakenInAnyCaseAndWithTheDevicePrefix) {
    const struct {
        const char* typed;
        const char* name;  // nullptr: not a port name
    } cases[] = {
        {"COM3", "COM3"},          {"com3", "COM3"},
        {"\\\\.\\COM12", "COM12"}, {"\\\\.\\com256", "COM256"},
        {"COM0", nullptr},         {"COM03", nullptr},
        {"COM", nullptr},          {"COM3x", nullptr},
        {"/dev/ttyUSB0", nullptr}, {"OV227700", nullptr},
        {"COM1234", nullptr},      {"", nullptr},
    };
    for (const auto& c : cases) {
        const auto name = ComPortName(c.typed);
        if (c.name == nullptr)
            EXPECT_FALSE(name) << c.typed;
        else
            EXPECT_EQ(name.value_or("<none>"), c.name) << c.typed;
    }
    // Above COM9 CreateFile needs the device prefix; below it does no harm.
    EXPECT_EQ(ComPortPath("COM12"), "\\\\.\\COM12");
}

TEST(ComPortNames, UsbIdentityIsReadFromBothKindsOfInstanceId) {
    const auto ftdi = ParseUsbInstanceId("FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000");
    ASSERT_TRUE(ftdi);
    EXPECT_EQ(ftdi->vid, 0x0403);
    EXPECT_EQ(ftdi->pid, 0x6001);
    // The driver appends the chip's port letter; the serial is the device's own.
    EXPECT_EQ(ftdi->serial, "A50285BI");
    const auto usb = ParseUsbInstanceId("USB\\VID_0403&PID_6015\\DQ00xyz1");
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->pid, 0x6015);
    EXPECT_EQ(usb->serial, "DQ00xyz1");  // its case as the device reports it
    // Windows makes up an instance path for a device without a serial number.
    const auto noSerial = ParseUsbInstanceId("USB\\VID_0403&PID_6001\\5&2A3B4C&0&1");
    ASSERT_TRUE(noSerial);
    EXPECT_EQ(noSerial->serial, "");
    EXPECT_FALSE(ParseUsbInstanceId("ACPI\\PNP0501\\0"));
    EXPECT_FALSE(ParseUsbInstanceId("FTDIBUS\\VID_04X3+PID_6001+A1A\\0000"));
    EXPECT_FALSE(ParseUsbInstanceId("FTDIBUS\\VID_0403+PID_6001+A\\0000"));
}

TEST(ComPortNames, FriendlyNameGivesThePort) {
    EXPECT_EQ(PortOfFriendlyName("USB Serial Port (COM5)").value_or(""), "COM5");
    EXPECT_EQ(PortOfFriendlyName("Orvane (A) Meter (COM17)").value_or(""), "COM17");
    EXPECT_FALSE(PortOfFriendlyName("USB Serial Port"));
    EXPECT_FALSE(PortOfFriendlyName("Printer (LPT1)"));
}

TEST(ComPortNames, OpenFailuresReadAsOnLinux) {
    const struct {
        unsigned long error;
        const char* text;
        FT_STATUS status;
    } cases[] = {
        {kWinFileNotFound, "No such file or directory", FT_DEVICE_NOT_FOUND},
        {kWinAccessDenied, "device busy", FT_DEVICE_NOT_OPENED},
        {kWinSharingViolation, "device busy", FT_DEVICE_NOT_OPENED},
        {kWinGenFailure, "cannot open the port (Windows error 31)", FT_DEVICE_NOT_OPENED},
    };
    for (const auto& c : cases) {
        FT_STATUS status = FT_OK;
        EXPECT_EQ(OpenErrorText(c.error, status), c.text) << c.error;
        EXPECT_EQ(status, c.status) << c.error;
    }
    // An unplugged bridge and a Wine port whose terminal hung up end the link;
    // a line error on a present device does not.
    for (const unsigned long lost :
         std::initializer_list<unsigned long>{kWinBadCommand, kWinDeviceRemoved, kWinNotReady,
                                              kWinAccessDenied, kWinDeviceNotConnected})
        EXPECT_TRUE(IsLostDeviceError(lost)) << lost;
    for (const unsigned long present :
         std::initializer_list<unsigned long>{0ul, kWinFileNotFound, kWinSharingViolation, 23ul})
        EXPECT_FALSE(IsLostDeviceError(present)) << present;
}

}  // namespace
}  // namespace velquor
