#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/net/datagram_socket.h"
#include "platform/threading/message_thread.h"
#include "provider/link/frame.h"
#include "provider/link/transport/byte_queue.h"

namespace velkor::link {

class UdpTransport;

// The thread of one UDP channel (CTI or ATD). It owns the channel's socket:
// sends what the provider queued, collects datagrams from the PBX, and takes
// its part in the receive pump that feeds the link's receiver.
class CVelkorThread final : public platform::MessageThread {
public:
    // Thread messages.
    static constexpr std::uint32_t kSendPending = 0x8064;
    static constexpr std::uint32_t kParseReceived = 0x806E;

    static constexpr std::size_t kSendRingSize = 6400;
    static constexpr std::size_t kPendingSendLimit = 5000;
    static constexpr std::size_t kAccumulationSize = 20480;

    struct Config {
        Channel channel = Channel::Cti;
        // Local address to bind (0 = any) and the port, bound and addressed.
        std::uint32_t localAddress = 0;
        std::uint16_t port = 0;
        std::uint32_t pbxAddress = 0;
    };

    CVelkorThread(UdpTransport& owner, Config config, platform::Clock& clock);
    ~CVelkorThread() override;

    Channel channel() const { return m_config.channel; }
    bool isOpen() const { return m_open.load(); }

    // Queues bytes for the PBX and asks the thread to send them; false when
    // the socket is not open or the send ring has no room for all of them.
    bool queueSend(std::span<const std::uint8_t> bytes);

    // The receive accumulation, for the pump.
    ByteQueue& received() { return m_received; }

    // Bytes held back after a send that would have blocked.
    std::size_t pendingSendBytes() const { return m_pendingSize.load(); }

    // Sends what the pending buffer holds; called on this thread.
    void flushPending();
    // The parse turn's idle pause, on this thread: datagrams that arrive
    // meanwhile are still collected, so a burst from the PBX does not
    // overflow the socket while the turn waits.
    void idleWait(platform::Duration pause);

protected:
    bool initInstance() override;
    void exitInstance() override;
    void onMessage(const platform::ThreadMessage& message) override;

private:
    void onReadable();
    void takeFromRing();

    UdpTransport& m_owner;
    const Config m_config;
    platform::DatagramSocket m_socket;
    std::atomic<bool> m_open{false};
    ByteQueue m_sendRing{kSendRingSize};
    ByteQueue m_received{kAccumulationSize};
    // Bytes taken from the ring but not yet sent; this thread only.
    std::vector<std::uint8_t> m_pending;
    std::vector<std::uint8_t> m_scratch;
    std::atomic<std::size_t> m_pendingSize{0};
};

}  // namespace velkor::link
