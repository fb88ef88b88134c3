#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velquor::remote {

// Where one service listens: the address as the server took it ("127.0.0.1",
// "0.0.0.0", "::") and its port (0: not served).
struct Endpoint {
    std::string address;
    std::uint16_t port = 0;
};

// What the program serves on the network, for discovery tools to find, and who the
// meters are.
struct ServedInstrument {
    Endpoint scpi;   // raw SCPI socket (_scpi-raw._tcp)
    Endpoint http;   // web page and LXI identification (_http._tcp, _lxi._tcp)
    Endpoint vxi11;  // VXI-11 core channel (_vxi-11._tcp)
    std::vector<std::string> serials;  // one per meter, in channel order; empty: unknown
    std::string firmware;              // of the first meter
};

// One DNS-SD service: its type, where it listens and its TXT strings ("key=value").
// It is announced on the interface that holds its address (every interface for a
// wildcard address), so a server on the loopback is never announced to the network.
struct ServiceRecord {
    std::string type;
    std::string address;
    std::uint16_t port = 0;
    std::vector<std::string> txt;
    bool operator==(const ServiceRecord&) const = default;
};

// The instance name: the model and the serial number(s), at most 63 bytes (one DNS
// label): "Orvane ViridIrivi RA OV227700", "Orvane ViridIrivi RA (OV227700, OV227701)",
// or, when the list does not fit, "Orvane ViridIrivi RA (OV227700 and 5 more)".
std::string InstanceName(const std::vector<std::string>& serials);

// The services to announce for what is served, with the TXT records discovery tools
// read (txtvers, Manufacturer, Model, SerialNumber, FirmwareVersion; path for HTTP).
std::vector<ServiceRecord> ServicesFor(const ServedInstrument& served);

// Announces the services over mDNS through the system's avahi-daemon, on a thread
// of its own (the daemon's client library's), for as long as it lives. A name
// taken by another host is replaced by the daemon's alternative ("... #2").
class DnsSdAnnouncer {
public:
    DnsSdAnnouncer();
    ~DnsSdAnnouncer();
    DnsSdAnnouncer(const DnsSdAnnouncer&) = delete;
    DnsSdAnnouncer& operator=(const DnsSdAnnouncer&) = delete;

    // Starts announcing. False when nothing will be announced, with the reason in
    // status (no avahi-daemon or D-Bus reachable, nothing served); true with status
    // saying what is announced or that it waits for the daemon to start. Call once.
    bool Start(const std::string& name, const std::vector<ServiceRecord>& services,
               std::string& status);
    // Waits up to timeout for the daemon to confirm every service; false on time-out
    // or failure.
    bool WaitAnnounced(std::chrono::milliseconds timeout);
    // The name in use (it changes after a collision).
    std::string Name() const;
    // Withdraws the announcements and stops the thread. Safe to call twice.
    void Stop();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace velquor::remote
