#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "platform/time/timer_queue.h"
#include "provider/config/provider_settings.h"
#include "provider/link/link.h"
#include "provider/link/transport/atd_supervisor.h"
#include "provider/link/transport/transport.h"

namespace velkor::link {

// The running link: settings, the transport they select, the protocol core,
// the 4-second request scan, the single-station loop-back and the
// supervision of the ATD session. Device enumeration starts it and provider
// shutdown stops it.
class LinkService final : private FrameWriter, private AtdHandler {
public:
    static constexpr platform::Duration kLoopbackPoll = std::chrono::milliseconds(10);

    struct Hooks {
        // At every start, before the transport opens: the station model is
        // reset here.
        std::function<void()> onStart;
        // At every stop, after the transport closed: call records are freed.
        std::function<void()> onStop;
        // The ATD session was given up for silence.
        std::function<void()> onAtdSilence;
    };

    // Makes the transport for the settings; tests put their own in.
    using TransportFactory = std::function<std::unique_ptr<Transport>(
        const config::ProviderSettings&, config::SettingsStore&, ByteFeed)>;

    LinkService(config::SettingsStore& store, LinkHandlers handlers,
                platform::TimerQueue& timers, platform::Clock& clock = platform::Clock::real(),
                Hooks hooks = {});
    ~LinkService() override;

    LinkService(const LinkService&) = delete;
    LinkService& operator=(const LinkService&) = delete;

    // Idempotent; false when the transport cannot be opened.
    bool start();
    void stop();
    bool started() const;

    Link& link() { return m_link; }
    AtdSupervisor& atdSupervisor() { return m_supervisor; }
    // The settings read by the last start.
    config::ProviderSettings settings() const;

    void setTransportFactory(TransportFactory factory) { m_factory = std::move(factory); }
    static std::unique_ptr<Transport> makeTransport(const config::ProviderSettings& settings,
                                                    config::SettingsStore& store, ByteFeed feed,
                                                    platform::Clock& clock);

private:
    bool write(std::span<const std::uint8_t> bytes, Channel channel) override;
    void onAtd(const AtdMessage& message) override;

    config::SettingsStore& m_store;
    platform::TimerQueue& m_timers;
    platform::Clock& m_clock;
    Hooks m_hooks;
    AtdHandler* m_atdHandler;
    TransportFactory m_factory;

    mutable std::mutex m_mutex;  // start and stop, and the fields below
    bool m_started = false;
    config::ProviderSettings m_settings;
    std::shared_ptr<Transport> m_transport;
    platform::TimerQueue::TimerId m_scanTimer = 0;
    platform::TimerQueue::TimerId m_loopbackTimer = 0;

    Link m_link;
    AtdSupervisor m_supervisor;
};

}  // namespace velkor::link
