#pragma once

namespace velquor {

// An auto-reset event backed by an eventfd, so the link worker can wait on it
// together with a device descriptor in one poll().
class CAutoResetEvent {
public:
    CAutoResetEvent();
    ~CAutoResetEvent();
    CAutoResetEvent(const CAutoResetEvent&) = delete;
    CAutoResetEvent& operator=(const CAutoResetEvent&) = delete;

    void Set();
    void Reset();
    // Waits until the event is set, consuming it. False on time-out.
    bool Wait(int timeout_ms);
    // Consumes a pending signal without waiting; true if there was one.
    bool TryConsume() { return Wait(0); }
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace velquor
