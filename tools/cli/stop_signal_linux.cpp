#include "stop_signal.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace velquor::cli {

namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

void ExitNow(int signal) {
    static const char kMessage[] = "velquor-cli: interrupted\n";
    // Only async-safe calls: the main thread may be anywhere.
    [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    _exit(128 + signal);
}

}  // namespace

StopSignal::StopSignal(std::chrono::milliseconds grace) : m_grace(grace) {
    const sigset_t set = StopSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_signalFd = signalfd(-1, &set, SFD_CLOEXEC);
    m_quitFd = eventfd(0, EFD_CLOEXEC);
    if (m_signalFd >= 0 && m_quitFd >= 0)
        m_watcher = std::thread(&StopSignal::Watch, this);
}

StopSignal::~StopSignal() {
    if (m_watcher.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(m_quitFd, &one, sizeof one);
        m_watcher.join();
    }
    if (m_signalFd >= 0)
        close(m_signalFd);
    if (m_quitFd >= 0)
        close(m_quitFd);
}

bool StopSignal::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_lock);
    return m_stopped.wait_for(lock, timeout, [this] { return Requested(); });
}

void StopSignal::SetOnStop(std::function<void()> onStop) {
    std::lock_guard lock(m_lock);
    m_onStop = std::move(onStop);
    if (m_onStop && Requested())
        m_onStop();
}

void StopSignal::Watch() {
    pollfd fds[2] = {{m_signalFd, POLLIN, 0}, {m_quitFd, POLLIN, 0}};
    for (;;) {
        // No time-out until a signal has come: the watcher costs nothing meanwhile.
        const int timeout = Requested() ? static_cast<int>(m_grace.count()) : -1;
        const int ready = poll(fds, 2, timeout);
        if (ready < 0)
            continue;
        if (fds[1].revents != 0)
            return;
        if (ready == 0)
            ExitNow(m_signal.load());
        signalfd_siginfo info{};
        if (read(m_signalFd, &info, sizeof info) != static_cast<ssize_t>(sizeof info))
            continue;
        const int number = static_cast<int>(info.ssi_signo);
        if (Requested())
            ExitNow(number);
        {
            std::lock_guard lock(m_lock);
            m_signal.store(number);
            if (m_onStop)
                m_onStop();
        }
        m_stopped.notify_all();
    }
}

}  // namespace velquor::cli
