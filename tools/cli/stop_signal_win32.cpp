#include "stop_signal.h"

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace velquor::cli {

namespace {

// The console calls its control handler without an argument, on a thread of its
// own; this is the one StopSignal the program has.
std::atomic<StopSignal*> g_instance{nullptr};

[[noreturn]] void ExitNow(int signal) {
    static const char kMessage[] = "velquor-cli: interrupted\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kMessage, sizeof kMessage - 1, &written, nullptr);
    std::_Exit(128 + signal);
}

}  // namespace

// Defined here so the console handler can reach the private members.
struct StopSignalAccess {
    static BOOL WINAPI Handler(DWORD type) {
        int number;
        switch (type) {
            case CTRL_C_EVENT:
                number = SIGINT;
                break;
            case CTRL_BREAK_EVENT:
            case CTRL_CLOSE_EVENT:
                number = SIGTERM;
                break;
            default:
                return FALSE;
        }
        StopSignal* stop = g_instance.load();
        if (stop == nullptr)
            return FALSE;
        if (stop->Requested())
            ExitNow(number);
        {
            std::lock_guard lock(stop->m_lock);
            stop->m_signal.store(number);
            if (stop->m_onStop)
                stop->m_onStop();
        }
        stop->m_stopped.notify_all();
        return TRUE;
    }
};

StopSignal::StopSignal(std::chrono::milliseconds grace) : m_grace(grace) {
    StopSignal* none = nullptr;
    if (g_instance.compare_exchange_strong(none, this) &&
        SetConsoleCtrlHandler(&StopSignalAccess::Handler, TRUE))
        m_watcher = std::thread(&StopSignal::Watch, this);
}

StopSignal::~StopSignal() {
    if (m_watcher.joinable()) {
        SetConsoleCtrlHandler(&StopSignalAccess::Handler, FALSE);
        {
            std::lock_guard lock(m_lock);
            m_quit = true;
        }
        m_stopped.notify_all();
        m_watcher.join();
    }
    StopSignal* self = this;
    g_instance.compare_exchange_strong(self, nullptr);
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
    std::unique_lock lock(m_lock);
    // No time-out until a signal has come: the watcher costs nothing meanwhile.
    m_stopped.wait(lock, [this] { return m_quit || Requested(); });
    if (m_quit)
        return;
    if (!m_stopped.wait_for(lock, m_grace, [this] { return m_quit; }))
        ExitNow(m_signal.load());
}

}  // namespace velquor::cli
