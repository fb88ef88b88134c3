#include "telemetry/broker_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace velquor::telemetry {

namespace {

std::optional<int> ParsePort(std::string_view text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int port = 0;
    for (char c : text)
        port = port * 10 + (c - '0');
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

bool IsIpv6(const std::string& host) {
    in6_addr a{};
    return inet_pton(AF_INET6, host.c_str(), &a) == 1;
}

bool ValidHostName(std::string_view host) {
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_';
    });
}

}  // namespace

std::optional<BrokerAddress> ParseBrokerAddress(std::string_view text, bool tls,
                                                std::string& error) {
    BrokerAddress address;
    address.port = tls ? kMqttTlsPort : kMqttPort;
    std::string_view host = text;
    std::optional<std::string_view> port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == text.npos) {
            error = "broker address '" + std::string(text) + "' lacks the closing ']'";
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                error = "broker address '" + std::string(text) + "': expected ':PORT' after ']'";
                return std::nullopt;
            }
            port = rest.substr(1);
        }
        if (!IsIpv6(std::string(host))) {
            error = "broker address '" + std::string(text) + "': not an IPv6 address in [ ]";
            return std::nullopt;
        }
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        const auto colon = text.find(':');
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    } else if (std::count(text.begin(), text.end(), ':') > 1 && !IsIpv6(std::string(text))) {
        error = "broker address '" + std::string(text) +
                "' is not HOST[:PORT] (write an IPv6 address with a port as [ADDRESS]:PORT)";
        return std::nullopt;
    }
    if (host.empty()) {
        error = "broker address '" + std::string(text) + "' has no host";
        return std::nullopt;
    }
    if (!IsIpv6(std::string(host)) && !ValidHostName(host)) {
        error = "broker address '" + std::string(text) + "': '" + std::string(host) +
                "' is not a host name or address";
        return std::nullopt;
    }
    if (port) {
        const auto p = ParsePort(*port);
        if (!p) {
            error = "broker address '" + std::string(text) + "': the port must be 1 to 65535";
            return std::nullopt;
        }
        address.port = *p;
    }
    address.host = std::string(host);
    return address;
}

std::string ServerUri(const BrokerAddress& address, bool tls) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return std::string(tls ? "ssl://" : "tcp://") + (v6 ? "[" : "") + address.host +
           (v6 ? "]" : "") + ":" + std::to_string(address.port);
}

bool IsLoopbackHost(std::string_view host) {
    if (host == "localhost" || host == "localhost.")
        return true;
    const std::string text(host);
    in_addr a4{};
    if (inet_pton(AF_INET, text.c_str(), &a4) == 1)
        return (ntohl(a4.s_addr) >> 24) == 127;
    in6_addr a6{};
    if (inet_pton(AF_INET6, text.c_str(), &a6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&a6))
            return true;
        return IN6_IS_ADDR_V4MAPPED(&a6) && a6.s6_addr[12] == 127;
    }
    return false;
}

}  // namespace velquor::telemetry
