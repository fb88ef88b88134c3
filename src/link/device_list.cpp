#include "link/device_list.h"

#include <cstdint>
#include <cstring>

namespace velquor {

namespace {

// The driver fills a fixed buffer; never trust it to terminate the text.
bool FetchString(IFtdiDriver& driver, std::uint32_t index, std::uint32_t which, std::string& out) {
    char buffer[kListStringSize + 1] = {};
    const FT_STATUS status =
        driver.FT_ListDevices(reinterpret_cast<void*>(static_cast<std::uintptr_t>(index)), buffer,
                              FT_LIST_BY_INDEX | which);
    if (status != FT_OK)
        return false;
    buffer[kListStringSize - 1] = '\0';
    out.assign(buffer, strnlen(buffer, kListStringSize));
    return true;
}

}  // namespace

bool ListDevices(IFtdiDriver& driver, std::vector<DeviceEntry>& devices) {
    devices.clear();
    std::uint32_t count = 0;
    if (driver.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK)
        return false;
    // A driver reporting an absurd count must not make us allocate without bound.
    constexpr std::uint32_t kMaxDevices = 1024;
    if (count > kMaxDevices)
        return false;
    devices.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!FetchString(driver, i, FT_OPEN_BY_SERIAL_NUMBER, devices[i].serial))
            return false;
        if (!FetchString(driver, i, FT_OPEN_BY_DESCRIPTION, devices[i].description))
            return false;
    }
    return true;
}

std::vector<int> MeterIndexes(const std::vector<DeviceEntry>& devices) {
    std::vector<int> indexes;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].description == kMeterDescription)
            indexes.push_back(static_cast<int>(i));
    }
    return indexes;
}

std::string DeviceLine(const DeviceEntry& entry) {
    return entry.serial + " - " + entry.description;
}

}  // namespace velquor
