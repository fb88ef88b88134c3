#include <gtest/gtest.h>

#include <cstring>

#include "link/device_list.h"
#include "link/serial_driver.h"
#include "link/sysfs_devices.h"
#include "serial_test_support.h"

namespace velquor {
namespace {

using testing::FakePort;
using testing::FakeSysfs;
using testing::Pty;

SerialPaths PathsOf(const FakeSysfs& sysfs) {
    return {sysfs.Root().string(), sysfs.DevRoot().string()};
}

// A product string longer than a listing buffer, with a two-byte character
// straddling the 255-byte cut.
std::string LongProduct() {
    return std::string(254, 'p') + "\xC3\xA9" + std::string(60, 'q');
}

void AddMixedBus(FakeSysfs& sysfs) {
    sysfs.Add({"ttyUSB10", "ftdi_sio", "OV000010", "Orvane Power Meter", "Dunmarsh Instruments"});
    sysfs.Add({"ttyUSB0", "pl2303", "PL0001", "Orvane Power Meter", "Prolific"});
    sysfs.Add({"ttyUSB2", "ftdi_sio", "OV000002", "Orvane Power Meter", "Dunmarsh Instruments"});
    sysfs.Add({"ttyUSB1", "ftdi_sio", std::nullopt, std::nullopt, std::nullopt});
    sysfs.Add({"ttyUSB3", "ftdi_sio", "FT3", LongProduct(), "FTDI"});
}

TEST(SysfsListing, FtdiPortsOnlySortedByPortNumberWithEmptyMissingStrings) {
    FakeSysfs sysfs;
    AddMixedBus(sysfs);
    const auto ports = ListFtdiTtys(sysfs.Root().string());
    ASSERT_EQ(ports.size(), 4u);
    const char* names[] = {"ttyUSB1", "ttyUSB2", "ttyUSB3", "ttyUSB10"};
    for (std::size_t i = 0; i < ports.size(); ++i)
        EXPECT_EQ(ports[i].name, names[i]);
    EXPECT_EQ(ports[0].identity.serial, "");
    EXPECT_EQ(ports[0].identity.product, "");
    EXPECT_EQ(ports[1].identity.serial, "OV000002");
    EXPECT_EQ(ports[3].identity.manufacturer, "Dunmarsh Instruments");
    EXPECT_EQ(ports[2].identity.product, LongProduct());
}

TEST(SysfsListing, NoTreeMeansNoDevices) {
    testing::TempDir empty;
    EXPECT_TRUE(ListFtdiTtys(empty.Path().string()).empty());
    EXPECT_TRUE(ListFtdiTtys("/nonexistent/velquor").empty());
    EXPECT_FALSE(UsbIdentityOfTty(empty.Path().string(), "ttyUSB0"));
    EXPECT_FALSE(UsbIdentityOfTty(empty.Path().string(), "../ttyUSB0"));
}

TEST(SerialListing, DriverListsTheSameOrderThroughListDevices) {
    FakeSysfs sysfs;
    AddMixedBus(sysfs);
    CSerialDriver driver(PathsOf(sysfs));
    std::vector<DeviceEntry> devices;
    ASSERT_TRUE(ListDevices(driver, devices));
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0].serial, "");
    EXPECT_EQ(devices[1].serial, "OV000002");
    EXPECT_EQ(devices[3].serial, "OV000010");
    EXPECT_EQ(MeterIndexes(devices), (std::vector<int>{1, 3}));
    // Listing twice gives the same answer.
    std::vector<DeviceEntry> again;
    ASSERT_TRUE(ListDevices(driver, again));
    ASSERT_EQ(again.size(), devices.size());
    for (std::size_t i = 0; i < again.size(); ++i)
        EXPECT_EQ(again[i].serial, devices[i].serial);
}

TEST(SerialListing, LongStringsAreCutInsideTheBufferAtACharacterBoundary) {
    FakeSysfs sysfs;
    AddMixedBus(sysfs);
    CSerialDriver driver(PathsOf(sysfs));
    std::uint32_t count = 0;
    ASSERT_EQ(driver.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    ASSERT_EQ(count, 4u);
    char buffer[400];
    std::memset(buffer, 0x5A, sizeof buffer);
    ASSERT_EQ(driver.FT_ListDevices(reinterpret_cast<void*>(std::uintptr_t{2}), buffer,
                                    FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
              FT_OK);
    for (std::size_t i = kListStringSize; i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], 0x5A) << "written past the buffer at " << i;
    // 255 bytes would end inside the two-byte character, so the cut comes before it.
    EXPECT_EQ(std::string(buffer), std::string(254, 'p'));
}

TEST(SerialListing, BadIndexesAndFlagsFailWithoutWriting) {
    FakeSysfs sysfs;
    AddMixedBus(sysfs);
    CSerialDriver driver(PathsOf(sysfs));
    char buffer[kListStringSize] = "untouched";
    EXPECT_EQ(driver.FT_ListDevices(reinterpret_cast<void*>(std::uintptr_t{4}), buffer,
                                    FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
              FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(driver.FT_ListDevices(nullptr, buffer, FT_LIST_BY_INDEX), FT_INVALID_PARAMETER);
    EXPECT_EQ(driver.FT_ListDevices(nullptr, nullptr, FT_LIST_NUMBER_ONLY), FT_INVALID_PARAMETER);
    EXPECT_STREQ(buffer, "untouched");
}

TEST(SerialListing, CopyTerminatedTable) {
    struct Case {
        std::string text;
        int size;
        std::string expected;
    } cases[] = {
        {"abc", 10, "abc"},
        {"abcdef", 4, "abc"},
        {"", 5, ""},
        {"abc", 1, ""},
        {"a\xC3\xA9z", 3, "a"},
        {"a\xC3\xA9z", 4, "a\xC3\xA9"},
        {"\xE2\x82\xAC!", 3, ""},
        {"\xE2\x82\xAC!", 4, "\xE2\x82\xAC"},
    };
    for (const auto& c : cases) {
        std::vector<char> buffer(static_cast<std::size_t>(c.size) + 4, '#');
        CopyTerminated(c.text, buffer.data(), c.size);
        EXPECT_EQ(std::string(buffer.data()), c.expected) << c.text << " in " << c.size;
        EXPECT_EQ(buffer[static_cast<std::size_t>(c.size)], '#');
    }
}

// Device nodes in the fake /dev lead to pseudo-terminals, so opening by serial
// number runs the whole path down to a real tty.
TEST(SerialOpen, BySerialNumberFindsThePortAndReadsItsIdentity) {
    FakeSysfs sysfs;
    AddMixedBus(sysfs);
    Pty pty;
    ASSERT_FALSE(pty.SlavePath().empty());
    std::filesystem::create_symlink(pty.SlavePath(), sysfs.DevRoot() / "ttyUSB2");
    CSerialDriver driver(PathsOf(sysfs));

    FT_HANDLE h = nullptr;
    ASSERT_EQ(driver.FT_OpenEx("OV000002", FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK)
        << driver.LastError();
    EXPECT_EQ(driver.LastError(), "");
    char manufacturer[64], id[64], description[64], serial[64] = {};
    FT_PROGRAM_DATA data;
    data.Manufacturer = manufacturer;
    data.ManufacturerId = id;
    data.Description = description;
    data.SerialNumber = serial;
    data.StringBufferSize = 64;
    ASSERT_EQ(driver.FT_EE_Read(h, &data), FT_OK);
    EXPECT_STREQ(manufacturer, "Dunmarsh Instruments");
    EXPECT_STREQ(id, "OV");
    EXPECT_STREQ(description, "Orvane Power Meter");
    EXPECT_STREQ(serial, "OV000002");
    // Small buffers: cut and terminated.
    data.StringBufferSize = 5;
    ASSERT_EQ(driver.FT_EE_Read(h, &data), FT_OK);
    EXPECT_STREQ(manufacturer, "Dunm");
    EXPECT_STREQ(serial, "OV00");
    EXPECT_EQ(driver.FT_Close(h), FT_OK);

    // The same node given as a path still knows its USB identity.
    const std::string node = (sysfs.DevRoot() / "ttyUSB2").string();
    ASSERT_EQ(driver.FT_OpenEx(node.c_str(), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    data.StringBufferSize = 64;
    EXPECT_EQ(driver.FT_EE_Read(h, &data), FT_OK);
    EXPECT_STREQ(serial, "OV000002");
    EXPECT_EQ(driver.FT_Close(h), FT_OK);
}

TEST(SerialOpen, UnknownOrUnsuitableDevicesFailWithAReason) {
    FakeSysfs sysfs;
    AddMixedBus(sysfs);
    CSerialDriver driver(PathsOf(sysfs));
    FT_HANDLE h = reinterpret_cast<FT_HANDLE>(1);
    struct Case {
        const char* name;
        FT_STATUS status;
        const char* reason;
    } cases[] = {
        {"NOSUCH", FT_DEVICE_NOT_FOUND, "no FTDI device with serial number \"NOSUCH\""},
        // Listed, but a non-FTDI port is never opened by serial number.
        {"PL0001", FT_DEVICE_NOT_FOUND, "PL0001"},
        {"", FT_DEVICE_NOT_FOUND, "no serial number"},
        // Listed FTDI port whose node does not exist in the fake /dev.
        {"OV000010", FT_DEVICE_NOT_FOUND, "No such file or directory"},
        {"/nonexistent/ttyUSB9", FT_DEVICE_NOT_FOUND, "/nonexistent/ttyUSB9: No such file"},
        {"/dev/null", FT_DEVICE_NOT_OPENED, "/dev/null: not a serial device"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(driver.FT_OpenEx(c.name, FT_OPEN_BY_SERIAL_NUMBER, &h), c.status) << c.name;
        EXPECT_EQ(h, nullptr);
        EXPECT_NE(driver.LastError().find(c.reason), std::string::npos)
            << c.name << ": " << driver.LastError();
    }
    EXPECT_EQ(driver.FT_OpenEx("x", 0x99, &h), FT_INVALID_PARAMETER);
    EXPECT_EQ(driver.FT_OpenEx(nullptr, FT_OPEN_BY_SERIAL_NUMBER, &h), FT_INVALID_PARAMETER);
}

}  // namespace
}  // namespace velquor
