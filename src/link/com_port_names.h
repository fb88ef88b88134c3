#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/ftdi_driver.h"

namespace velquor {

// Names and codes of the Windows serial backend, kept free of Win32 calls so they
// are tested on every platform.

// "COM5", "com5", "\\.\COM12" -> "COM5", "COM12"; nothing for any other text.
std::optional<std::string> ComPortName(const std::string& text);

// What CreateFile opens for a port name: "\\.\COM12" (the prefix is needed above
// COM9 and harmless below).
std::string ComPortPath(const std::string& name);

// The USB identity in a device instance id, as the FTDI driver's bus names its
// ports ("FTDIBUS\VID_0403+PID_6001+A50285BIA\0000", the serial followed by the
// port's letter) or as the USB bus names a device ("USB\VID_0403&PID_6001\A50285BI").
struct UsbInstanceId {
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::string serial;
};
std::optional<UsbInstanceId> ParseUsbInstanceId(const std::string& id);

// "USB Serial Port (COM5)" -> "COM5".
std::optional<std::string> PortOfFriendlyName(const std::string& friendly);

// Win32 error codes the backend tells apart (winerror.h values).
enum : unsigned long {
    kWinFileNotFound = 2,
    kWinPathNotFound = 3,
    kWinAccessDenied = 5,
    kWinInvalidHandle = 6,
    kWinNotReady = 21,
    kWinBadCommand = 22,
    kWinGenFailure = 31,
    kWinSharingViolation = 32,
    kWinInvalidName = 123,
    kWinOperationAborted = 995,
    kWinDeviceNotConnected = 1167,
    kWinDeviceRemoved = 1617,
};

// Why opening a port failed, in the words the Linux backend uses ("device busy"
// for a port another program holds), and the driver status to return.
std::string OpenErrorText(unsigned long error, FT_STATUS& status);

// Whether a failed call on an open port means the device went away (unplugged,
// or the terminal behind a Wine COM port hung up).
bool IsLostDeviceError(unsigned long error);

}  // namespace velquor
