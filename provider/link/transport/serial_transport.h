#pragma once

#include <atomic>
#include <thread>

#include "platform/serial/serial_port.h"
#include "provider/config/provider_settings.h"
#include "provider/link/transport/transport.h"

namespace velkor::link {

// The link over a serial port: both channels share one byte stream and the
// frame's type byte tells them apart. A reader thread waits for received
// characters and feeds them in reads of at most 80 bytes.
class SerialTransport final : public Transport {
public:
    static constexpr std::size_t kReadChunk = 80;
    // Single-station mode runs at this rate only.
    static constexpr std::uint32_t kSingleStationBaudRate = 1200;
    static constexpr std::uint8_t kEtx = 0x03;

    // `store` receives the forced rate of single-station mode.
    SerialTransport(const config::ProviderSettings& settings, config::SettingsStore& store,
                    ByteFeed feed);
    ~SerialTransport() override;

    bool open() override;
    void close() override;
    bool write(std::span<const std::uint8_t> bytes, Channel channel) override;

    // The rate the port was opened at.
    std::uint32_t baudRate() const { return m_baudRate; }

private:
    void readerMain();

    config::ProviderSettings m_settings;
    config::SettingsStore& m_store;
    ByteFeed m_feed;
    platform::SerialPort m_port;
    std::uint32_t m_baudRate = 0;
    std::atomic<bool> m_running{false};
    std::thread m_reader;
};

}  // namespace velkor::link
