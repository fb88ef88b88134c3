#include "station/device_watch.h"

namespace velquor::station {

// Windows: no folder of device nodes to watch. A lost meter is looked for at the
// reconnect policy's own pace; device-arrival notifications may shorten that later.
DeviceWatch::DeviceWatch(const std::string&, std::string name) : m_name(std::move(name)) {}

DeviceWatch::~DeviceWatch() = default;

bool DeviceWatch::Drain() {
    return false;
}

}  // namespace velquor::station
