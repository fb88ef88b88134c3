#pragma once

#include <cstdint>

#include "link/event_handle.h"

namespace velquor {

// The FTDI-style driver seam: one virtual call per vendor call the link uses,
// with the vendor's arguments and its status convention (0 = success).
using FT_STATUS = std::int32_t;
using FT_HANDLE = void*;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_EEPROM_READ_FAILED = 11;
inline constexpr FT_STATUS FT_OTHER_ERROR = 18;

inline constexpr std::uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr std::uint32_t FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr std::uint32_t FT_LIST_NUMBER_ONLY = 0x80000000u;
inline constexpr std::uint32_t FT_LIST_BY_INDEX = 0x40000000u;
inline constexpr std::uint32_t FT_EVENT_RXCHAR = 1;

// Buffer size the listing calls write into, terminator included.
inline constexpr int kListStringSize = 256;

struct FT_PROGRAM_DATA {
    std::uint32_t Signature1 = 0;
    std::uint32_t Signature2 = 0xFFFFFFFFu;
    std::uint32_t Version = 1;
    char* Manufacturer = nullptr;
    char* ManufacturerId = nullptr;
    char* Description = nullptr;
    char* SerialNumber = nullptr;
    // Size of each of the four buffers above, terminator included.
    int StringBufferSize = 0;
};

class IFtdiDriver {
public:
    virtual ~IFtdiDriver() = default;

    // FT_LIST_NUMBER_ONLY: pArg1 is a std::uint32_t* receiving the count.
    // FT_LIST_BY_INDEX | FT_OPEN_BY_*: pArg1 is the index (cast to pointer), pArg2 a
    // kListStringSize-byte buffer. Callers must not trust the terminator.
    virtual FT_STATUS FT_ListDevices(void* pArg1, void* pArg2, std::uint32_t flags) = 0;
    virtual FT_STATUS FT_OpenEx(const char* serial, std::uint32_t flags, FT_HANDLE* handle) = 0;
    virtual FT_STATUS FT_SetDivisor(FT_HANDLE h, std::uint16_t divisor) = 0;
    virtual FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, std::uint8_t wordLength,
                                                std::uint8_t stopBits, std::uint8_t parity) = 0;
    virtual FT_STATUS FT_SetFlowControl(FT_HANDLE h, std::uint16_t flow, std::uint8_t xon,
                                        std::uint8_t xoff) = 0;
    virtual FT_STATUS FT_SetDtr(FT_HANDLE h) = 0;
    virtual FT_STATUS FT_SetRts(FT_HANDLE h) = 0;
    virtual FT_STATUS FT_ClrDtr(FT_HANDLE h) = 0;
    virtual FT_STATUS FT_ClrRts(FT_HANDLE h) = 0;
    virtual FT_STATUS FT_SetTimeouts(FT_HANDLE h, std::uint32_t readMs, std::uint32_t writeMs) = 0;
    // Mask FT_EVENT_RXCHAR arms RxEventFd(); mask 0 disarms it.
    virtual FT_STATUS FT_SetEventNotification(FT_HANDLE h, std::uint32_t mask) = 0;
    virtual FT_STATUS FT_GetStatus(FT_HANDLE h, std::uint32_t* rxBytes, std::uint32_t* txBytes,
                                   std::uint32_t* eventStatus) = 0;
    // Returns the waiting bytes without blocking.
    virtual FT_STATUS FT_Read(FT_HANDLE h, void* buffer, std::uint32_t count,
                              std::uint32_t* returned) = 0;
    virtual FT_STATUS FT_Write(FT_HANDLE h, const void* data, std::uint32_t length,
                               std::uint32_t* written) = 0;
    virtual FT_STATUS FT_EE_Read(FT_HANDLE h, FT_PROGRAM_DATA* data) = 0;
    virtual FT_STATUS FT_Close(FT_HANDLE h) = 0;

    // Stand-in for binding the received-data notification to an event: a descriptor
    // (Linux) or event (Windows) that is ready while received bytes (or a hang-up)
    // wait, or kNoEvent when notification is off or the device is gone.
    virtual EventHandle RxEventFd(FT_HANDLE h) = 0;
};

}  // namespace velquor
