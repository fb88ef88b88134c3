#include "link/com_port_names.h"

#include <cctype>

namespace velquor {

namespace {

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool AllDigits(const std::string& text) {
    if (text.empty())
        return false;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

std::optional<std::uint16_t> HexField(const std::string& id, const std::string& key) {
    const std::size_t at = id.find(key);
    if (at == std::string::npos || at + key.size() + 4 > id.size())
        return std::nullopt;
    std::uint16_t value = 0;
    for (std::size_t i = at + key.size(); i < at + key.size() + 4; ++i) {
        const char c = id[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = static_cast<std::uint16_t>(value * 16 + digit);
    }
    return value;
}

}  // namespace

std::optional<std::string> ComPortName(const std::string& text) {
    std::string name = Upper(text);
    const std::string device = "\\\\.\\";
    if (name.rfind(device, 0) == 0)
        name.erase(0, device.size());
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0)
        return std::nullopt;
    const std::string number = name.substr(3);
    // COM0 does not exist, and a leading zero would name a port twice.
    if (!AllDigits(number) || number[0] == '0')
        return std::nullopt;
    return name;
}

std::string ComPortPath(const std::string& name) {
    return "\\\\.\\" + name;
}

std::optional<UsbInstanceId> ParseUsbInstanceId(const std::string& text) {
    const std::string id = Upper(text);
    const bool ftdiBus = id.rfind("FTDIBUS\\", 0) == 0;
    if (!ftdiBus && id.rfind("USB\\", 0) != 0)
        return std::nullopt;
    const auto vid = HexField(id, "VID_");
    const auto pid = HexField(id, "PID_");
    if (!vid || !pid)
        return std::nullopt;
    UsbInstanceId parsed;
    parsed.vid = *vid;
    parsed.pid = *pid;
    // The serial keeps its case as the device reports it.
    if (ftdiBus) {
        const std::size_t plus = text.rfind('+');
        const std::size_t slash = text.find('\\', plus == std::string::npos ? 0 : plus);
        if (plus == std::string::npos || slash == std::string::npos || slash - plus < 3)
            return std::nullopt;
        // The last letter names the chip's port (A, B, ...), not part of the serial.
        parsed.serial = text.substr(plus + 1, slash - plus - 2);
    } else {
        const std::size_t slash = text.rfind('\\');
        const std::string last = text.substr(slash + 1);
        // Windows makes up an instance path ("5&2A3...&0&1") for a device without a serial.
        if (last.find('&') == std::string::npos)
            parsed.serial = last;
    }
    return parsed;
}

std::optional<std::string> PortOfFriendlyName(const std::string& friendly) {
    const std::size_t close = friendly.rfind(')');
    const std::size_t open = friendly.rfind('(', close);
    if (close == std::string::npos || open == std::string::npos)
        return std::nullopt;
    return ComPortName(friendly.substr(open + 1, close - open - 1));
}

std::string OpenErrorText(unsigned long error, FT_STATUS& status) {
    switch (error) {
        case kWinFileNotFound:
        case kWinPathNotFound:
        case kWinInvalidName:
            status = FT_DEVICE_NOT_FOUND;
            return "No such file or directory";
        case kWinAccessDenied:
        case kWinSharingViolation:
            // A COM port opens for one program at a time; Windows says "access denied".
            status = FT_DEVICE_NOT_OPENED;
            return "device busy";
        default:
            status = FT_DEVICE_NOT_OPENED;
            return "cannot open the port (Windows error " + std::to_string(error) + ")";
    }
}

bool IsLostDeviceError(unsigned long error) {
    switch (error) {
        case kWinAccessDenied:
        case kWinInvalidHandle:
        case kWinNotReady:
        case kWinBadCommand:
        case kWinGenFailure:
        case kWinOperationAborted:
        case kWinDeviceNotConnected:
        case kWinDeviceRemoved:
            return true;
        default:
            return false;
    }
}

}  // namespace velquor
