#include "pty_meter_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "meter/unit_parameters.h"

namespace velquor::metersim {

namespace {

// Measurement frames queued while nobody reads are dropped beyond this, like a
// meter whose host has stopped listening.
constexpr std::size_t kMaxQueuedBytes = 64 * 1024;

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::error_code(errno, std::generic_category()).message();
}

timespec ToTimespec(std::chrono::nanoseconds d) {
    if (d.count() < 0)
        d = std::chrono::nanoseconds(0);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(d.count() / 1000000000);
    ts.tv_nsec = static_cast<long>(d.count() % 1000000000);
    return ts;
}

}  // namespace

CPtyMeterServer::CPtyMeterServer(SimOptions options)
    : m_options(std::move(options)), m_model(m_options.model) {}

CPtyMeterServer::~CPtyMeterServer() {
    Close();
}

void CPtyMeterServer::Close() {
    if (m_master >= 0)
        close(m_master);
    if (m_slave >= 0)
        close(m_slave);
    m_master = m_slave = -1;
}

bool CPtyMeterServer::Open(std::string& error) {
    if (!m_options.sendLog.empty()) {
        m_pSendLog = CFrameTimingLog::Open(m_options.sendLog, error);
        if (!m_pSendLog)
            return false;
    }
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        error = ErrnoText("posix_openpt");
        return false;
    }
    char name[128] = {};
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, name, sizeof name) != 0) {
        error = ErrnoText("pseudo-terminal set-up");
        Close();
        return false;
    }
    m_slavePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0) {
        error = ErrnoText(name);
        Close();
        return false;
    }
    // No echo, no line editing: the host would otherwise get its own bytes back.
    cfmakeraw(&tio);
    tcsetattr(m_slave, TCSANOW, &tio);
    const int flags = fcntl(m_master, F_GETFL);
    fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    return true;
}

bool CPtyMeterServer::QueueWire(const std::vector<std::uint8_t>& bytes, bool droppable) {
    if (droppable && m_out.size() + bytes.size() > kMaxQueuedBytes)
        return false;
    m_out.insert(m_out.end(), bytes.begin(), bytes.end());
    return true;
}

void CPtyMeterServer::SendMeasurement(double t) {
    if (!m_options.tag) {
        QueueWire(m_model.MeasurementWire(t), true);
        return;
    }
    m_model.MutableConfig().fixedPowerTenths =
        static_cast<std::int16_t>(m_nTagCounter % kTagModulus);
    // A dropped frame was never sent, so its counter value is used again.
    if (!QueueWire(m_model.MeasurementWire(t), true))
        return;
    if (m_pSendLog)
        m_pSendLog->Record(TimingEvent::kSent, m_nTagCounter);
    ++m_nTagCounter;
}

bool CPtyMeterServer::Flush(Clock::time_point now, std::string& error) {
    while (!m_out.empty()) {
        if (m_options.chunk > 0 && now < m_nextChunk)
            return true;
        std::size_t n = m_out.size();
        if (m_options.chunk > 0)
            n = std::min(n, static_cast<std::size_t>(m_options.chunk));
        const std::vector<std::uint8_t> piece(m_out.begin(),
                                              m_out.begin() + static_cast<std::ptrdiff_t>(n));
        const ssize_t w = write(m_master, piece.data(), piece.size());
        if (w < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                return true;  // poll says when the host has made room
            error = ErrnoText("write");
            return false;
        }
        if (w == 0)
            return true;
        m_out.erase(m_out.begin(), m_out.begin() + w);
        if (m_options.chunk > 0) {
            m_nextChunk = now + std::chrono::milliseconds(m_options.chunkPauseMs);
            if (m_options.chunkPauseMs > 0)
                return true;
        }
    }
    return true;
}

void CPtyMeterServer::SaveRecord() const {
    if (m_options.recordOut.empty())
        return;
    // Written aside and renamed, so a reader never sees half a record.
    const std::string temp = m_options.recordOut + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "w");
    if (f == nullptr)
        return;
    const std::string text = HexText(m_model.Record()) + "\n";
    const bool ok = std::fputs(text.c_str(), f) >= 0;
    if (std::fclose(f) == 0 && ok)
        std::rename(temp.c_str(), m_options.recordOut.c_str());
}

bool CPtyMeterServer::ReceiveFromHost(double t, std::string& error) {
    std::uint8_t buffer[4096];
    for (;;) {
        const ssize_t n = read(m_master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        if (n <= 0) {
            error = ErrnoText("read");
            return false;
        }
        std::vector<std::uint8_t> reply;
        int ackDelayMs = -1;
        m_model.Receive(t, buffer, static_cast<std::size_t>(n), reply, ackDelayMs);
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
}

bool CPtyMeterServer::Serve(int stopFd, std::string& error) {
    const auto start = Clock::now();
    auto nextFrame = start;
    const auto interval = std::max<std::chrono::microseconds>(m_options.frameInterval,
                                                              std::chrono::microseconds(1000));
    const bool timed = m_options.exitAfterS > 0.0;
    const auto end = start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(m_options.exitAfterS));
    SaveRecord();
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
            // After a stall, carry on from now rather than send a burst.
            if (nextFrame <= now)
                nextFrame = now + interval;
            wake = std::min(wake, nextFrame);
        }
        if (!Flush(now, error))
            break;
        if (timed)
            wake = std::min(wake, end);
        const bool waitingChunk = !m_out.empty() && m_options.chunk > 0 && now < m_nextChunk;
        if (waitingChunk)
            wake = std::min(wake, m_nextChunk);

        pollfd fds[2] = {{stopFd, POLLIN, 0}, {m_master, POLLIN, 0}};
        if (!m_out.empty() && !waitingChunk)
            fds[1].events |= POLLOUT;
        const timespec timeout = ToTimespec(wake - Clock::now());
        const int ready = ppoll(fds, 2, &timeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            error = ErrnoText("poll");
            ok = false;
            break;
        }
        if (fds[0].revents != 0)
            break;
        if ((fds[1].revents & POLLIN) != 0) {
            const double tNow = std::chrono::duration<double>(Clock::now() - start).count();
            ok = ReceiveFromHost(tNow, error);
        } else if ((fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            error = "pseudo-terminal closed";
            ok = false;
        }
    }
    SaveRecord();
    return ok && error.empty();
}

}  // namespace velquor::metersim
