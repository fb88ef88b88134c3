#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace velquor::telemetry {

inline constexpr int kMqttPort = 1883;
inline constexpr int kMqttTlsPort = 8883;

struct BrokerAddress {
    std::string host;  // a name, an IPv4 address or an IPv6 address without brackets
    int port = kMqttPort;
};

// Parses HOST[:PORT] ("broker", "10.0.0.5:1884", "[::1]:1884", "::1"). Without a
// port, 1883, or 8883 with TLS. On an error returns nothing and says why.
std::optional<BrokerAddress> ParseBrokerAddress(std::string_view text, bool tls,
                                                std::string& error);

// The server URI the MQTT library takes: tcp://host:port or ssl://host:port.
std::string ServerUri(const BrokerAddress& address, bool tls);

// True for "localhost", 127.0.0.0/8, ::1 and IPv4-mapped loopback addresses. A
// name is not looked up: any other name counts as a remote host.
bool IsLoopbackHost(std::string_view host);

// The wait before the next connection attempt after `failures` failed ones in a
// row: min, doubling each time, never more than max.
inline std::chrono::milliseconds ReconnectDelay(
    int failures, std::chrono::milliseconds min = std::chrono::seconds(1),
    std::chrono::milliseconds max = std::chrono::seconds(30)) {
    std::chrono::milliseconds delay = min;
    for (int i = 0; i < failures && delay < max; ++i)
        delay *= 2;
    return delay < max ? delay : max;
}

}  // namespace velquor::telemetry
