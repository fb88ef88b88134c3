#include "com_meter_server.h"

#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

#include "link/auto_reset_event.h"
#include "link/com_port_names.h"
#include "meter/unit_parameters.h"

namespace velquor::metersim {

namespace {

constexpr std::size_t kMaxQueuedBytes = 64 * 1024;
constexpr DWORD kReadSliceMs = 100;
constexpr DWORD kWriteTimeoutMs = 1000;

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::string WinError(const std::string& what, DWORD error) {
    FT_STATUS ignored;
    return what + ": " + OpenErrorText(error, ignored);
}

}  // namespace

// The port and its reader thread: received bytes wait in `received`, `rx` is set
// while they do.
struct CComMeterServer::Io {
    HANDLE file = INVALID_HANDLE_VALUE;
    OVERLAPPED readOverlapped{};
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::vector<std::uint8_t> received;
    DWORD failure = ERROR_SUCCESS;
    CAutoResetEvent rx;
    std::thread reader;

    void Read() {
        std::uint8_t buffer[4096];
        while (!stop.load()) {
            DWORD n = 0;
            ResetEvent(readOverlapped.hEvent);
            BOOL ok = ReadFile(file, buffer, sizeof buffer, &n, &readOverlapped);
            if (!ok && GetLastError() == ERROR_IO_PENDING)
                ok = GetOverlappedResult(file, &readOverlapped, &n, TRUE);
            const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
            if (stop.load())
                break;
            std::lock_guard guard(lock);
            if (!ok && IsLostDeviceError(error)) {
                failure = error;
                rx.Set();
                break;
            }
            if (n > 0) {
                received.insert(received.end(), buffer, buffer + n);
                rx.Set();
            }
        }
    }

    ~Io() {
        stop = true;
        if (file != INVALID_HANDLE_VALUE)
            CancelIoEx(file, &readOverlapped);
        if (reader.joinable())
            reader.join();
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (readOverlapped.hEvent != nullptr)
            CloseHandle(readOverlapped.hEvent);
    }
};

CComMeterServer::CComMeterServer(SimOptions options, std::string port)
    : m_options(std::move(options)), m_model(m_options.model), m_port(std::move(port)) {}

CComMeterServer::~CComMeterServer() {
    Close();
}

void CComMeterServer::Close() {
    m_io.reset();
}

bool CComMeterServer::Open(std::string& error) {
    const auto name = ComPortName(m_port);
    if (!name) {
        error = m_port + ": not a COM port name (COM1, COM2, ...)";
        return false;
    }
    m_port = *name;
    auto io = std::make_unique<Io>();
    io->file = CreateFileW(Wide(ComPortPath(m_port)).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (io->file == INVALID_HANDLE_VALUE) {
        error = WinError(m_port, GetLastError());
        return false;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(io->file, &dcb);
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = dcb.fInX = dcb.fNull = dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.BaudRate = 19200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    timeouts.ReadTotalTimeoutConstant = kReadSliceMs;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    if (!SetCommState(io->file, &dcb) || !SetCommTimeouts(io->file, &timeouts)) {
        error =
            m_port + ": cannot set the line (Windows error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    PurgeComm(io->file, PURGE_RXCLEAR | PURGE_TXCLEAR);
    io->readOverlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (io->readOverlapped.hEvent == nullptr) {
        error = m_port + ": out of resources";
        return false;
    }
    Io* raw = io.get();
    io->reader = std::thread([raw] { raw->Read(); });
    m_io = std::move(io);
    return true;
}

bool CComMeterServer::QueueWire(const std::vector<std::uint8_t>& bytes, bool droppable) {
    if (droppable && m_out.size() + bytes.size() > kMaxQueuedBytes)
        return false;
    m_out.insert(m_out.end(), bytes.begin(), bytes.end());
    return true;
}

void CComMeterServer::SendMeasurement(double t) {
    if (!m_options.tag) {
        QueueWire(m_model.MeasurementWire(t), true);
        return;
    }
    m_model.MutableConfig().fixedPowerTenths =
        static_cast<std::int16_t>(m_nTagCounter % kTagModulus);
    if (QueueWire(m_model.MeasurementWire(t), true))
        ++m_nTagCounter;
}

bool CComMeterServer::Flush(Clock::time_point now, std::string& error) {
    while (!m_out.empty()) {
        if (m_options.chunk > 0 && now < m_nextChunk)
            return true;
        std::size_t n = m_out.size();
        if (m_options.chunk > 0)
            n = std::min(n, static_cast<std::size_t>(m_options.chunk));
        const std::vector<std::uint8_t> piece(m_out.begin(),
                                              m_out.begin() + static_cast<std::ptrdiff_t>(n));
        OVERLAPPED overlapped{};
        overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        DWORD written = 0;
        BOOL ok = WriteFile(m_io->file, piece.data(), static_cast<DWORD>(piece.size()), &written,
                            &overlapped);
        if (!ok && GetLastError() == ERROR_IO_PENDING) {
            if (WaitForSingleObject(overlapped.hEvent, kWriteTimeoutMs) != WAIT_OBJECT_0)
                CancelIoEx(m_io->file, &overlapped);
            ok = GetOverlappedResult(m_io->file, &overlapped, &written, TRUE);
        }
        const DWORD failure = ok ? ERROR_SUCCESS : GetLastError();
        CloseHandle(overlapped.hEvent);
        if (!ok && failure != ERROR_OPERATION_ABORTED) {
            error = WinError("write", failure);
            return false;
        }
        if (written == 0)
            return true;  // nobody drains the other end; try again at the next wake
        m_out.erase(m_out.begin(), m_out.begin() + written);
        if (m_options.chunk > 0) {
            m_nextChunk = now + std::chrono::milliseconds(m_options.chunkPauseMs);
            if (m_options.chunkPauseMs > 0)
                return true;
        }
    }
    return true;
}

void CComMeterServer::SaveRecord() const {
    if (m_options.recordOut.empty())
        return;
    const std::string temp = m_options.recordOut + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "w");
    if (f == nullptr)
        return;
    const std::string text = HexText(m_model.Record()) + "\n";
    const bool ok = std::fputs(text.c_str(), f) >= 0;
    if (std::fclose(f) == 0 && ok)
        MoveFileExA(temp.c_str(), m_options.recordOut.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void CComMeterServer::Receive(double t, const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> reply;
    int ackDelayMs = -1;
    m_model.Receive(t, bytes.data(), bytes.size(), reply, ackDelayMs);
    QueueWire(reply, false);
    if (ackDelayMs >= 0)
        m_pendingAcks.push_back(Clock::now() + std::chrono::milliseconds(ackDelayMs));
    const auto& received = m_model.Received();
    const auto writes = static_cast<std::size_t>(std::count_if(
        received.begin(), received.end(),
        [](const auto& payload) { return !payload.empty() && payload[0] == kOpWriteRecord; }));
    if (writes != m_recordWrites) {
        m_recordWrites = writes;
        SaveRecord();
    }
}

bool CComMeterServer::Serve(EventHandle stop, std::string& error) {
    const auto start = Clock::now();
    auto nextFrame = start;
    const auto interval = std::max<std::chrono::microseconds>(m_options.frameInterval,
                                                              std::chrono::microseconds(1000));
    const bool timed = m_options.exitAfterS > 0.0;
    const auto end = start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(m_options.exitAfterS));
    SaveRecord();
    // Windows sleeps in 15.6 ms steps unless asked for finer ones; 213 frames/s
    // needs a frame every 4.7 ms.
    timeBeginPeriod(1);
    bool ok = true;
    while (ok) {
        const auto now = Clock::now();
        if (timed && now >= end)
            break;
        const double t = std::chrono::duration<double>(now - start).count();
        const bool silent = m_model.Silent(t);
        auto wake = nextFrame;
        for (auto it = m_pendingAcks.begin(); it != m_pendingAcks.end();) {
            if (*it <= now) {
                if (!silent)
                    QueueWire(CMeterModel::AckWire(), false);
                it = m_pendingAcks.erase(it);
            } else {
                wake = std::min(wake, *it);
                ++it;
            }
        }
        if (now >= nextFrame) {
            if (!silent)
                SendMeasurement(t);
            nextFrame += interval;
            if (nextFrame <= now)
                nextFrame = now + interval;
            wake = std::min(wake, nextFrame);
        }
        if (!Flush(now, error))
            break;
        if (timed)
            wake = std::min(wake, end);
        if (!m_out.empty() && m_options.chunk > 0 && now < m_nextChunk)
            wake = std::min(wake, m_nextChunk);
        // A write that found no room waits a little rather than spin.
        if (!m_out.empty() && m_options.chunk == 0)
            wake = std::min(wake, Clock::now() + std::chrono::milliseconds(5));

        const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
        ReadyEvents ready;
        const WaitOutcome outcome = WaitForEvents(
            stop, m_io->rx.Fd(), static_cast<int>(std::max<long long>(left, 0)), ready);
        if (outcome == WaitOutcome::kFailed) {
            error = "waiting on the port failed";
            ok = false;
            break;
        }
        if (ready.request)
            break;
        if (ready.data) {
            std::vector<std::uint8_t> bytes;
            DWORD failure;
            {
                std::lock_guard guard(m_io->lock);
                bytes.swap(m_io->received);
                failure = m_io->failure;
                m_io->rx.Reset();
            }
            if (!bytes.empty())
                Receive(std::chrono::duration<double>(Clock::now() - start).count(), bytes);
            if (failure != ERROR_SUCCESS) {
                error = WinError(m_port, failure);
                ok = false;
            }
        }
    }
    timeEndPeriod(1);
    SaveRecord();
    return ok && error.empty();
}

}  // namespace velquor::metersim
