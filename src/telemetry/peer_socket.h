#pragma once

#include <cstdint>
#include <vector>

namespace velquor::telemetry {

// The MQTT library sends a DISCONNECT whenever it closes a connection it thinks is
// up, and a DISCONNECT makes the broker discard the Last Will. To end a connection
// so that the will is published, its socket is found among this process's and shut
// down under the library, which then only sees it closed. Linux: /proc/self/fd.

// Inodes of this process's TCP sockets whose peer port is `port`.
std::vector<std::uint64_t> SocketsToPort(int port);

// Shuts down, both ways, the socket of this process with that inode. False when
// this process holds none.
bool ShutDownSocket(std::uint64_t inode);

}  // namespace velquor::telemetry
