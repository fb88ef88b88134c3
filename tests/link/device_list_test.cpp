#include <gtest/gtest.h>

#include <cstring>

#include "link/device_list.h"
#include "link/sim_driver.h"

namespace velquor {
namespace {

SimDeviceConfig Device(const std::string& serial, const std::string& description) {
    SimDeviceConfig d;
    d.serial = serial;
    d.description = description;
    return d;
}

TEST(ListDevices, ListsInEnumerationOrderAndFiltersMetersExactly) {
    CSimDriver driver({Device("A1", "USB Serial"), Device("M1", "Orvane Power Meter"),
                       Device("M2", "Orvane Power Meter "), Device("M3", "orvane power meter"),
                       Device("M4", "Orvane Power Meter")});
    std::vector<DeviceEntry> devices;
    ASSERT_TRUE(ListDevices(driver, devices));
    ASSERT_EQ(devices.size(), 5u);
    EXPECT_EQ(devices[0].serial, "A1");
    EXPECT_EQ(devices[2].description, "Orvane Power Meter ");
    EXPECT_EQ(MeterIndexes(devices), (std::vector<int>{1, 4}));
    EXPECT_EQ(DeviceLine(devices[1]), "M1 - Orvane Power Meter");
}

TEST(ListDevices, EmptyBusIsASuccessWithNothing) {
    CSimDriver driver(std::vector<SimDeviceConfig>{});
    std::vector<DeviceEntry> devices{{"x", "y"}};
    EXPECT_TRUE(ListDevices(driver, devices));
    EXPECT_TRUE(devices.empty());
}

TEST(ListDevices, FailuresKeepWhatWasFilled) {
    CSimDriver driver({Device("M1", "Orvane Power Meter"), Device("M2", "Orvane Power Meter")});
    std::vector<DeviceEntry> devices;
    driver.SetFailCount(true);
    EXPECT_FALSE(ListDevices(driver, devices));
    EXPECT_TRUE(devices.empty());
    driver.SetFailCount(false);
    driver.SetFailDescriptionAt(1);
    EXPECT_FALSE(ListDevices(driver, devices));
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].description, "Orvane Power Meter");
    EXPECT_EQ(devices[1].serial, "M2");
    EXPECT_EQ(devices[1].description, "");
    driver.SetFailDescriptionAt(-1);
    driver.SetFailSerialAt(0);
    EXPECT_FALSE(ListDevices(driver, devices));
}

// A driver that fills the whole buffer without a terminator, and whose list
// shrinks between the count and the string fetches.
class HostileDriver : public CSimDriver {
public:
    HostileDriver() : CSimDriver(std::vector<SimDeviceConfig>{}) {}
    FT_STATUS FT_ListDevices(void* pArg1, void* pArg2, std::uint32_t flags) override {
        if (flags == FT_LIST_NUMBER_ONLY) {
            *static_cast<std::uint32_t*>(pArg1) = count;
            return FT_OK;
        }
        const auto index = reinterpret_cast<std::uintptr_t>(pArg1);
        if (index >= present)
            return FT_DEVICE_NOT_FOUND;
        std::memset(pArg2, 'Z', kListStringSize);
        return FT_OK;
    }
    std::uint32_t count = 2;
    std::uint32_t present = 2;
};

TEST(ListDevices, UnterminatedStringsAreCutAtTheBuffer) {
    HostileDriver driver;
    std::vector<DeviceEntry> devices;
    ASSERT_TRUE(ListDevices(driver, devices));
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].serial, std::string(kListStringSize - 1, 'Z'));
    EXPECT_TRUE(MeterIndexes(devices).empty());
}

TEST(ListDevices, DeviceRemovedDuringTheScanFails) {
    HostileDriver driver;
    driver.present = 1;
    std::vector<DeviceEntry> devices;
    EXPECT_FALSE(ListDevices(driver, devices));
    EXPECT_EQ(devices.size(), 2u);
}

TEST(ListDevices, AbsurdCountIsRefused) {
    HostileDriver driver;
    driver.count = 0xFFFFFFFFu;
    std::vector<DeviceEntry> devices;
    EXPECT_FALSE(ListDevices(driver, devices));
}

}  // namespace
}  // namespace velquor
