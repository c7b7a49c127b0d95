#pragma once

#include <memory>

#include "platform/time/clock.h"
#include "provider/config/provider_settings.h"
#include "provider/link/transport/transport.h"
#include "provider/link/transport/velkor_thread.h"

namespace velkor::link {

// The link over UDP: one thread and socket per channel, CTI on 5029 (5030 in
// single-station mode of the small system) and ATD on 5001.
//
// Received bytes collect in each channel's buffer; a single parse turn
// passes between the two threads by message, so the receiver is only ever
// fed by one of them. While both are idle the turn polls every 20 ms.
class UdpTransport final : public Transport {
public:
    static constexpr platform::Duration kStartTimeout = std::chrono::milliseconds(5000);
    static constexpr platform::Duration kIdleWait = std::chrono::milliseconds(20);

    UdpTransport(const config::ProviderSettings& settings, ByteFeed feed,
                 platform::Clock& clock = platform::Clock::real());
    ~UdpTransport() override;

    bool open() override;
    void close() override;
    bool write(std::span<const std::uint8_t> bytes, Channel channel) override;

    // Runs the parse turn on `thread`, which holds it; then passes it on.
    void pumpTurn(CVelkorThread& thread);

    CVelkorThread* thread(Channel channel);

private:
    std::unique_ptr<CVelkorThread> startChannel(Channel channel);

    const config::ProviderSettings m_settings;
    ByteFeed m_feed;
    platform::Clock& m_clock;
    std::unique_ptr<CVelkorThread> m_cti;
    std::unique_ptr<CVelkorThread> m_atd;
    std::vector<std::uint8_t> m_turnBytes;  // used by the turn holder only
};

}  // namespace velkor::link
