#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/auto_reset_event.h"
#include "link/frame_codec.h"
#include "link/ftdi_driver.h"

namespace velquor {

// The link's waits. Tests shorten them; the program uses the defaults.
struct LinkTimings {
    int idle_wait_ms = 250;
    int mailbox_timeout_ms = 2000;
    int stop_timeout_ms = 1000;
    int identity_pause_ms = 100;
    int reply_wait_ms = 800;
};

// Mailbox command codes.
enum : std::int32_t {
    kCmdStop = 1,
    kCmdOpen = 2,
    kCmdClose = 3,
    kCmdWrite = 4,
    kCmdEepromRead = 5,
};

// The five bytes the worker feeds its decoder when the link falls silent.
inline constexpr std::array<std::uint8_t, 5> kLinkLostWire = {0x11, 0x12, 0xF0, 0x11, 0x13};
inline constexpr int kIdleTicksForLinkLost = 3;

// One meter connection. The worker thread alone touches the driver handle; every
// other thread goes through the one-slot mailbox.
class CUSB {
public:
    explicit CUSB(IFtdiDriver& driver, LinkTimings timings = {});
    virtual ~CUSB();
    CUSB(const CUSB&) = delete;
    CUSB& operator=(const CUSB&) = delete;

    // Receive hook, on the worker thread. The payload is valid only during the call.
    // A class that overrides it calls ShutdownWorker() in its destructor, so the
    // worker never calls into a part of the object already destroyed.
    virtual void OnReceive(const std::uint8_t* payload, int length);

    bool StartWorker();
    // Asks the worker to stop and waits for it at most stop_timeout_ms; callers
    // waiting in the mailbox are let go at once. False when the worker is still
    // inside a stalled driver call; it is then joined at destruction.
    bool StopWorker();
    bool WorkerRunning() const { return m_pWorkerThread != nullptr; }

    std::int32_t SendCommand(std::int32_t code, std::int32_t length, const void* data);
    bool OpenDevice(const std::string& serial, std::uint32_t baud);
    bool CloseDevice();
    bool SendFrame(const std::uint8_t* payload, int length);
    bool QueryIdentity();
    // Shutdown: the request waiting for a reply, and every later one, fails at once
    // as if unanswered, so a sequence in progress ends without its reply waits.
    void CancelRequests();

    // Decoder entry; the worker calls it, and tests may call it while no worker runs.
    void DecodeBytes(const std::uint8_t* bytes, int count);

    static std::uint16_t BaudDivisor(std::uint32_t baud);

    bool LinkAlive() const { return m_bLinkAlive.load(); }
    void ResetIdleTicks() { m_nIdleTicks.store(0); }
    int IdleTicks() const { return m_nIdleTicks.load(); }
    std::int32_t EepromStatus() const { return m_nEepromStatus.load(); }
    std::string EepromSerial() const;
    std::string EepromManufacturer() const;
    const LinkTimings& Timings() const { return m_timings; }

protected:
    // Pending-reply slot, used by the requests of derived classes.
    void BeginAwaitReply(std::uint8_t opcode);
    // Waits for the awaited reply; on success moves it into reply and returns true.
    bool WaitForReply(int timeout_ms, std::vector<std::uint8_t>& reply);
    // Stops the worker and joins it. The stop cannot be withdrawn, so the join
    // lasts at most the worker's current driver call; derived destructors call it
    // so the worker never runs their OnReceive while they are being destroyed.
    void ShutdownWorker();

private:
    void DispatchFrame(const std::uint8_t* payload, int length);
    void WorkerThreadProc();
    void RequestStop();
    void ExecuteCommand(std::int32_t code, const std::vector<std::uint8_t>& data, FT_HANDLE& handle,
                        bool& stop);
    void ServeReceivedData(FT_HANDLE& handle);
    void OnIdleTimeout();
    void ClearDecoder();
    void CloseHandle(FT_HANDLE& handle);

    IFtdiDriver& m_driver;
    const LinkTimings m_timings;

    std::atomic<std::int32_t> m_nEepromStatus{0};
    mutable std::mutex m_eepromLock;
    std::string m_strEepromSerial;
    std::string m_strEepromManufacturer;
    std::atomic<bool> m_bLinkAlive{false};
    std::atomic<int> m_nIdleTicks{0};

    // Mailbox. m_hMailboxMutex (a flag under m_slotLock with its own condition,
    // so the 2000 ms wait is an ordinary predicate wait) admits one caller; the
    // slot fields sit under m_slotLock. Each command carries a sequence number so
    // a late completion of a timed-out command can never be taken for the next one's.
    bool m_hMailboxMutex = false;
    std::condition_variable m_mailboxFree;
    CAutoResetEvent m_hRequestEvent;
    std::mutex m_slotLock;
    std::condition_variable m_hDoneEvent;
    std::uint64_t m_nPostedSeq = 0;
    std::uint64_t m_nTakenSeq = 0;
    std::uint64_t m_nDoneSeq = 0;
    std::int32_t m_nCommand = 0;
    // The worker may still use this after the caller gave up, so it is shared.
    std::shared_ptr<const std::vector<std::uint8_t>> m_pCommandData;
    std::int32_t m_nCommandResult = 0;
    bool m_bWorkerExited = true;
    // Set by StopWorker and never withdrawn; the worker checks it on every loop.
    std::atomic<bool> m_bStopRequested{false};

    // Decoder state (m_frame, m_nFrameLength, m_bInFrame, m_bEscape); worker thread only.
    CFrameDecoder m_decoder;

    // Pending-reply slot.
    std::mutex m_replyLock;
    std::condition_variable m_hReplyEvent;
    bool m_bReplySignalled = false;
    bool m_bRequestsCancelled = false;
    // Atomic so the dispatcher can skip the lock for the common unawaited frame.
    std::atomic<bool> m_bAwaitingReply{false};
    std::uint8_t m_nExpectedReply = 0;
    std::optional<std::vector<std::uint8_t>> m_pReply;

    std::unique_ptr<std::thread> m_pWorkerThread;
    // A worker that missed StopWorker's bound; joined at destruction.
    std::unique_ptr<std::thread> m_pLingeringWorker;
};

}  // namespace velquor
