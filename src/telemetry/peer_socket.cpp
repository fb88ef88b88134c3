#include "telemetry/peer_socket.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>

namespace velquor::telemetry {

namespace {

// Calls f(fd, inode) for every socket this process holds, until f returns true.
template <typename F>
void ForEachSocket(F f) {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return;
    const int own = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own)
            continue;
        struct stat st {};
        if (fstat(static_cast<int>(fd), &st) != 0 || !S_ISSOCK(st.st_mode))
            continue;
        if (f(static_cast<int>(fd), static_cast<std::uint64_t>(st.st_ino)))
            break;
    }
    closedir(dir);
}

int PeerPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return -1;
}

}  // namespace

std::vector<std::uint64_t> SocketsToPort(int port) {
    std::vector<std::uint64_t> inodes;
    ForEachSocket([&](int fd, std::uint64_t inode) {
        if (PeerPort(fd) == port)
            inodes.push_back(inode);
        return false;
    });
    return inodes;
}

bool ShutDownSocket(std::uint64_t inode) {
    bool done = false;
    ForEachSocket([&](int fd, std::uint64_t found) {
        if (found != inode)
            return false;
        done = shutdown(fd, SHUT_RDWR) == 0;
        return true;
    });
    return done;
}

}  // namespace velquor::telemetry
