#pragma once

#include <compare>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

struct sockaddr_in;

namespace velkor::platform {

// An IPv4 address and UDP port. The address is one 32-bit value whose most
// significant byte is the first octet, as the provider stores the PBX address
// in its settings: 127.0.0.2 is 0x7F000002.
struct Ipv4Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;

    static constexpr std::uint32_t kAny = 0;
    static constexpr std::uint32_t kLoopback = 0x7F000001;

    // "a.b.c.d:port"
    std::string toString() const;

    // "a.b.c.d:port", the address as formatIpv4Address() writes it and the port
    // in decimal 0..65535.
    static std::optional<Ipv4Endpoint> parse(std::string_view text);

    friend bool operator==(const Ipv4Endpoint&, const Ipv4Endpoint&) = default;
};

// Dotted text "%d.%d.%d.%d".
std::string formatIpv4Address(std::uint32_t address);

// Reads exactly four decimal parts 0..255 separated by dots. Nothing else is
// taken: no spaces, signs, empty parts or leading zeros (other tools read
// "010" as octal, so such text is refused rather than guessed at).
std::optional<std::uint32_t> parseIpv4Address(std::string_view text);

void toSockaddr(const Ipv4Endpoint& endpoint, sockaddr_in& out);
Ipv4Endpoint fromSockaddr(const sockaddr_in& in);

std::ostream& operator<<(std::ostream& out, const Ipv4Endpoint& endpoint);

}  // namespace velkor::platform
