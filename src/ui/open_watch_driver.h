#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "link/ftdi_driver.h"

namespace velquor {

// Passes every call on to the real driver and notes why the last open failed, so
// the window can tell the user (a meter open in another window is "device busy")
// where the connect sequence itself stays quiet.
class COpenWatchDriver : public IFtdiDriver {
public:
    explicit COpenWatchDriver(IFtdiDriver& inner) : m_inner(inner) {}

    // Where the reason for a failed open comes from (the serial backend's last error);
    // without it a failure has no reason text.
    void SetReasonSource(std::function<std::string()> reason) { m_reason = std::move(reason); }
    // The failure of an open since the last call, with its reason (may be empty).
    std::optional<std::string> TakeOpenFailure();

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
    int RxEventFd(FT_HANDLE h) override;

private:
    IFtdiDriver& m_inner;
    std::function<std::string()> m_reason;
    // Opens run on the link's worker, the question comes from the GUI thread.
    std::mutex m_lock;
    std::optional<std::string> m_failure;
};

// The message for a failed open; reason as the driver gave it (may be empty).
std::string OpenFailureMessage(const std::string& reason);

}  // namespace velquor
