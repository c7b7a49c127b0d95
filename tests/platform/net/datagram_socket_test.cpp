#include "platform/net/datagram_socket.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <numeric>
#include <vector>

namespace velkor::platform {
namespace {

using std::chrono::milliseconds;
using ReceiveStatus = DatagramSocket::ReceiveStatus;
using SendStatus = DatagramSocket::SendStatus;
using ReadyStatus = DatagramSocket::ReadyStatus;

// Upper bound for a datagram to cross loopback on a loaded machine.
constexpr milliseconds kArrival{5000};

constexpr std::uint32_t kLoopback1 = 0x7F000001;
constexpr std::uint32_t kLoopback2 = 0x7F000002;
constexpr std::uint32_t kLoopback3 = 0x7F000003;

std::error_code sys(int errnoValue) { return {errnoValue, std::system_category()}; }

std::vector<std::uint8_t> pattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 31);
    }
    return bytes;
}

// Sockets bound to ephemeral ports, so that tests can run side by side.
class DatagramSocketTest : public ::testing::Test {
protected:
    static void bind(DatagramSocket& socket, std::uint32_t address) {
        const std::error_code error = socket.open({address, 0});
        ASSERT_FALSE(error) << formatIpv4Address(address) << ": " << error.message();
        ASSERT_TRUE(socket.localEndpoint());
    }

    // Where datagrams for `socket` go: its port on `address`.
    static Ipv4Endpoint at(const DatagramSocket& socket, std::uint32_t address = kLoopback1) {
        return {address, socket.localEndpoint()->port};
    }

    // Waits for the next datagram and takes it.
    static DatagramSocket::ReceiveResult receive(DatagramSocket& socket,
                                                 std::vector<std::uint8_t>& buffer,
                                                 Ipv4Endpoint& source) {
        const DatagramSocket::ReadyResult ready = socket.waitReadable(kArrival);
        EXPECT_EQ(ready.status, ReadyStatus::Readable) << ready.error.message();
        return socket.receiveFrom(buffer, source);
    }
};

TEST_F(DatagramSocketTest, DatagramArrivesWithItsSource) {
    DatagramSocket sender;
    DatagramSocket receiver;
    ASSERT_NO_FATAL_FAILURE(bind(sender, kLoopback1));
    ASSERT_NO_FATAL_FAILURE(bind(receiver, kLoopback1));

    const std::vector<std::uint8_t> sent{0xBA, 0xEC, 0x01, 0x00, 0xBC};
    const DatagramSocket::SendResult result = sender.sendTo(sent, at(receiver));
    ASSERT_EQ(result.status, SendStatus::Sent) << result.error.message();

    std::vector<std::uint8_t> buffer(2048);
    Ipv4Endpoint source;
    const DatagramSocket::ReceiveResult got = receive(receiver, buffer, source);
    ASSERT_EQ(got.status, ReceiveStatus::Datagram) << got.error.message();
    EXPECT_EQ(got.size, sent.size());
    EXPECT_EQ(got.datagramSize, sent.size());
    EXPECT_FALSE(got.truncated);
    buffer.resize(got.size);
    EXPECT_EQ(buffer, sent);
    EXPECT_EQ(source, *sender.localEndpoint());
}

TEST_F(DatagramSocketTest, SourceAddressIsTheSendersLoopbackAddress) {
    struct Case {
        std::uint32_t receiverBind;
        std::uint32_t receiverAddress;
        std::uint32_t senderBind;
    };
    const Case cases[] = {
        {kLoopback1, kLoopback1, kLoopback2},
        {kLoopback2, kLoopback2, kLoopback1},
        {kLoopback1, kLoopback1, kLoopback3},
        {Ipv4Endpoint::kAny, kLoopback2, kLoopback3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(formatIpv4Address(c.senderBind) + " -> " +
                     formatIpv4Address(c.receiverAddress));
        DatagramSocket sender;
        DatagramSocket receiver;
        ASSERT_NO_FATAL_FAILURE(bind(sender, c.senderBind));
        ASSERT_NO_FATAL_FAILURE(bind(receiver, c.receiverBind));

        const std::vector<std::uint8_t> sent{1, 2, 3};
        ASSERT_EQ(sender.sendTo(sent, at(receiver, c.receiverAddress)).status, SendStatus::Sent);
        std::vector<std::uint8_t> buffer(2048);
        Ipv4Endpoint source;
        ASSERT_EQ(receive(receiver, buffer, source).status, ReceiveStatus::Datagram);
        EXPECT_EQ(source.address, c.senderBind);
        EXPECT_EQ(source.port, sender.localEndpoint()->port);
    }
}

TEST_F(DatagramSocketTest, DatagramsKeepTheirBoundaries) {
    DatagramSocket sender;
    DatagramSocket receiver;
    ASSERT_NO_FATAL_FAILURE(bind(sender, kLoopback1));
    ASSERT_NO_FATAL_FAILURE(bind(receiver, kLoopback1));

    const std::vector<std::uint8_t> full = pattern(2048, 1);
    const std::vector<std::uint8_t> small = pattern(100, 99);
    ASSERT_EQ(sender.sendTo(full, at(receiver)).status, SendStatus::Sent);
    ASSERT_EQ(sender.sendTo(small, at(receiver)).status, SendStatus::Sent);
    ASSERT_EQ(sender.sendTo({}, at(receiver)).status, SendStatus::Sent);

    std::vector<std::uint8_t> buffer(2048);
    Ipv4Endpoint source;
    DatagramSocket::ReceiveResult got = receive(receiver, buffer, source);
    ASSERT_EQ(got.status, ReceiveStatus::Datagram);
    ASSERT_EQ(got.size, 2048u);
    EXPECT_FALSE(got.truncated);
    EXPECT_EQ(buffer, full);

    got = receive(receiver, buffer, source);
    ASSERT_EQ(got.status, ReceiveStatus::Datagram);
    ASSERT_EQ(got.size, 100u);
    EXPECT_TRUE(std::equal(small.begin(), small.end(), buffer.begin()));

    // An empty datagram is a datagram, not "nothing".
    got = receive(receiver, buffer, source);
    EXPECT_EQ(got.status, ReceiveStatus::Datagram);
    EXPECT_EQ(got.size, 0u);

    EXPECT_EQ(receiver.receiveFrom(buffer, source).status, ReceiveStatus::Nothing);
}

TEST_F(DatagramSocketTest, LongerDatagramIsCutAndSaysSo) {
    DatagramSocket sender;
    DatagramSocket receiver;
    ASSERT_NO_FATAL_FAILURE(bind(sender, kLoopback1));
    ASSERT_NO_FATAL_FAILURE(bind(receiver, kLoopback1));

    const std::vector<std::uint8_t> sent = pattern(3000, 7);
    ASSERT_EQ(sender.sendTo(sent, at(receiver)).status, SendStatus::Sent);

    std::vector<std::uint8_t> buffer(2048);
    Ipv4Endpoint source;
    const DatagramSocket::ReceiveResult got = receive(receiver, buffer, source);
    ASSERT_EQ(got.status, ReceiveStatus::Datagram);
    EXPECT_EQ(got.size, 2048u);
    EXPECT_EQ(got.datagramSize, 3000u);
    EXPECT_TRUE(got.truncated);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), sent.begin()));
    // The rest of the datagram is gone, not left for the next read.
    EXPECT_EQ(receiver.receiveFrom(buffer, source).status, ReceiveStatus::Nothing);
}

TEST_F(DatagramSocketTest, EmptySocketHasNothingAndIsNotReadable) {
    DatagramSocket socket;
    ASSERT_NO_FATAL_FAILURE(bind(socket, kLoopback1));
    std::vector<std::uint8_t> buffer(2048);
    Ipv4Endpoint source{0x01020304, 9};
    const DatagramSocket::ReceiveResult got = socket.receiveFrom(buffer, source);
    EXPECT_EQ(got.status, ReceiveStatus::Nothing);
    EXPECT_FALSE(got.error);
    EXPECT_EQ(source, (Ipv4Endpoint{0x01020304, 9})) << "source changed without a datagram";

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(socket.waitReadable(milliseconds(40)).status, ReadyStatus::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(40));
}

TEST_F(DatagramSocketTest, DescriptorPollsReadableWhenADatagramWaits) {
    DatagramSocket sender;
    DatagramSocket receiver;
    ASSERT_NO_FATAL_FAILURE(bind(sender, kLoopback1));
    ASSERT_NO_FATAL_FAILURE(bind(receiver, kLoopback1));

    pollfd ready{receiver.fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&ready, 1, 0), 0);
    ASSERT_EQ(sender.sendTo(std::vector<std::uint8_t>{42}, at(receiver)).status, SendStatus::Sent);
    ASSERT_EQ(::poll(&ready, 1, static_cast<int>(kArrival.count())), 1);
    EXPECT_TRUE(ready.revents & POLLIN);
}

TEST_F(DatagramSocketTest, BindFailuresAreReported) {
    DatagramSocket first;
    ASSERT_NO_FATAL_FAILURE(bind(first, kLoopback1));
    const std::uint16_t port = first.localEndpoint()->port;

    struct Case {
        Ipv4Endpoint local;
        std::error_code expected;
    };
    const Case cases[] = {
        {{kLoopback1, port}, sys(EADDRINUSE)},
        {{Ipv4Endpoint::kAny, port}, sys(EADDRINUSE)},
        // TEST-NET-1: no interface of this host carries it; nothing is sent.
        {{0xC0000201, 0}, sys(EADDRNOTAVAIL)},
    };
    for (const Case& c : cases) {
        DatagramSocket socket;
        const std::error_code error = socket.open(c.local);
        EXPECT_EQ(error, c.expected) << c.local << ": " << error.message();
        EXPECT_FALSE(socket.isOpen());
        EXPECT_EQ(socket.fd(), -1);
    }
    EXPECT_EQ(first.open({kLoopback1, 0}), NetError::AlreadyOpen);
    EXPECT_TRUE(first.isOpen());
}

TEST_F(DatagramSocketTest, ClosedPortCanBeBoundAgain) {
    DatagramSocket first;
    ASSERT_NO_FATAL_FAILURE(bind(first, kLoopback1));
    const Ipv4Endpoint local = *first.localEndpoint();
    first.close();

    DatagramSocket again;
    EXPECT_FALSE(again.open(local));
    EXPECT_EQ(again.localEndpoint(), local);
}

TEST_F(DatagramSocketTest, SharingAPortNeedsReuseOnBothSockets) {
    DatagramSocket::Options reuse;
    reuse.reuseAddress = true;
    DatagramSocket first;
    ASSERT_FALSE(first.open({kLoopback1, 0}, reuse));
    const Ipv4Endpoint local = *first.localEndpoint();

    DatagramSocket plain;
    EXPECT_EQ(plain.open(local), sys(EADDRINUSE));
    DatagramSocket shared;
    EXPECT_FALSE(shared.open(local, reuse));
}

TEST_F(DatagramSocketTest, RefusedSendsAreErrorsNotWouldBlock) {
    DatagramSocket socket;
    ASSERT_NO_FATAL_FAILURE(bind(socket, kLoopback1));
    struct Case {
        const char* what;
        std::size_t size;
        Ipv4Endpoint destination;
        std::error_code expected;
    };
    const Case cases[] = {
        {"port 0", 10, {kLoopback1, 0}, sys(EINVAL)},
        {"longer than a UDP datagram",
         70000,
         {kLoopback1, socket.localEndpoint()->port},
         sys(EMSGSIZE)},
    };
    for (const Case& c : cases) {
        const DatagramSocket::SendResult result =
            socket.sendTo(std::vector<std::uint8_t>(c.size), c.destination);
        EXPECT_EQ(result.status, SendStatus::Error) << c.what;
        EXPECT_EQ(result.error, c.expected) << c.what << ": " << result.error.message();
    }
}

// Loopback hands each datagram to the receiving socket within sendto() and
// frees the sender's buffer at once, so a full send buffer cannot be produced
// there even with SO_SNDBUF at its minimum. The errno mapping that sendTo()
// uses is therefore checked on its own.
TEST(DatagramSendFailureTest, FullSendBufferIsWouldBlockAndTheRestErrors) {
    struct Case {
        int errnoValue;
        SendStatus status;
    };
    const Case cases[] = {
        {EAGAIN, SendStatus::WouldBlock}, {EWOULDBLOCK, SendStatus::WouldBlock},
        {ENOBUFS, SendStatus::Error},     {ECONNREFUSED, SendStatus::Error},
        {EMSGSIZE, SendStatus::Error},    {EACCES, SendStatus::Error},
        {ENETUNREACH, SendStatus::Error},
    };
    for (const Case& c : cases) {
        const DatagramSocket::SendResult result = DatagramSocket::sendFailure(c.errnoValue);
        EXPECT_EQ(result.status, c.status) << c.errnoValue;
        EXPECT_EQ(result.error, sys(c.errnoValue));
    }
}

TEST(DatagramSocketClosedTest, EveryCallReportsNotOpen) {
    DatagramSocket never;
    DatagramSocket closed;
    ASSERT_FALSE(closed.open({kLoopback1, 0}));
    closed.close();
    closed.close();
    for (DatagramSocket* socket : {&never, &closed}) {
        std::vector<std::uint8_t> buffer(16);
        Ipv4Endpoint source;
        EXPECT_FALSE(socket->isOpen());
        EXPECT_EQ(socket->fd(), -1);
        EXPECT_EQ(socket->localEndpoint(), std::nullopt);
        const DatagramSocket::SendResult sent = socket->sendTo(buffer, {kLoopback1, 9});
        EXPECT_EQ(sent.status, SendStatus::Error);
        EXPECT_EQ(sent.error, NetError::NotOpen);
        const DatagramSocket::ReceiveResult got = socket->receiveFrom(buffer, source);
        EXPECT_EQ(got.status, ReceiveStatus::Error);
        EXPECT_EQ(got.error, NetError::NotOpen);
        EXPECT_EQ(socket->waitReadable(milliseconds(10)).error, NetError::NotOpen);
        EXPECT_EQ(socket->setSendBufferSize(4096), NetError::NotOpen);
        EXPECT_EQ(socket->setReceiveBufferSize(4096), NetError::NotOpen);
    }
}

TEST_F(DatagramSocketTest, MovedSocketKeepsItsBindingAndTheOldOneIsEmpty) {
    DatagramSocket sender;
    DatagramSocket original;
    ASSERT_NO_FATAL_FAILURE(bind(sender, kLoopback1));
    ASSERT_NO_FATAL_FAILURE(bind(original, kLoopback1));
    const Ipv4Endpoint local = *original.localEndpoint();

    DatagramSocket moved(std::move(original));
    EXPECT_FALSE(original.isOpen());
    EXPECT_EQ(moved.localEndpoint(), local);

    DatagramSocket assigned;
    ASSERT_NO_FATAL_FAILURE(bind(assigned, kLoopback2));
    assigned = std::move(moved);
    EXPECT_FALSE(moved.isOpen());
    ASSERT_EQ(assigned.localEndpoint(), local);

    ASSERT_EQ(sender.sendTo(std::vector<std::uint8_t>{5}, local).status, SendStatus::Sent);
    std::vector<std::uint8_t> buffer(8);
    Ipv4Endpoint source;
    EXPECT_EQ(receive(assigned, buffer, source).status, ReceiveStatus::Datagram);
}

}  // namespace
}  // namespace velkor::platform
