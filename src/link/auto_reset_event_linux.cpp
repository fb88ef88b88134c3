#include "link/auto_reset_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>

namespace velquor {

CAutoResetEvent::CAutoResetEvent() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (m_fd < 0)
        throw std::runtime_error("eventfd failed");
}

CAutoResetEvent::~CAutoResetEvent() {
    close(m_fd);
}

void CAutoResetEvent::Set() {
    const std::uint64_t one = 1;
    // The counter cannot overflow in practice; a failed write leaves it set anyway.
    ssize_t n;
    do {
        n = write(m_fd, &one, sizeof one);
    } while (n < 0 && errno == EINTR);
}

void CAutoResetEvent::Reset() {
    std::uint64_t value;
    ssize_t n;
    do {
        n = read(m_fd, &value, sizeof value);
    } while (n < 0 && errno == EINTR);
}

bool CAutoResetEvent::Wait(int timeout_ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        std::uint64_t value;
        if (read(m_fd, &value, sizeof value) == static_cast<ssize_t>(sizeof value))
            return true;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 && timeout_ms > 0)
            return false;
        if (timeout_ms <= 0)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        // Another waiter may take the signal between poll and read; loop until the deadline.
        poll(&p, 1, static_cast<int>(left.count()) + 1);
    }
}

WaitOutcome WaitForEvents(EventHandle request, EventHandle data, int timeout_ms,
                          ReadyEvents& ready) {
    pollfd fds[2];
    fds[0] = {request, POLLIN, 0};
    nfds_t count = 1;
    if (data >= 0) {
        fds[1] = {data, POLLIN, 0};
        count = 2;
    }
    const int result = poll(fds, count, timeout_ms);
    if (result < 0)
        return errno == EINTR ? WaitOutcome::kInterrupted : WaitOutcome::kFailed;
    if (result == 0)
        return WaitOutcome::kTimeout;
    // Any event counts, a device's hang-up too: the driver tells it on the next read.
    ready.request = fds[0].revents != 0;
    ready.data = count == 2 && fds[1].revents != 0;
    return WaitOutcome::kReady;
}

}  // namespace velquor
