#include "provider/link/transport/udp_transport.h"

#include <gtest/gtest.h>

#include <numeric>

#include "tests/provider/link/transport/loopback_pbx.h"

namespace velkor::link {
namespace {

using namespace std::chrono_literals;
using platform::DatagramSocket;
using platform::Ipv4Endpoint;
using testing::FeedRecorder;

class UdpTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::uint32_t base = testing::uniqueLoopbackPair();
        settings.communicationMethod = 2;
        settings.localAddress = base;
        settings.pbxAddress = base + 1;
    }

    std::unique_ptr<UdpTransport> makeTransport() {
        return std::make_unique<UdpTransport>(
            settings, [this](auto bytes, Channel channel) { return recorder.feed(bytes, channel); });
    }
    DatagramSocket pbxSocket(std::uint16_t port) {
        DatagramSocket socket;
        EXPECT_FALSE(socket.open(Ipv4Endpoint{settings.pbxAddress, port}));
        return socket;
    }
    void sendFrom(DatagramSocket& from, std::span<const std::uint8_t> bytes, std::uint16_t port) {
        ASSERT_EQ(from.sendTo(bytes, Ipv4Endpoint{settings.localAddress, port}).status,
                  DatagramSocket::SendStatus::Sent);
    }

    config::ProviderSettings settings;
    FeedRecorder recorder;
};

TEST_F(UdpTransportTest, BothChannelsCarryBytesEachWay) {
    DatagramSocket cti = pbxSocket(5029);
    DatagramSocket atd = pbxSocket(5001);
    auto transport = makeTransport();
    ASSERT_TRUE(transport->open());

    const std::vector<std::uint8_t> toPbx{0xBA, 0xEC, 0xA0, 0xC4, 1, 2, 3, 4, 0x5B, 0xBC};
    ASSERT_TRUE(transport->write(toPbx, Channel::Cti));
    Ipv4Endpoint source;
    EXPECT_EQ(testing::receiveOne(cti, source), toPbx);
    EXPECT_EQ(source, (Ipv4Endpoint{settings.localAddress, 5029}));

    ASSERT_TRUE(transport->write(std::vector<std::uint8_t>{7, 7}, Channel::Atd));
    EXPECT_EQ(testing::receiveOne(atd, source), (std::vector<std::uint8_t>{7, 7}));
    EXPECT_EQ(source.port, 5001);

    sendFrom(cti, std::vector<std::uint8_t>{1, 2, 3}, 5029);
    sendFrom(atd, std::vector<std::uint8_t>{9}, 5001);
    EXPECT_EQ(recorder.waitFor(Channel::Cti, 3), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(recorder.waitFor(Channel::Atd, 1), (std::vector<std::uint8_t>{9}));
}

TEST_F(UdpTransportTest, FullSizeDatagramAndItsSuccessorBothArrive) {
    DatagramSocket cti = pbxSocket(5029);
    auto transport = makeTransport();
    ASSERT_TRUE(transport->open());
    std::vector<std::uint8_t> first(2048);
    std::iota(first.begin(), first.end(), 0);
    std::vector<std::uint8_t> second(100, 0xEE);
    sendFrom(cti, first, 5029);
    sendFrom(cti, second, 5029);
    std::vector<std::uint8_t> expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(recorder.waitFor(Channel::Cti, expected.size()), expected);
}

TEST_F(UdpTransportTest, DatagramsKeepBeingCollectedWhileTheParseTurnIdles) {
    // The PBX answers a run of requests with one small datagram each. The
    // socket holds only about 256 of them; 600 sent one every 50 us arrive
    // faster than that within one 20 ms idle pause of the parse turn, so the
    // channel thread must keep reading while it pauses.
    DatagramSocket cti = pbxSocket(5029);
    auto transport = makeTransport();
    ASSERT_TRUE(transport->open());
    std::vector<std::uint8_t> expected;
    auto slot = std::chrono::steady_clock::now();
    for (int i = 0; i < 600; ++i) {
        const std::vector<std::uint8_t> datagram(21, static_cast<std::uint8_t>(i));
        slot += std::chrono::microseconds(50);
        while (std::chrono::steady_clock::now() < slot) {
        }
        sendFrom(cti, datagram, 5029);
        expected.insert(expected.end(), datagram.begin(), datagram.end());
    }
    EXPECT_EQ(recorder.waitFor(Channel::Cti, expected.size()), expected);
}

TEST_F(UdpTransportTest, DatagramsFromAnotherAddressAreDropped) {
    DatagramSocket cti = pbxSocket(5029);
    DatagramSocket stranger;
    ASSERT_FALSE(stranger.open(Ipv4Endpoint{settings.pbxAddress + 1, 5029}));
    auto transport = makeTransport();
    ASSERT_TRUE(transport->open());
    sendFrom(stranger, std::vector<std::uint8_t>{0xBA, 0xEC, 0xA0}, 5029);
    sendFrom(cti, std::vector<std::uint8_t>{0x42}, 5029);
    // The PBX's byte arrives alone: the stranger's never reached the feed.
    EXPECT_EQ(recorder.waitFor(Channel::Cti, 1), (std::vector<std::uint8_t>{0x42}));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(recorder.waitFor(Channel::Cti, 1).size(), 1u);
}

TEST_F(UdpTransportTest, PortsFollowSystemAndConnectionMode) {
    struct Case {
        std::uint32_t system;
        std::uint32_t mode;
        bool opens;
        std::uint16_t ctiPort;
    };
    for (const Case c : {Case{0, 0, true, 5029}, Case{1, 0, true, 5029}, Case{1, 1, true, 5030},
                         Case{0, 1, false, 0}}) {
        settings.system = c.system;
        settings.connectionMode = c.mode;
        auto transport = makeTransport();
        ASSERT_EQ(transport->open(), c.opens) << c.system << "/" << c.mode;
        if (!c.opens) {
            EXPECT_FALSE(transport->write(std::vector<std::uint8_t>{1}, Channel::Cti));
            continue;
        }
        DatagramSocket cti = pbxSocket(c.ctiPort);
        ASSERT_TRUE(transport->write(std::vector<std::uint8_t>{5}, Channel::Cti));
        Ipv4Endpoint source;
        EXPECT_EQ(testing::receiveOne(cti, source), (std::vector<std::uint8_t>{5}));
        transport->close();
    }
}

TEST_F(UdpTransportTest, AtdPortInUseFailsTheStartAndReleasesTheCtiPort) {
    DatagramSocket squatter;
    ASSERT_FALSE(squatter.open(Ipv4Endpoint{settings.localAddress, 5001}));
    auto transport = makeTransport();
    EXPECT_FALSE(transport->open());
    EXPECT_FALSE(transport->write(std::vector<std::uint8_t>{1}, Channel::Cti));
    // The CTI socket was closed again: its port can be bound.
    DatagramSocket again;
    EXPECT_FALSE(again.open(Ipv4Endpoint{settings.localAddress, 5029}));
}

TEST_F(UdpTransportTest, CloseIsIdempotentAndStopsTraffic) {
    auto transport = makeTransport();
    ASSERT_TRUE(transport->open());
    transport->close();
    transport->close();
    EXPECT_FALSE(transport->write(std::vector<std::uint8_t>{1}, Channel::Atd));
    ASSERT_TRUE(transport->open()) << "the ports are free again after a close";
}

}  // namespace
}  // namespace velkor::link
