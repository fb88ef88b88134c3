#include "ui/open_watch_driver.h"

namespace velquor {

std::optional<std::string> COpenWatchDriver::TakeOpenFailure() {
    std::lock_guard lock(m_lock);
    std::optional<std::string> failure;
    failure.swap(m_failure);
    return failure;
}

FT_STATUS COpenWatchDriver::FT_OpenEx(const char* serial, std::uint32_t flags, FT_HANDLE* handle) {
    const FT_STATUS status = m_inner.FT_OpenEx(serial, flags, handle);
    std::lock_guard lock(m_lock);
    if (status == FT_OK)
        m_failure.reset();
    else
        m_failure = m_reason ? m_reason() : std::string();
    return status;
}

FT_STATUS COpenWatchDriver::FT_ListDevices(void* pArg1, void* pArg2, std::uint32_t flags) {
    return m_inner.FT_ListDevices(pArg1, pArg2, flags);
}
FT_STATUS COpenWatchDriver::FT_SetDivisor(FT_HANDLE h, std::uint16_t divisor) {
    return m_inner.FT_SetDivisor(h, divisor);
}
FT_STATUS COpenWatchDriver::FT_SetDataCharacteristics(FT_HANDLE h, std::uint8_t wordLength,
                                                      std::uint8_t stopBits, std::uint8_t parity) {
    return m_inner.FT_SetDataCharacteristics(h, wordLength, stopBits, parity);
}
FT_STATUS COpenWatchDriver::FT_SetFlowControl(FT_HANDLE h, std::uint16_t flow, std::uint8_t xon,
                                              std::uint8_t xoff) {
    return m_inner.FT_SetFlowControl(h, flow, xon, xoff);
}
FT_STATUS COpenWatchDriver::FT_SetDtr(FT_HANDLE h) {
    return m_inner.FT_SetDtr(h);
}
FT_STATUS COpenWatchDriver::FT_SetRts(FT_HANDLE h) {
    return m_inner.FT_SetRts(h);
}
FT_STATUS COpenWatchDriver::FT_ClrDtr(FT_HANDLE h) {
    return m_inner.FT_ClrDtr(h);
}
FT_STATUS COpenWatchDriver::FT_ClrRts(FT_HANDLE h) {
    return m_inner.FT_ClrRts(h);
}
FT_STATUS COpenWatchDriver::FT_SetTimeouts(FT_HANDLE h, std::uint32_t readMs,
                                           std::uint32_t writeMs) {
    return m_inner.FT_SetTimeouts(h, readMs, writeMs);
}
FT_STATUS COpenWatchDriver::FT_SetEventNotification(FT_HANDLE h, std::uint32_t mask) {
    return m_inner.FT_SetEventNotification(h, mask);
}
FT_STATUS COpenWatchDriver::FT_GetStatus(FT_HANDLE h, std::uint32_t* rxBytes,
                                         std::uint32_t* txBytes, std::uint32_t* eventStatus) {
    return m_inner.FT_GetStatus(h, rxBytes, txBytes, eventStatus);
}
FT_STATUS COpenWatchDriver::FT_Read(FT_HANDLE h, void* buffer, std::uint32_t count,
                                    std::uint32_t* returned) {
    return m_inner.FT_Read(h, buffer, count, returned);
}
FT_STATUS COpenWatchDriver::FT_Write(FT_HANDLE h, const void* data, std::uint32_t length,
                                     std::uint32_t* written) {
    return m_inner.FT_Write(h, data, length, written);
}
FT_STATUS COpenWatchDriver::FT_EE_Read(FT_HANDLE h, FT_PROGRAM_DATA* data) {
    return m_inner.FT_EE_Read(h, data);
}
FT_STATUS COpenWatchDriver::FT_Close(FT_HANDLE h) {
    return m_inner.FT_Close(h);
}
int COpenWatchDriver::RxEventFd(FT_HANDLE h) {
    return m_inner.RxEventFd(h);
}

std::string OpenFailureMessage(const std::string& reason) {
    if (reason.empty())
        return "The meter cannot be opened.";
    std::string text = "The meter cannot be opened: " + reason + ".";
    if (reason.find("busy") != std::string::npos)
        text += "\nIt is in use by another window or program.";
    else if (reason.find("ermission denied") != std::string::npos)
        text += "\nInstall the meter's udev rule, or join the dialout group (see the README).";
    return text;
}

}  // namespace velquor
