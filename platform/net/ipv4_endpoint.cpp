#include "platform/net/ipv4_endpoint.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>
#include <cstdio>
#include <ostream>

namespace velkor::platform {

namespace {

// A decimal number without sign or leading zero, at most `maxValue`.
std::optional<std::uint32_t> parseDecimal(std::string_view text, std::uint32_t maxValue) {
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text.front() == '0')) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > maxValue) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string formatIpv4Address(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>((address >> 24) & 0xFF),
                  static_cast<int>((address >> 16) & 0xFF), static_cast<int>((address >> 8) & 0xFF),
                  static_cast<int>(address & 0xFF));
    return text;
}

std::optional<std::uint32_t> parseIpv4Address(std::string_view text) {
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = text.find('.');
        const bool last = part == 3;
        if (last != (dot == std::string_view::npos)) {
            return std::nullopt;
        }
        const std::optional<std::uint32_t> octet = parseDecimal(text.substr(0, dot), 255);
        if (!octet) {
            return std::nullopt;
        }
        address = (address << 8) | *octet;
        text = last ? std::string_view() : text.substr(dot + 1);
    }
    return address;
}

std::string Ipv4Endpoint::toString() const {
    return formatIpv4Address(address) + ":" + std::to_string(port);
}

std::optional<Ipv4Endpoint> Ipv4Endpoint::parse(std::string_view text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> address = parseIpv4Address(text.substr(0, colon));
    const std::optional<std::uint32_t> port = parseDecimal(text.substr(colon + 1), 65535);
    if (!address || !port) {
        return std::nullopt;
    }
    return Ipv4Endpoint{*address, static_cast<std::uint16_t>(*port)};
}

void toSockaddr(const Ipv4Endpoint& endpoint, sockaddr_in& out) {
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_addr.s_addr = htonl(endpoint.address);
    out.sin_port = htons(endpoint.port);
}

Ipv4Endpoint fromSockaddr(const sockaddr_in& in) {
    return {ntohl(in.sin_addr.s_addr), ntohs(in.sin_port)};
}

std::ostream& operator<<(std::ostream& out, const Ipv4Endpoint& endpoint) {
    return out << endpoint.toString();
}

}  // namespace velkor::platform
