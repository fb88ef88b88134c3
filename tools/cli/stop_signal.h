#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace velquor::cli {

// SIGINT and SIGTERM as a stop request. The signals are blocked in the thread that
// constructs this (before any other thread starts, so every thread inherits the
// mask) and read on a watcher thread, so a command checks Requested() between its
// bounded waits instead of being interrupted anywhere.
//
// A command that has not ended grace after the first signal (a wait inside the
// link that cannot be cut short), or a second signal, ends the process at once
// with 128 + the signal's number.
//
// On Windows Ctrl-C counts as SIGINT and Ctrl-Break (or closing the console) as
// SIGTERM, taken through the console's control handler, with the same exit codes.
class StopSignal {
public:
    explicit StopSignal(std::chrono::milliseconds grace = std::chrono::milliseconds(800));
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    bool Requested() const { return m_signal.load() != 0; }
    // The exit status of a command that the signal cut short: 128 + its number.
    int ExitStatus() const { return 128 + m_signal.load(); }
    // Waits until a stop is requested or timeout has passed; true on a stop.
    bool WaitFor(std::chrono::milliseconds timeout);
    // Called on the watcher thread right after a stop is requested (at once when it
    // already was), to cut short waits that do not look at Requested(). Empty to clear.
    void SetOnStop(std::function<void()> onStop);

private:
    friend struct StopSignalAccess;  // the Windows console handler
    void Watch();

    std::chrono::milliseconds m_grace;
    int m_signalFd = -1;
    int m_quitFd = -1;
    bool m_quit = false;  // Windows: the watcher is to end (under m_lock)
    std::atomic<int> m_signal{0};
    std::mutex m_lock;
    std::condition_variable m_stopped;
    std::function<void()> m_onStop;
    std::thread m_watcher;
};

}  // namespace velquor::cli
