#include "provider/link/transport/udp_transport.h"

#include <iostream>

#include "provider/link/transport/udp_ports.h"

namespace velkor::link {

UdpTransport::UdpTransport(const config::ProviderSettings& settings, ByteFeed feed,
                           platform::Clock& clock)
    : m_settings(settings), m_feed(std::move(feed)), m_clock(clock) {}

UdpTransport::~UdpTransport() { close(); }

std::unique_ptr<CVelkorThread> UdpTransport::startChannel(Channel channel) {
    const auto port = udpPort(channel, m_settings.system, m_settings.connectionMode);
    if (!port) {
        std::cerr << "velkorsp: single-station mode over the network needs System 1\n";
        return nullptr;
    }
    CVelkorThread::Config config;
    config.channel = channel;
    config.localAddress = m_settings.localAddress;
    config.port = *port;
    config.pbxAddress = m_settings.pbxAddress;
    auto thread = std::make_unique<CVelkorThread>(*this, config, m_clock);
    if (!thread->start() ||
        thread->waitForStart(kStartTimeout) != platform::MessageThread::StartResult::Created) {
        return nullptr;  // the destructor stops the thread
    }
    return thread;
}

bool UdpTransport::open() {
    if (m_cti) return true;
    m_cti = startChannel(Channel::Cti);
    if (!m_cti) return false;
    m_atd = startChannel(Channel::Atd);
    if (!m_atd) {
        m_cti.reset();
        return false;
    }
    // The first parse turn goes to the CTI thread.
    m_cti->post(CVelkorThread::kParseReceived);
    return true;
}

void UdpTransport::close() {
    // Each thread's shutdown closes its socket. The turn may be posted to a
    // thread that has already quit; such a post is refused.
    for (CVelkorThread* t : {m_cti.get(), m_atd.get()}) {
        if (t) t->postQuit();
    }
    for (CVelkorThread* t : {m_cti.get(), m_atd.get()}) {
        if (t) t->join(kStartTimeout);
    }
    m_cti.reset();
    m_atd.reset();
}

CVelkorThread* UdpTransport::thread(Channel channel) {
    return channel == Channel::Atd ? m_atd.get() : m_cti.get();
}

bool UdpTransport::write(std::span<const std::uint8_t> bytes, Channel channel) {
    CVelkorThread* t = thread(channel);
    return t && t->queueSend(bytes);
}

void UdpTransport::pumpTurn(CVelkorThread& holder) {
    // Bytes held back after a blocked send go out on every turn.
    holder.flushPending();

    holder.received().takeAll(m_turnBytes);
    const bool fed = !m_turnBytes.empty();
    const bool inside = m_feed(m_turnBytes, holder.channel());

    CVelkorThread& cti = *m_cti;
    CVelkorThread& atd = *m_atd;
    CVelkorThread* next;
    if (inside && fed) {
        // The rest of the frame is probably in the buffer already.
        next = &holder;
    } else if (&holder == &cti) {
        if (!atd.received().empty()) {
            next = &atd;
        } else {
            holder.idleWait(kIdleWait);
            next = &cti;
        }
    } else {
        if (cti.received().empty()) {
            holder.idleWait(kIdleWait);
            next = &atd;
        } else {
            next = &cti;
        }
    }
    next->post(CVelkorThread::kParseReceived);
}

}  // namespace velkor::link
