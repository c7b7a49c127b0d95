#include "provider/link/transport/link_service.h"

#include "provider/link/requests.h"
#include "provider/link/transport/serial_transport.h"
#include "provider/link/transport/udp_transport.h"

namespace velkor::link {

using platform::TimerQueue;

namespace {

LinkHandlers withAtd(LinkHandlers handlers, AtdHandler* atd) {
    handlers.atd = atd;
    return handlers;
}

}  // namespace

LinkService::LinkService(config::SettingsStore& store, LinkHandlers handlers,
                         TimerQueue& timers, platform::Clock& clock, Hooks hooks)
    : m_store(store),
      m_timers(timers),
      m_clock(clock),
      m_hooks(std::move(hooks)),
      m_atdHandler(handlers.atd),
      m_link(*this, withAtd(handlers, this)),
      m_supervisor(timers, {[this](std::uint16_t code) { m_link.sendAtd(code, {}); },
                            [this] {
                                if (m_hooks.onAtdSilence) m_hooks.onAtdSilence();
                            },
                            {}}) {}

LinkService::~LinkService() { stop(); }

std::unique_ptr<Transport> LinkService::makeTransport(const config::ProviderSettings& settings,
                                                      config::SettingsStore& store, ByteFeed feed,
                                                      platform::Clock& clock) {
    switch (settings.communicationMethod) {
        case 0:
        case 1:
            return std::make_unique<SerialTransport>(settings, store, std::move(feed));
        case 2:
            return std::make_unique<UdpTransport>(settings, std::move(feed), clock);
        default:
            return nullptr;
    }
}

bool LinkService::start() {
    std::lock_guard lock(m_mutex);
    if (m_started) return true;

    m_settings = m_store.readAll();
    if (m_hooks.onStart) m_hooks.onStart();

    ByteFeed feed = [this](std::span<const std::uint8_t> bytes, Channel channel) {
        return m_link.feed(bytes, channel);
    };
    std::unique_ptr<Transport> transport =
        m_factory ? m_factory(m_settings, m_store, std::move(feed))
                  : makeTransport(m_settings, m_store, std::move(feed), m_clock);

    const Framing framing = m_settings.connectionMode == 1 ? Framing::StxEtx : Framing::Binary;
    // The core is ready before the first byte can arrive.
    m_link.start(framing);
    if (!transport || !transport->open()) {
        m_link.stop();
        return false;
    }
    m_transport = std::move(transport);

    m_scanTimer = m_timers.setEvent(RequestTracker::kScanPeriod, RequestTracker::kScanPeriod,
                                    [this](TimerQueue::TimerId) { m_link.scan(m_clock.now()); },
                                    TimerQueue::Kind::Periodic);
    if (framing == Framing::StxEtx) {
        m_loopbackTimer = m_timers.setEvent(
            kLoopbackPoll, kLoopbackPoll,
            [this](TimerQueue::TimerId) { m_link.runLoopbacks(m_clock.now()); },
            TimerQueue::Kind::Periodic);
    }
    m_started = true;
    return true;
}

void LinkService::stop() {
    std::shared_ptr<Transport> transport;
    TimerQueue::TimerId scan;
    TimerQueue::TimerId loopback;
    {
        std::lock_guard lock(m_mutex);
        if (!m_started) return;
        m_started = false;
        transport = std::move(m_transport);
        scan = m_scanTimer;
        loopback = m_loopbackTimer;
        m_scanTimer = m_loopbackTimer = 0;
    }
    m_supervisor.stop();
    // Timers first: a kill waits for a running callback, which may send.
    if (scan) m_timers.killEvent(scan);
    if (loopback) m_timers.killEvent(loopback);
    transport->close();
    m_link.stop();
    if (m_hooks.onStop) m_hooks.onStop();
}

bool LinkService::started() const {
    std::lock_guard lock(m_mutex);
    return m_started;
}

config::ProviderSettings LinkService::settings() const {
    std::lock_guard lock(m_mutex);
    return m_settings;
}

bool LinkService::write(std::span<const std::uint8_t> bytes, Channel channel) {
    std::shared_ptr<Transport> transport;
    {
        std::lock_guard lock(m_mutex);
        transport = m_transport;
    }
    return transport && transport->write(bytes, channel);
}

void LinkService::onAtd(const AtdMessage& message) {
    m_supervisor.onAtdReceived(message.code);
    if (m_atdHandler) m_atdHandler->onAtd(message);
}

}  // namespace velkor::link
