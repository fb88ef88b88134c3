#include "telemetry/peer_socket.h"

#include <dirent.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace velquor::telemetry {

namespace {

// The inode of a socket descriptor, read from its /proc link rather than by fstat:
// the scan must not touch descriptors other threads may be opening or closing.
std::uint64_t SocketInode(const char* name) {
    const std::string path = std::string("/proc/self/fd/") + name;
    char target[64];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return 0;
    target[n] = '\0';
    unsigned long long inode = 0;
    if (std::sscanf(target, "socket:[%llu]", &inode) != 1)
        return 0;
    return inode;
}

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
        const std::uint64_t inode = SocketInode(entry->d_name);
        if (inode != 0 && f(static_cast<int>(fd), inode))
            break;
    }
    closedir(dir);
}

// Inodes of the TCP sockets (any process's view of this network namespace) whose
// remote port is `port`, from /proc/net/tcp and tcp6.
std::set<std::uint64_t> InodesWithPeerPort(int port) {
    std::set<std::uint64_t> inodes;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // the column titles
        while (std::getline(in, line)) {
            std::istringstream row(line);
            std::string slot, local, remote, state, queues, timer, retransmits;
            unsigned long uid = 0, timeout = 0;
            unsigned long long inode = 0;
            if (!(row >> slot >> local >> remote >> state >> queues >> timer >> retransmits >>
                  uid >> timeout >> inode))
                continue;
            const auto colon = remote.rfind(':');
            if (colon == std::string::npos)
                continue;
            if (std::strtol(remote.c_str() + colon + 1, nullptr, 16) == port && inode != 0)
                inodes.insert(inode);
        }
    }
    return inodes;
}

}  // namespace

std::vector<std::uint64_t> SocketsToPort(int port) {
    const std::set<std::uint64_t> toPort = InodesWithPeerPort(port);
    std::vector<std::uint64_t> inodes;
    ForEachSocket([&](int, std::uint64_t inode) {
        if (toPort.count(inode) != 0)
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
