#include "station/meter_target.h"

#include <filesystem>
#include <system_error>

namespace velquor::station {

bool ResolveDevicePath(const std::string& path, std::string& absolute, std::string& error) {
    if (path.empty()) {
        error = "--port needs a device path";
        return false;
    }
    if (path.front() == '/') {
        absolute = AbsoluteDevicePath(path, {});
        return true;
    }
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec) {
        error = path + ": cannot read the working directory: " + ec.message();
        return false;
    }
    absolute = AbsoluteDevicePath(path, cwd.string());
    return true;
}

bool DevicePathPresent(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace velquor::station
