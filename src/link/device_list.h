#pragma once

#include <string>
#include <vector>

#include "link/ftdi_driver.h"

namespace velquor {

// Serial number and USB description of one listed device.
struct DeviceEntry {
    std::string serial;
    std::string description;
};

inline constexpr const char* kMeterDescription = "Orvane Power Meter";

// Lists the driver's devices in enumeration order. On a failed count: false and no
// entries; on a failed string fetch: false with the entries filled so far.
bool ListDevices(IFtdiDriver& driver, std::vector<DeviceEntry>& devices);

// Indexes of the entries whose description is exactly the meter's.
std::vector<int> MeterIndexes(const std::vector<DeviceEntry>& devices);

// The dialog's line for an entry: "serial - description".
std::string DeviceLine(const DeviceEntry& entry);

}  // namespace velquor
