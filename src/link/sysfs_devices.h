#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velquor {

// USB identity strings of the device a tty belongs to. A string the device does
// not report (or the kernel does not expose) stays empty.
struct UsbIdentity {
    std::string serial;
    std::string product;
    std::string manufacturer;
};

// One ttyUSB port served by the kernel's FTDI driver.
struct FtdiTty {
    std::string name;  // "ttyUSB3"
    int number = 0;    // 3
    UsbIdentity identity;
};

// Every ttyUSB port whose usb-serial driver is ftdi_sio, sorted by port number, read
// from <sysfsRoot>/bus/usb-serial/devices. Unreadable entries are skipped.
std::vector<FtdiTty> ListFtdiTtys(const std::string& sysfsRoot);

// The identity of a usb-serial port by its tty name ("ttyUSB0"), whatever its driver;
// nothing when sysfs does not know the port as a USB serial device.
std::optional<UsbIdentity> UsbIdentityOfTty(const std::string& sysfsRoot,
                                            const std::string& ttyName);

// Content of a sysfs attribute: at most maxBytes, one trailing newline removed.
std::optional<std::string> ReadAttribute(const std::string& path, std::size_t maxBytes = 4096);

// Copies text into a C buffer of size bytes, always terminated, cut at a UTF-8
// character boundary so a shortened string stays valid text.
void CopyTerminated(const std::string& text, char* buffer, int size);

}  // namespace velquor
