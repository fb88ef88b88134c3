#pragma once

#include "link/event_handle.h"

namespace velquor {

// An auto-reset event the link worker can wait on together with a device's
// received-data event in one WaitForEvents(): an eventfd on Linux, a Win32 event
// on Windows.
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
    EventHandle Fd() const { return m_fd; }

private:
    EventHandle m_fd;
};

// Which of the two waited-on events is ready.
struct ReadyEvents {
    bool request = false;
    bool data = false;
};

enum class WaitOutcome { kTimeout, kReady, kInterrupted, kFailed };

// Waits up to timeout_ms until `request` or `data` (kNoEvent: none) is ready.
// Neither is consumed: the caller takes the request with TryConsume(), and a
// driver's data event stays set until its received bytes are read.
WaitOutcome WaitForEvents(EventHandle request, EventHandle data, int timeout_ms,
                          ReadyEvents& ready);

}  // namespace velquor
