#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/ftdi_driver.h"
#include "link/sysfs_devices.h"

namespace velquor {

// Where the serial backend finds sysfs and the device nodes; tests point both at
// a temporary tree.
struct SerialPaths {
    std::string sysfsRoot = "/sys";
    std::string devRoot = "/dev";
};

// The driver backend on the Linux kernel's FTDI driver: devices are the ftdi_sio
// ttyUSB ports, listed with their USB identity from sysfs and driven through termios.
// An open name starting with '/' is taken as a device node path (any tty, e.g. a
// pseudo-terminal), otherwise as a USB serial number (or description).
//
// Listing may run on one thread while another uses an open handle; each handle is
// meant to be used by one thread at a time (the link's worker).
class CSerialDriver : public IFtdiDriver {
public:
    explicit CSerialDriver(SerialPaths paths = {});
    ~CSerialDriver() override;
    CSerialDriver(const CSerialDriver&) = delete;
    CSerialDriver& operator=(const CSerialDriver&) = delete;

    // Why the last FT_OpenEx failed, one line ("/dev/ttyUSB0: device busy"); empty
    // after a successful open.
    std::string LastError() const;

    // Standard termios rate nearest to 3,000,000 / divisor (divisor 0: 3,000,000).
    static std::uint32_t NearestStandardBaud(std::uint16_t divisor);

    FT_STATUS FT_ListDevices(void* pArg1, void* pArg2, std::uint32_t flags) override;
    FT_STATUS FT_OpenEx(const char* serial, std::uint32_t flags, FT_HANDLE* handle) override;
    FT_STATUS FT_SetDivisor(FT_HANDLE h, std::uint16_t divisor) override;
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, std::uint8_t wordLength, std::uint8_t stopBits,
                                        std::uint8_t parity) override;
    FT_STATUS FT_SetFlowControl(FT_HANDLE h, std::uint16_t flow, std::uint8_t xon,
                                std::uint8_t xoff) override;
    FT_STATUS FT_SetDtr(FT_HANDLE h) override;
    FT_STATUS FT_SetRts(FT_HANDLE h) override;
    FT_STATUS FT_ClrDtr(FT_HANDLE h) override;
    FT_STATUS FT_ClrRts(FT_HANDLE h) override;
    FT_STATUS FT_SetTimeouts(FT_HANDLE h, std::uint32_t readMs, std::uint32_t writeMs) override;
    FT_STATUS FT_SetEventNotification(FT_HANDLE h, std::uint32_t mask) override;
    FT_STATUS FT_GetStatus(FT_HANDLE h, std::uint32_t* rxBytes, std::uint32_t* txBytes,
                           std::uint32_t* eventStatus) override;
    FT_STATUS FT_Read(FT_HANDLE h, void* buffer, std::uint32_t count,
                      std::uint32_t* returned) override;
    FT_STATUS FT_Write(FT_HANDLE h, const void* data, std::uint32_t length,
                       std::uint32_t* written) override;
    FT_STATUS FT_EE_Read(FT_HANDLE h, FT_PROGRAM_DATA* data) override;
    FT_STATUS FT_Close(FT_HANDLE h) override;
    EventHandle RxEventFd(FT_HANDLE h) override;

private:
    struct Port;
    std::shared_ptr<Port> Find(FT_HANDLE h);
    FT_STATUS OpenFailure(const std::string& reason, FT_STATUS status);
    FT_STATUS ModemLines(FT_HANDLE h, int request, int lines);

    const SerialPaths m_paths;
    mutable std::mutex m_lock;
    // The ports of the last count query, so the index queries that follow it see
    // the same list even if a device comes or goes in between.
    std::vector<FtdiTty> m_listed;
    bool m_hasListing = false;
    std::map<FT_HANDLE, std::shared_ptr<Port>> m_ports;
    std::string m_lastError;
};

}  // namespace velquor
