#include "provider/link/transport/velkor_thread.h"

#include <iostream>

#include "provider/link/transport/udp_transport.h"

namespace velkor::link {

using platform::DatagramSocket;
using platform::Ipv4Endpoint;

namespace {
// The PBX sends datagrams of up to 2048 bytes; a larger buffer keeps a longer
// one whole instead of losing its tail.
constexpr std::size_t kDatagramBuffer = 65536;
}  // namespace

CVelkorThread::CVelkorThread(UdpTransport& owner, Config config, platform::Clock& clock)
    : MessageThread(clock), m_owner(owner), m_config(config) {}

CVelkorThread::~CVelkorThread() {
    postQuit();
    join(std::chrono::seconds(30));
}

bool CVelkorThread::initInstance() {
    const Ipv4Endpoint local{m_config.localAddress, m_config.port};
    if (const auto error = m_socket.open(local)) {
        std::cerr << "velkorsp: cannot bind UDP " << local << ": " << error.message() << '\n';
        return false;
    }
    m_pending.clear();
    m_pendingSize = 0;
    m_scratch.resize(kDatagramBuffer);
    watchReadable(m_socket.fd(), [this] { onReadable(); });
    m_open = true;
    return true;
}

void CVelkorThread::exitInstance() {
    m_open = false;
    if (m_socket.isOpen()) unwatch(m_socket.fd());
    m_socket.close();
}

bool CVelkorThread::queueSend(std::span<const std::uint8_t> bytes) {
    if (!m_open) return false;
    if (!m_sendRing.appendWhole(bytes)) return false;
    return post(kSendPending);
}

void CVelkorThread::onMessage(const platform::ThreadMessage& message) {
    switch (message.id) {
        case kSendPending:
            takeFromRing();
            flushPending();
            break;
        case kParseReceived:
            m_owner.pumpTurn(*this);
            break;
        default:
            break;
    }
}

void CVelkorThread::takeFromRing() {
    std::vector<std::uint8_t> bytes;
    m_sendRing.takeAll(bytes);
    if (bytes.empty()) return;
    if (m_pending.size() + bytes.size() > kPendingSendLimit) {
        // The PBX has not taken our datagrams for a while; what does not fit
        // is dropped, and the requests it carried time out.
        std::cerr << "velkorsp: UDP send buffer full, " << bytes.size() << " bytes dropped\n";
        return;
    }
    m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    m_pendingSize = m_pending.size();
}

void CVelkorThread::flushPending() {
    if (m_pending.empty() || !m_socket.isOpen()) return;
    const auto result =
        m_socket.sendTo(m_pending, Ipv4Endpoint{m_config.pbxAddress, m_config.port});
    switch (result.status) {
        case DatagramSocket::SendStatus::Sent:
            m_pending.clear();
            break;
        case DatagramSocket::SendStatus::WouldBlock:
            // Kept; the next pump turn or send message tries again.
            break;
        case DatagramSocket::SendStatus::Error:
            std::cerr << "velkorsp: UDP send failed: " << result.error.message() << '\n';
            m_pending.clear();
            break;
    }
    m_pendingSize = m_pending.size();
}

void CVelkorThread::idleWait(platform::Duration pause) {
    const platform::TimePoint deadline = clock().now() + pause;
    for (platform::TimePoint now = clock().now(); now < deadline; now = clock().now()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        if (m_socket.waitReadable(left).status == DatagramSocket::ReadyStatus::Readable) {
            onReadable();
        }
    }
}

void CVelkorThread::onReadable() {
    for (;;) {
        Ipv4Endpoint source;
        const auto result = m_socket.receiveFrom(m_scratch, source);
        if (result.status != DatagramSocket::ReceiveStatus::Datagram) return;
        // Only the PBX may feed the link; anything else on the port is dropped.
        if (source.address != m_config.pbxAddress) continue;
        const std::size_t taken = m_received.append(std::span(m_scratch.data(), result.size));
        if (taken < result.size) {
            std::cerr << "velkorsp: receive buffer full, " << result.size - taken
                      << " bytes dropped\n";
        }
    }
}

}  // namespace velkor::link
