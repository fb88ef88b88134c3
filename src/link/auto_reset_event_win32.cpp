#include "link/auto_reset_event.h"

#include <windows.h>

#include <stdexcept>

namespace velquor {

namespace {

HANDLE Native(EventHandle h) {
    return reinterpret_cast<HANDLE>(h);
}

}  // namespace

CAutoResetEvent::CAutoResetEvent()
    : m_fd(reinterpret_cast<EventHandle>(CreateEventW(nullptr, FALSE, FALSE, nullptr))) {
    if (m_fd == 0)
        throw std::runtime_error("CreateEvent failed");
}

CAutoResetEvent::~CAutoResetEvent() {
    CloseHandle(Native(m_fd));
}

void CAutoResetEvent::Set() {
    SetEvent(Native(m_fd));
}

void CAutoResetEvent::Reset() {
    ResetEvent(Native(m_fd));
}

bool CAutoResetEvent::Wait(int timeout_ms) {
    const DWORD wait = timeout_ms <= 0 ? 0 : static_cast<DWORD>(timeout_ms);
    return WaitForSingleObject(Native(m_fd), wait) == WAIT_OBJECT_0;
}

WaitOutcome WaitForEvents(EventHandle request, EventHandle data, int timeout_ms,
                          ReadyEvents& ready) {
    HANDLE handles[2] = {Native(request), Native(data)};
    const DWORD count = data == kNoEvent ? 1 : 2;
    const DWORD wait = timeout_ms <= 0 ? 0 : static_cast<DWORD>(timeout_ms);
    const DWORD result = WaitForMultipleObjects(count, handles, FALSE, wait);
    if (result == WAIT_TIMEOUT)
        return WaitOutcome::kTimeout;
    if (result >= WAIT_OBJECT_0 + count)
        return WaitOutcome::kFailed;
    // The events are auto-reset and the wait took the one it reports; set it again
    // so the caller consumes it (request) or the driver clears it once read (data),
    // as a descriptor stays readable under poll().
    const DWORD first = result - WAIT_OBJECT_0;
    SetEvent(handles[first]);
    ready.request = first == 0;
    ready.data = count == 2 && (first == 1 || WaitForSingleObject(handles[1], 0) == WAIT_OBJECT_0);
    if (count == 2 && first == 0 && ready.data)
        SetEvent(handles[1]);
    return WaitOutcome::kReady;
}

}  // namespace velquor
