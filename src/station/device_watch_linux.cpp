#include "station/device_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velquor::station {

DeviceWatch::DeviceWatch(const std::string& folder, std::string name) : m_name(std::move(name)) {
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    // A node appears (created or renamed into place, as udev places its links) or
    // its permissions change (udev grants access a moment after creating it).
    if (inotify_add_watch(m_fd, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_ATTRIB) < 0) {
        close(m_fd);
        m_fd = -1;
    }
}

DeviceWatch::~DeviceWatch() {
    if (m_fd >= 0)
        close(m_fd);
}

bool DeviceWatch::Drain() {
    if (m_fd < 0)
        return false;
    bool relevant = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return relevant;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof(inotify_event);
            const std::size_t room = static_cast<std::size_t>(n - at) - sizeof(inotify_event);
            const std::size_t length = std::min<std::size_t>(event.len, room);
            if ((event.mask & IN_Q_OVERFLOW) != 0)
                relevant = true;
            else if (m_name.empty() || m_name == std::string(name, strnlen(name, length)))
                relevant = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
    }
}

}  // namespace velquor::station
