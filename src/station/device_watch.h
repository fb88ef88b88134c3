#pragma once

#include <string>

#include "link/event_handle.h"

namespace velquor::station {

// Tells when something appears or changes in a device folder (inotify), so a wait
// for a meter to come back ends when its node does, not only at the next look.
// Without the folder (or inotify, as on Windows) it never fires and the waits run
// their course.
class DeviceWatch {
public:
    // name: only entries of this name count; empty: any entry of the folder.
    DeviceWatch(const std::string& folder, std::string name);
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    // Ready while events wait; kNoEvent without a watch.
    EventHandle Fd() const { return m_fd; }
    // Reads the waiting events; true when one concerned a watched entry.
    bool Drain();

private:
    EventHandle m_fd = kNoEvent;
    std::string m_name;
};

}  // namespace velquor::station
