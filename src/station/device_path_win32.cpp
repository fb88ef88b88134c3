#include <windows.h>

#include "link/com_port_names.h"
#include "station/meter_target.h"

namespace velquor::station {

bool ResolveDevicePath(const std::string& path, std::string& absolute, std::string& error) {
    if (path.empty()) {
        error = "--port needs a COM port (COM3)";
        return false;
    }
    const auto name = ComPortName(path);
    if (!name) {
        error = path + ": not a COM port name (COM1, COM2, ...)";
        return false;
    }
    absolute = *name;
    return true;
}

bool DevicePathPresent(const std::string& path) {
    const auto name = ComPortName(path);
    if (!name)
        return false;
    // An open without access rights asks the port's existence only; a port another
    // program holds exclusively answers "access denied", and is there too.
    const std::string path8 = ComPortPath(*name);
    const std::wstring wide(path8.begin(), path8.end());
    HANDLE port = CreateFileW(wide.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return true;
    }
    return GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace velquor::station
