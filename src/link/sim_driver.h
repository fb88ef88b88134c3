#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/ftdi_driver.h"
#include "link/meter_model.h"

namespace velquor {

// One device the simulated bus presents: a meter (with a model) or any other FTDI device.
struct SimDeviceConfig {
    std::string serial;
    std::string description;
    std::string manufacturer;
    std::optional<MeterModelConfig> meter;
    bool failOpen = false;
    bool failEeprom = false;
};

// The in-process driver backend: a bus of simulated devices, meters among them,
// with failure knobs for the tests.
class CSimDriver : public IFtdiDriver {
public:
    CSimDriver();
    explicit CSimDriver(std::vector<SimDeviceConfig> devices);
    ~CSimDriver() override;

    // The default bus: one meter with its default configuration.
    static SimDeviceConfig DefaultMeter(const MeterModelConfig& meter = {});

    // Failure knobs for listing.
    void SetFailCount(bool fail);
    void SetFailSerialAt(int index);
    void SetFailDescriptionAt(int index);
    // Devices present at the next listing call (simulates plugging during a scan).
    void SetDevices(std::vector<SimDeviceConfig> devices);
    // Makes the open device fall silent at once (as if the cable were pulled).
    void Unplug();
    // Wire bytes the open device sends as they stand (cut frames, a line's noise).
    void SendWire(const std::vector<std::uint8_t>& wire);
    // Payloads the open meter received so far.
    std::vector<std::vector<std::uint8_t>> MeterReceived() const;
    std::vector<std::uint8_t> MeterRecord() const;
    std::string OpenSerial() const;
    int OpenCount() const;
    int CloseCount() const;
    // Every driver call, in order, for tests that check the line set-up.
    std::vector<std::string> CallLog() const;
    void ClearCallLog();

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
    struct OpenDevice;
    OpenDevice* Find(FT_HANDLE h);
    void Log(std::string entry);
    void PumpThread();
    void StopPump();
    void PushLocked(const std::vector<std::uint8_t>& bytes);
    double SecondsSinceOpen() const;

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<SimDeviceConfig> m_devices;
    bool m_failCount = false;
    int m_failSerialAt = -1;
    int m_failDescriptionAt = -1;
    std::vector<std::string> m_callLog;
    int m_openCount = 0;
    int m_closeCount = 0;
    std::unique_ptr<OpenDevice> m_open;
    std::thread m_pump;
    bool m_stopPump = false;
};

}  // namespace velquor
