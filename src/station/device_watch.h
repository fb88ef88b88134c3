#pragma once

#include <string>

namespace velquor::station {

// Tells when something appears or changes in a device folder (inotify), so a wait
// for a meter to come back ends when its node does, not only at the next look.
// Without the folder (or inotify) it never fires and the waits run their course.
class DeviceWatch {
public:
    // name: only entries of this name count; empty: any entry of the folder.
    DeviceWatch(const std::string& folder, std::string name);
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    // Readable while events wait; -1 without a watch.
    int Fd() const { return m_fd; }
    // Reads the waiting events; true when one concerned a watched entry.
    bool Drain();

private:
    int m_fd = -1;
    std::string m_name;
};

}  // namespace velquor::station
