#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "remote/instrument.h"

namespace velquor::remote {

// The VXI-11 core channel's RPC program, as rpcbind knows it.
inline constexpr std::uint32_t kVxi11CoreProgram = 0x0607AF;
inline constexpr std::uint32_t kVxi11CoreVersion = 1;

// VXI-11 error codes a client sees in a reply's error field.
namespace vxi11err {
inline constexpr int kNone = 0;
inline constexpr int kDeviceNotAccessible = 3;
inline constexpr int kInvalidLink = 4;
inline constexpr int kParameter = 5;
inline constexpr int kNotSupported = 8;
inline constexpr int kOutOfResources = 9;
inline constexpr int kTimeout = 15;
inline constexpr int kIoError = 17;
}  // namespace vxi11err

// device_write and device_read flags, and device_read's reasons.
namespace vxi11flag {
inline constexpr int kEnd = 0x08;
inline constexpr int kTermCharSet = 0x80;
inline constexpr int kReasonRequestCount = 0x01;
inline constexpr int kReasonTermChar = 0x02;
inline constexpr int kReasonEnd = 0x04;
}  // namespace vxi11flag

struct Vxi11Options {
    std::string address = "127.0.0.1";
    std::uint16_t port = 0;  // the core channel's; 0 picks a free port
    std::size_t max_links = 8;
    // Registers the core channel's port with the system's rpcbind, as VISA
    // clients look it up there (port 111).
    bool register_portmap = true;
    // The largest device_write a client is told to send; larger RPC records close
    // the connection.
    std::size_t max_recv_size = 64 * 1024;
    // Replies a link holds unread; beyond this the link is dropped.
    std::size_t max_output_bytes = 1 << 20;
    // Input held unprocessed behind a command that waits.
    std::size_t max_backlog_bytes = 64 * 1024;
    // Links the connections from one peer address may hold, so that one host on
    // the network cannot take every link; as the socket server's, clients on this
    // machine count only against max_links unless limit_loopback is set.
    std::size_t max_links_per_peer = 4;
    bool limit_loopback = false;
};

// SCPI over VXI-11 (the "INSTR" resource of VISA): the device "inst0" is the one
// instrument every SCPI client shares, each link with its own session exactly
// like a connection of the socket server. One thread, owned here, serves both
// the core and the abort channel; a device_read waits on it for at most the
// client's io_timeout.
//
// The RPC library keeps one server table per process, so one Vxi11Server runs
// at a time; a second Start says so.
class Vxi11Server {
public:
    Vxi11Server(Instrument& instrument, Vxi11Options options);
    ~Vxi11Server();
    Vxi11Server(const Vxi11Server&) = delete;
    Vxi11Server& operator=(const Vxi11Server&) = delete;

    // Binds both channels and serves on its own thread. False with a message (an
    // address not valid, a port in use, another server in this process).
    bool Start(std::string& error);
    std::uint16_t Port() const;
    std::uint16_t AbortPort() const;
    // Whether rpcbind took the registration; when not, why (for the user: the
    // server runs on, reachable with its port given).
    bool Registered() const;
    std::string RegistrationNote() const;
    // Unregisters, closes every link and connection and joins the thread, within
    // about a second.
    void Stop();

    std::size_t Links() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velquor::remote
