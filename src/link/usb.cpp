#include "link/usb.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>

namespace velquor {

namespace {

std::string TerminatedString(const char* buffer, std::size_t size) {
    return std::string(buffer, strnlen(buffer, size));
}

}  // namespace

CUSB::CUSB(IFtdiDriver& driver, LinkTimings timings) : m_driver(driver), m_timings(timings) {}

CUSB::~CUSB() {
    ShutdownWorker();
}

void CUSB::OnReceive(const std::uint8_t*, int) {}

std::string CUSB::EepromSerial() const {
    std::lock_guard lock(m_eepromLock);
    return m_strEepromSerial;
}

std::string CUSB::EepromManufacturer() const {
    std::lock_guard lock(m_eepromLock);
    return m_strEepromManufacturer;
}

std::uint16_t CUSB::BaudDivisor(std::uint32_t baud) {
    if (baud == 0)
        return 78;
    const double divisor = 3000000.0 / static_cast<double>(baud) + 0.5;
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(divisor) & 0xFFFFu);
}

// ---- worker lifecycle ------------------------------------------------------

bool CUSB::StartWorker() {
    // A worker that missed its stop bound still runs; never start a second one beside it.
    if (m_pWorkerThread || m_pLingeringWorker)
        return false;
    {
        std::lock_guard lock(m_slotLock);
        m_bWorkerExited = false;
        m_bStopRequested = false;
    }
    m_pWorkerThread = std::make_unique<std::thread>([this] { WorkerThreadProc(); });
    return true;
}

void CUSB::RequestStop() {
    {
        std::lock_guard lock(m_slotLock);
        m_bStopRequested = true;
    }
    // Wakes the worker's wait and every caller waiting in the mailbox.
    m_hRequestEvent.Set();
    m_hDoneEvent.notify_all();
    m_mailboxFree.notify_all();
}

bool CUSB::StopWorker() {
    if (!m_pWorkerThread)
        return true;
    RequestStop();
    bool ended;
    {
        std::unique_lock lock(m_slotLock);
        ended = m_hDoneEvent.wait_for(lock, std::chrono::milliseconds(m_timings.stop_timeout_ms),
                                      [this] { return m_bWorkerExited; });
    }
    if (ended) {
        m_pWorkerThread->join();
    } else {
        // The worker is still inside a bounded step; keep the thread to join later
        // rather than free anything it uses.
        if (m_pLingeringWorker && m_pLingeringWorker->joinable())
            m_pLingeringWorker->join();
        m_pLingeringWorker = std::move(m_pWorkerThread);
    }
    m_pWorkerThread.reset();
    return ended;
}

void CUSB::ShutdownWorker() {
    if (m_pWorkerThread)
        StopWorker();
    if (m_pLingeringWorker) {
        // Its stop is still pending; it leaves as soon as its current step returns.
        if (m_pLingeringWorker->joinable())
            m_pLingeringWorker->join();
        m_pLingeringWorker.reset();
    }
}

// ---- mailbox (caller side) -------------------------------------------------

std::int32_t CUSB::SendCommand(std::int32_t code, std::int32_t length, const void* data) {
    const auto timeout = std::chrono::milliseconds(m_timings.mailbox_timeout_ms);
    auto copy = std::make_shared<std::vector<std::uint8_t>>();
    if (data != nullptr && length > 0) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        copy->assign(bytes, bytes + length);
    }
    std::unique_lock lock(m_slotLock);
    if (!m_mailboxFree.wait_for(lock, timeout,
                                [this] { return !m_hMailboxMutex || m_bStopRequested; }))
        return -1;
    if (m_bWorkerExited || m_bStopRequested)
        return -1;  // no worker to serve it
    m_hMailboxMutex = true;
    m_nCommand = code;
    m_pCommandData = std::move(copy);
    const std::uint64_t seq = ++m_nPostedSeq;
    m_hRequestEvent.Set();
    std::int32_t result = -1;
    if (m_hDoneEvent.wait_for(
            lock, timeout,
            [&] { return m_nDoneSeq >= seq || m_bWorkerExited || m_bStopRequested; }) &&
        m_nDoneSeq >= seq) {
        result = m_nCommandResult;
    } else if (m_nTakenSeq < seq) {
        // Withdraw a command the worker has not taken yet, so it never runs late.
        m_nCommand = 0;
    }
    m_hMailboxMutex = false;
    lock.unlock();
    m_mailboxFree.notify_one();
    return result;
}

bool CUSB::OpenDevice(const std::string& serial, std::uint32_t baud) {
    // Serial text with its terminator, then the baud rate.
    std::vector<std::uint8_t> data(serial.begin(), serial.end());
    data.push_back(0);
    for (int i = 0; i < 4; ++i)
        data.push_back(static_cast<std::uint8_t>(baud >> (8 * i)));
    return SendCommand(kCmdOpen, static_cast<std::int32_t>(data.size()), data.data()) == 0;
}

bool CUSB::CloseDevice() {
    return SendCommand(kCmdClose, 0, nullptr) == 0;
}

bool CUSB::SendFrame(const std::uint8_t* payload, int length) {
    if (length < 0)
        return false;
    std::vector<std::uint8_t> wire;
    if (!EncodeFrame(payload, static_cast<std::size_t>(length), wire))
        return false;
    return SendCommand(kCmdWrite, static_cast<std::int32_t>(wire.size()), wire.data()) == 0;
}

bool CUSB::QueryIdentity() {
    SendCommand(kCmdEepromRead, 0, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(m_timings.identity_pause_ms));
    return m_nEepromStatus.load() == 0;
}

// ---- pending reply ---------------------------------------------------------

void CUSB::BeginAwaitReply(std::uint8_t opcode) {
    std::lock_guard lock(m_replyLock);
    m_pReply.reset();
    m_nExpectedReply = opcode;
    m_bReplySignalled = false;
    m_bAwaitingReply = true;
}

bool CUSB::WaitForReply(int timeout_ms, std::vector<std::uint8_t>& reply) {
    std::unique_lock lock(m_replyLock);
    const bool signalled =
        m_hReplyEvent.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                               [this] { return m_bReplySignalled || m_bRequestsCancelled; });
    m_bReplySignalled = false;
    if (!signalled || !m_pReply || m_bRequestsCancelled) {
        m_bAwaitingReply = false;
        return false;
    }
    reply = std::move(*m_pReply);
    m_pReply.reset();
    return true;
}

void CUSB::CancelRequests() {
    {
        std::lock_guard lock(m_replyLock);
        m_bRequestsCancelled = true;
    }
    m_hReplyEvent.notify_all();
}

// ---- decoder ---------------------------------------------------------------

void CUSB::ClearDecoder() {
    m_decoder.Clear();
}

void CUSB::DecodeBytes(const std::uint8_t* bytes, int count) {
    if (count <= 0)
        return;
    m_decoder.Feed(
        bytes, static_cast<std::size_t>(count),
        [this](const std::uint8_t* payload, int length) { DispatchFrame(payload, length); });
}

void CUSB::DispatchFrame(const std::uint8_t* payload, int length) {
    if (m_bAwaitingReply.load(std::memory_order_acquire)) {
        std::lock_guard lock(m_replyLock);
        if (m_bAwaitingReply && length >= 1 && payload[0] == m_nExpectedReply) {
            m_bAwaitingReply = false;
            m_pReply.emplace(payload, payload + length);
            m_bReplySignalled = true;
            m_hReplyEvent.notify_all();
        }
    }
    OnReceive(payload, length);
}

// ---- worker ----------------------------------------------------------------

void CUSB::CloseHandle(FT_HANDLE& handle) {
    m_driver.FT_SetEventNotification(handle, 0);
    m_driver.FT_ClrRts(handle);
    m_driver.FT_ClrDtr(handle);
    m_driver.FT_Close(handle);
    handle = nullptr;
    // A frame head of this device must not be completed by the next one's bytes.
    ClearDecoder();
}

void CUSB::ExecuteCommand(std::int32_t code, const std::vector<std::uint8_t>& data,
                          FT_HANDLE& handle, bool& stop) {
    switch (code) {
        case kCmdStop:
            stop = true;
            break;
        case kCmdOpen: {
            // An open while a device is held would leak that handle; close it first.
            if (handle != nullptr)
                CloseHandle(handle);
            std::string serial;
            std::uint32_t baud = 0;
            const auto nul = std::find(data.begin(), data.end(), std::uint8_t{0});
            serial.assign(data.begin(), nul);
            if (nul != data.end() && data.end() - nul >= 5) {
                for (int i = 0; i < 4; ++i)
                    baud |= static_cast<std::uint32_t>(*(nul + 1 + i)) << (8 * i);
            }
            FT_HANDLE opened = nullptr;
            if (m_driver.FT_OpenEx(serial.c_str(), FT_OPEN_BY_SERIAL_NUMBER, &opened) != FT_OK ||
                opened == nullptr) {
                m_nCommandResult = -1;
                break;
            }
            handle = opened;
            ClearDecoder();
            const std::uint16_t divisor = BaudDivisor(baud);
            m_driver.FT_SetDivisor(handle, divisor);
            m_driver.FT_SetDataCharacteristics(handle, 8, 0, 0);
            m_driver.FT_SetFlowControl(handle, 0, 0, 0);
            m_driver.FT_SetDtr(handle);
            m_driver.FT_SetRts(handle);
            m_driver.FT_SetTimeouts(handle, 1000, 1000);
            m_driver.FT_SetEventNotification(handle, FT_EVENT_RXCHAR);
            m_nCommandResult = 0;
            m_bLinkAlive.store(true);
            break;
        }
        case kCmdClose:
            if (handle == nullptr) {
                m_nCommandResult = -1;
            } else {
                CloseHandle(handle);
                m_nCommandResult = 0;
            }
            break;
        case kCmdWrite:
            if (handle == nullptr) {
                m_nCommandResult = -1;
            } else {
                std::uint32_t written = 0;
                const FT_STATUS status = m_driver.FT_Write(
                    handle, data.data(), static_cast<std::uint32_t>(data.size()), &written);
                m_nCommandResult = status == FT_OK ? 0 : -1;
            }
            break;
        case kCmdEepromRead:
            if (handle != nullptr) {
                constexpr int kSize = 64;
                char manufacturer[kSize] = {};
                char manufacturerId[kSize] = {};
                char description[kSize] = {};
                char serial[kSize] = {};
                FT_PROGRAM_DATA program;
                program.Signature1 = 0x00000000;
                program.Signature2 = 0xFFFFFFFFu;
                program.Version = 1;
                program.Manufacturer = manufacturer;
                program.ManufacturerId = manufacturerId;
                program.Description = description;
                program.SerialNumber = serial;
                program.StringBufferSize = kSize;
                const FT_STATUS status = m_driver.FT_EE_Read(handle, &program);
                if (status == FT_OK) {
                    std::lock_guard lock(m_eepromLock);
                    m_strEepromSerial = TerminatedString(serial, kSize);
                    m_strEepromManufacturer = TerminatedString(manufacturer, kSize);
                }
                m_nEepromStatus.store(status);
            }
            break;
        default:
            break;
    }
}

void CUSB::ServeReceivedData(FT_HANDLE& handle) {
    std::uint32_t rx = 0, tx = 0, events = 0;
    m_driver.FT_GetStatus(handle, &rx, &tx, &events);
    if (rx != 0) {
        std::vector<std::uint8_t> buffer(rx);
        std::uint32_t returned = 0;
        m_driver.FT_Read(handle, buffer.data(), rx, &returned);
        if (returned > rx)
            returned = rx;
        DecodeBytes(buffer.data(), static_cast<int>(returned));
    }
    m_bLinkAlive.store(true);
    m_nIdleTicks.store(0);
}

void CUSB::OnIdleTimeout() {
    const int n = m_nIdleTicks.load();
    if (n <= 2) {
        m_nIdleTicks.store(n + 1);
        return;
    }
    // Saturate rather than overflow after years of silence.
    m_nIdleTicks.store(n > std::numeric_limits<int>::max() - 2 ? n : n + 2);
    if (n == kIdleTicksForLinkLost) {
        m_bLinkAlive.store(false);
        // A frame cut inside an escape pair would swallow the injected bytes.
        ClearDecoder();
        DecodeBytes(kLinkLostWire.data(), static_cast<int>(kLinkLostWire.size()));
    }
}

void CUSB::WorkerThreadProc() {
    FT_HANDLE handle = nullptr;
    bool stop = false;
    ClearDecoder();
    // The stop flag is read on every loop, so a stop that arrives during a stalled
    // driver call takes effect as soon as the call returns.
    while (!stop && !m_bStopRequested.load()) {
        const EventHandle rx = handle != nullptr ? m_driver.RxEventFd(handle) : kNoEvent;
        ReadyEvents ready;
        const WaitOutcome outcome =
            WaitForEvents(m_hRequestEvent.Fd(), rx, m_timings.idle_wait_ms, ready);
        if (outcome == WaitOutcome::kInterrupted)
            continue;  // nothing happened
        if (outcome == WaitOutcome::kFailed) {
            // Any other failure must not spin: wait as a time-out would, and count it.
            std::this_thread::sleep_for(std::chrono::milliseconds(m_timings.idle_wait_ms));
            OnIdleTimeout();
            continue;
        }
        if (outcome == WaitOutcome::kTimeout) {
            OnIdleTimeout();
            continue;
        }
        if (ready.request && m_hRequestEvent.TryConsume()) {
            if (m_bStopRequested.load())
                break;
            std::int32_t code;
            std::shared_ptr<const std::vector<std::uint8_t>> data;
            std::uint64_t seq;
            {
                std::lock_guard lock(m_slotLock);
                code = m_nCommand;
                data = m_pCommandData;
                seq = m_nPostedSeq;
                m_nTakenSeq = seq;
            }
            const std::vector<std::uint8_t> none;
            ExecuteCommand(code, data ? *data : none, handle, stop);
            m_bLinkAlive.store(true);
            m_nIdleTicks.store(0);
            {
                std::lock_guard lock(m_slotLock);
                m_nDoneSeq = seq;
            }
            m_hDoneEvent.notify_all();
            continue;
        }
        if (ready.data) {
            ServeReceivedData(handle);
        }
    }
    if (handle != nullptr) {
        m_driver.FT_Close(handle);
        handle = nullptr;
        m_bLinkAlive.store(false);
    }
    {
        std::lock_guard lock(m_slotLock);
        m_bWorkerExited = true;
    }
    m_hDoneEvent.notify_all();
}

}  // namespace velquor
