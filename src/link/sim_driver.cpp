#include "link/sim_driver.h"

#include <algorithm>
#include <cstring>

#include "link/auto_reset_event.h"

namespace velquor {

struct CSimDriver::OpenDevice {
    SimDeviceConfig config;
    std::unique_ptr<CMeterModel> model;
    std::deque<std::uint8_t> rx;
    // Set while received bytes wait.
    CAutoResetEvent rxEvent;
    bool notify = false;
    bool unplugged = false;
    std::chrono::steady_clock::time_point openedAt;
    std::chrono::steady_clock::time_point nextFrame;
    std::vector<std::chrono::steady_clock::time_point> pendingAcks;
};

namespace {

void CopyString(const std::string& text, char* buffer, int size) {
    if (buffer == nullptr || size <= 0)
        return;
    const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace

CSimDriver::CSimDriver() : CSimDriver(std::vector<SimDeviceConfig>{DefaultMeter()}) {}

CSimDriver::CSimDriver(std::vector<SimDeviceConfig> devices) : m_devices(std::move(devices)) {}

CSimDriver::~CSimDriver() {
    StopPump();
}

SimDeviceConfig CSimDriver::DefaultMeter(const MeterModelConfig& meter) {
    SimDeviceConfig d;
    d.serial = meter.serial;
    d.description = meter.description;
    d.manufacturer = meter.manufacturer;
    d.meter = meter;
    return d;
}

void CSimDriver::SetFailCount(bool fail) {
    std::lock_guard lock(m_lock);
    m_failCount = fail;
}
void CSimDriver::SetFailSerialAt(int index) {
    std::lock_guard lock(m_lock);
    m_failSerialAt = index;
}
void CSimDriver::SetFailDescriptionAt(int index) {
    std::lock_guard lock(m_lock);
    m_failDescriptionAt = index;
}
void CSimDriver::SetDevices(std::vector<SimDeviceConfig> devices) {
    std::lock_guard lock(m_lock);
    m_devices = std::move(devices);
}

void CSimDriver::Unplug() {
    std::lock_guard lock(m_lock);
    if (m_open)
        m_open->unplugged = true;
}

void CSimDriver::SendWire(const std::vector<std::uint8_t>& wire) {
    std::lock_guard lock(m_lock);
    PushLocked(wire);
}

std::vector<std::vector<std::uint8_t>> CSimDriver::MeterReceived() const {
    std::lock_guard lock(m_lock);
    if (!m_open || !m_open->model)
        return {};
    return m_open->model->Received();
}

std::vector<std::uint8_t> CSimDriver::MeterRecord() const {
    std::lock_guard lock(m_lock);
    if (!m_open || !m_open->model)
        return {};
    return m_open->model->Record();
}

std::string CSimDriver::OpenSerial() const {
    std::lock_guard lock(m_lock);
    return m_open ? m_open->config.serial : std::string();
}

int CSimDriver::OpenCount() const {
    std::lock_guard lock(m_lock);
    return m_openCount;
}

int CSimDriver::CloseCount() const {
    std::lock_guard lock(m_lock);
    return m_closeCount;
}

std::vector<std::string> CSimDriver::CallLog() const {
    std::lock_guard lock(m_lock);
    return m_callLog;
}

void CSimDriver::ClearCallLog() {
    std::lock_guard lock(m_lock);
    m_callLog.clear();
}

void CSimDriver::Log(std::string entry) {
    m_callLog.push_back(std::move(entry));
}

CSimDriver::OpenDevice* CSimDriver::Find(FT_HANDLE h) {
    return m_open && h == static_cast<FT_HANDLE>(m_open.get()) ? m_open.get() : nullptr;
}

double CSimDriver::SecondsSinceOpen() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_open->openedAt)
        .count();
}

FT_STATUS CSimDriver::FT_ListDevices(void* pArg1, void* pArg2, std::uint32_t flags) {
    std::lock_guard lock(m_lock);
    if (flags == FT_LIST_NUMBER_ONLY) {
        Log("ListDevices count");
        if (m_failCount || pArg1 == nullptr)
            return FT_IO_ERROR;
        *static_cast<std::uint32_t*>(pArg1) = static_cast<std::uint32_t>(m_devices.size());
        return FT_OK;
    }
    const auto index = static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(pArg1));
    auto* buffer = static_cast<char*>(pArg2);
    if (buffer == nullptr || (flags & FT_LIST_BY_INDEX) == 0)
        return FT_INVALID_PARAMETER;
    if (index >= m_devices.size())
        return FT_DEVICE_NOT_FOUND;
    if ((flags & FT_OPEN_BY_SERIAL_NUMBER) != 0) {
        Log("ListDevices serial " + std::to_string(index));
        if (static_cast<int>(index) == m_failSerialAt)
            return FT_IO_ERROR;
        CopyString(m_devices[index].serial, buffer, kListStringSize);
        return FT_OK;
    }
    if ((flags & FT_OPEN_BY_DESCRIPTION) != 0) {
        Log("ListDevices description " + std::to_string(index));
        if (static_cast<int>(index) == m_failDescriptionAt)
            return FT_IO_ERROR;
        CopyString(m_devices[index].description, buffer, kListStringSize);
        return FT_OK;
    }
    return FT_INVALID_PARAMETER;
}

FT_STATUS CSimDriver::FT_OpenEx(const char* serial, std::uint32_t flags, FT_HANDLE* handle) {
    std::lock_guard lock(m_lock);
    Log(std::string("OpenEx ") + (serial ? serial : ""));
    if (handle == nullptr || serial == nullptr || flags != FT_OPEN_BY_SERIAL_NUMBER)
        return FT_INVALID_PARAMETER;
    if (m_open)
        return FT_DEVICE_NOT_OPENED;  // the simulated bus has room for one open device
    const auto it = std::find_if(m_devices.begin(), m_devices.end(),
                                 [&](const SimDeviceConfig& d) { return d.serial == serial; });
    if (it == m_devices.end())
        return FT_DEVICE_NOT_FOUND;
    if (it->failOpen)
        return FT_DEVICE_NOT_OPENED;
    auto device = std::make_unique<OpenDevice>();
    device->config = *it;
    if (it->meter)
        device->model = std::make_unique<CMeterModel>(*it->meter);
    device->openedAt = std::chrono::steady_clock::now();
    device->nextFrame = device->openedAt;
    *handle = device.get();
    m_open = std::move(device);
    ++m_openCount;
    m_stopPump = false;
    if (m_open->model)
        m_pump = std::thread([this] { PumpThread(); });
    return FT_OK;
}

#define VELQUOR_SIM_SIMPLE(call, text)              \
    {                                               \
        std::lock_guard lock(m_lock);               \
        Log(text);                                  \
        return Find(h) ? FT_OK : FT_INVALID_HANDLE; \
    }

FT_STATUS CSimDriver::FT_SetDivisor(FT_HANDLE h, std::uint16_t divisor){
    VELQUOR_SIM_SIMPLE(SetDivisor, "SetDivisor " + std::to_string(divisor))} FT_STATUS
    CSimDriver::FT_SetDataCharacteristics(FT_HANDLE h, std::uint8_t wordLength,
                                          std::uint8_t stopBits, std::uint8_t parity){
        VELQUOR_SIM_SIMPLE(SetDataCharacteristics,
                           "SetDataCharacteristics " + std::to_string(wordLength) + " " +
                               std::to_string(stopBits) + " " + std::to_string(parity))} FT_STATUS
    CSimDriver::FT_SetFlowControl(FT_HANDLE h, std::uint16_t flow, std::uint8_t xon,
                                  std::uint8_t xoff){VELQUOR_SIM_SIMPLE(
        SetFlowControl, "SetFlowControl " + std::to_string(flow) + " " + std::to_string(xon) + " " +
                            std::to_string(xoff))} FT_STATUS CSimDriver::FT_SetDtr(FT_HANDLE h){
        VELQUOR_SIM_SIMPLE(SetDtr, "SetDtr")} FT_STATUS CSimDriver::FT_SetRts(FT_HANDLE h){
        VELQUOR_SIM_SIMPLE(SetRts, "SetRts")} FT_STATUS CSimDriver::FT_ClrDtr(FT_HANDLE h){
        VELQUOR_SIM_SIMPLE(ClrDtr, "ClrDtr")} FT_STATUS CSimDriver::FT_ClrRts(FT_HANDLE h){
        VELQUOR_SIM_SIMPLE(ClrRts, "ClrRts")} FT_STATUS
    CSimDriver::FT_SetTimeouts(FT_HANDLE h, std::uint32_t readMs, std::uint32_t writeMs){
        VELQUOR_SIM_SIMPLE(SetTimeouts,
                           "SetTimeouts " + std::to_string(readMs) + " " + std::to_string(writeMs))}
#undef VELQUOR_SIM_SIMPLE

FT_STATUS CSimDriver::FT_SetEventNotification(FT_HANDLE h, std::uint32_t mask) {
    std::lock_guard lock(m_lock);
    Log("SetEventNotification " + std::to_string(mask));
    OpenDevice* d = Find(h);
    if (!d)
        return FT_INVALID_HANDLE;
    d->notify = (mask & FT_EVENT_RXCHAR) != 0;
    return FT_OK;
}

FT_STATUS CSimDriver::FT_GetStatus(FT_HANDLE h, std::uint32_t* rxBytes, std::uint32_t* txBytes,
                                   std::uint32_t* eventStatus) {
    std::lock_guard lock(m_lock);
    OpenDevice* d = Find(h);
    if (!d)
        return FT_INVALID_HANDLE;
    std::size_t available = d->rx.size();
    const int chunk = d->model ? d->model->Config().maxChunk : 0;
    if (chunk > 0)
        available = std::min<std::size_t>(available, static_cast<std::size_t>(chunk));
    if (rxBytes)
        *rxBytes = static_cast<std::uint32_t>(available);
    if (txBytes)
        *txBytes = 0;
    if (eventStatus)
        *eventStatus = 0;
    return FT_OK;
}

FT_STATUS CSimDriver::FT_Read(FT_HANDLE h, void* buffer, std::uint32_t count,
                              std::uint32_t* returned) {
    std::lock_guard lock(m_lock);
    OpenDevice* d = Find(h);
    if (!d)
        return FT_INVALID_HANDLE;
    const std::size_t n = std::min<std::size_t>(count, d->rx.size());
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::copy_n(d->rx.begin(), n, out);
    d->rx.erase(d->rx.begin(), d->rx.begin() + static_cast<std::ptrdiff_t>(n));
    if (d->rx.empty())
        d->rxEvent.Reset();
    if (returned)
        *returned = static_cast<std::uint32_t>(n);
    return FT_OK;
}

void CSimDriver::PushLocked(const std::vector<std::uint8_t>& bytes) {
    if (!m_open || bytes.empty())
        return;
    m_open->rx.insert(m_open->rx.end(), bytes.begin(), bytes.end());
    m_open->rxEvent.Set();
}

FT_STATUS CSimDriver::FT_Write(FT_HANDLE h, const void* data, std::uint32_t length,
                               std::uint32_t* written) {
    std::lock_guard lock(m_lock);
    OpenDevice* d = Find(h);
    if (!d)
        return FT_INVALID_HANDLE;
    if (d->unplugged)
        return FT_IO_ERROR;
    if (written)
        *written = length;
    if (!d->model)
        return FT_OK;
    std::vector<std::uint8_t> reply;
    int ackDelayMs = -1;
    d->model->Receive(SecondsSinceOpen(), static_cast<const std::uint8_t*>(data), length, reply,
                      ackDelayMs);
    PushLocked(reply);
    if (ackDelayMs >= 0) {
        d->pendingAcks.push_back(std::chrono::steady_clock::now() +
                                 std::chrono::milliseconds(ackDelayMs));
        m_wake.notify_all();
    }
    return FT_OK;
}

FT_STATUS CSimDriver::FT_EE_Read(FT_HANDLE h, FT_PROGRAM_DATA* data) {
    std::lock_guard lock(m_lock);
    Log("EE_Read");
    OpenDevice* d = Find(h);
    if (!d)
        return FT_INVALID_HANDLE;
    if (d->config.failEeprom || d->unplugged || data == nullptr)
        return FT_EEPROM_READ_FAILED;
    CopyString(d->config.manufacturer, data->Manufacturer, data->StringBufferSize);
    CopyString("OV", data->ManufacturerId, data->StringBufferSize);
    CopyString(d->config.description, data->Description, data->StringBufferSize);
    CopyString(d->config.serial, data->SerialNumber, data->StringBufferSize);
    return FT_OK;
}

FT_STATUS CSimDriver::FT_Close(FT_HANDLE h) {
    {
        std::lock_guard lock(m_lock);
        Log("Close");
        if (!Find(h))
            return FT_INVALID_HANDLE;
    }
    StopPump();
    std::lock_guard lock(m_lock);
    m_open.reset();
    ++m_closeCount;
    return FT_OK;
}

EventHandle CSimDriver::RxEventFd(FT_HANDLE h) {
    std::lock_guard lock(m_lock);
    OpenDevice* d = Find(h);
    return d && d->notify ? d->rxEvent.Fd() : kNoEvent;
}

void CSimDriver::StopPump() {
    {
        std::lock_guard lock(m_lock);
        m_stopPump = true;
    }
    m_wake.notify_all();
    if (m_pump.joinable())
        m_pump.join();
}

void CSimDriver::PumpThread() {
    std::unique_lock lock(m_lock);
    while (!m_stopPump) {
        OpenDevice* d = m_open.get();
        if (!d)
            break;
        const auto now = std::chrono::steady_clock::now();
        const double t = SecondsSinceOpen();
        const bool silent = d->unplugged || d->model->Silent(t);
        auto wakeAt = d->nextFrame;
        for (auto it = d->pendingAcks.begin(); it != d->pendingAcks.end();) {
            if (*it <= now) {
                if (!silent)
                    PushLocked(CMeterModel::AckWire());
                it = d->pendingAcks.erase(it);
            } else {
                wakeAt = std::min(wakeAt, *it);
                ++it;
            }
        }
        if (now >= d->nextFrame) {
            if (!silent)
                PushLocked(d->model->MeasurementWire(t));
            const int interval = std::max(1, d->model->Config().frameIntervalMs);
            d->nextFrame = now + std::chrono::milliseconds(interval);
            wakeAt = std::min(d->nextFrame, wakeAt);
        }
        m_wake.wait_until(lock, wakeAt);
    }
}

}  // namespace velquor
