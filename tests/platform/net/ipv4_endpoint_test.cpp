#include "platform/net/ipv4_endpoint.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cstdint>
#include <optional>

namespace velkor::platform {
namespace {

struct AddressCase {
    std::uint32_t address;
    const char* text;
};

constexpr AddressCase kAddresses[] = {
    {0x00000000, "0.0.0.0"},      {0x7F000001, "127.0.0.1"},  {0x7F000002, "127.0.0.2"},
    {0xC0A8010A, "192.168.1.10"}, {0x0A00FF01, "10.0.255.1"}, {0xFFFFFFFF, "255.255.255.255"},
};

TEST(Ipv4AddressTest, FormatsAndParsesFirstOctetAsMostSignificant) {
    for (const AddressCase& c : kAddresses) {
        EXPECT_EQ(formatIpv4Address(c.address), c.text);
        EXPECT_EQ(parseIpv4Address(c.text), c.address) << c.text;
    }
}

TEST(Ipv4AddressTest, RefusesAnythingButFourPlainOctets) {
    const char* bad[] = {
        "",        "1.2.3",    "1.2.3.4.5",  "256.0.0.1",   "1.2.3.256", "1..2.3",     ".1.2.3",
        "1.2.3.",  " 1.2.3.4", "1.2.3.4 ",   "01.2.3.4",    "1.2.3.010", "+1.2.3.4",   "1.2.3.-4",
        "a.b.c.d", "1.2.3.4x", "1234.1.1.1", "99999.1.1.1", "1.2.3.4:5", "0x7f.0.0.1",
    };
    for (const char* text : bad) {
        EXPECT_EQ(parseIpv4Address(text), std::nullopt) << "'" << text << "'";
    }
}

TEST(Ipv4EndpointTest, TextRoundTrip) {
    const Ipv4Endpoint endpoint{0x7F000002, 5029};
    EXPECT_EQ(endpoint.toString(), "127.0.0.2:5029");
    EXPECT_EQ(Ipv4Endpoint::parse("127.0.0.2:5029"), endpoint);
    EXPECT_EQ(Ipv4Endpoint::parse("0.0.0.0:0"), (Ipv4Endpoint{0, 0}));
    EXPECT_EQ(Ipv4Endpoint::parse("1.2.3.4:65535"), (Ipv4Endpoint{0x01020304, 65535}));

    for (const char* text : {"1.2.3.4", "1.2.3.4:", "1.2.3.4:65536", "1.2.3.4:-1", "1.2.3.4:x",
                             "1.2.3.4:05029", ":5029", "1.2.3:5029", "1.2.3.4:50 29"}) {
        EXPECT_EQ(Ipv4Endpoint::parse(text), std::nullopt) << "'" << text << "'";
    }
}

TEST(Ipv4EndpointTest, SockaddrIsInNetworkOrder) {
    sockaddr_in address{};
    toSockaddr({0xC0A8010A, 0x13A5}, address);
    EXPECT_EQ(address.sin_family, AF_INET);
    const auto* octets = reinterpret_cast<const std::uint8_t*>(&address.sin_addr.s_addr);
    EXPECT_EQ(octets[0], 192);
    EXPECT_EQ(octets[3], 10);
    const auto* port = reinterpret_cast<const std::uint8_t*>(&address.sin_port);
    EXPECT_EQ(port[0], 0x13);
    EXPECT_EQ(port[1], 0xA5);
    EXPECT_EQ(fromSockaddr(address), (Ipv4Endpoint{0xC0A8010A, 0x13A5}));
}

}  // namespace
}  // namespace velkor::platform
