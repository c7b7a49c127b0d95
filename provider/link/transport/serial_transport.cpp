#include "provider/link/transport/serial_transport.h"

#include <array>
#include <iostream>

namespace velkor::link {

using platform::SerialEvent;
using platform::SerialPort;

SerialTransport::SerialTransport(const config::ProviderSettings& settings,
                                 config::SettingsStore& store, ByteFeed feed)
    : m_settings(settings), m_store(store), m_feed(std::move(feed)) {}

SerialTransport::~SerialTransport() { close(); }

bool SerialTransport::open() {
    if (m_running) return true;
    const char* portName = m_settings.communicationMethod == 1 ? "COM2" : "COM1";

    m_baudRate = m_settings.baudRate;
    if (m_settings.connectionMode == 1 && m_baudRate != kSingleStationBaudRate) {
        // The PBX's single-station interface runs at 1200 baud only; the
        // setting is corrected so the configuration shows what is used.
        m_baudRate = kSingleStationBaudRate;
        config::ProviderSettings forced = m_settings;
        forced.baudRate = kSingleStationBaudRate;
        m_store.write(forced, config::kBaudRate);
    }

    platform::SerialDeviceMap devices;
    devices.setDevice("COM1", m_settings.com1Device);
    devices.setDevice("COM2", m_settings.com2Device);

    platform::SerialSettings lineSettings;
    lineSettings.baudRate = m_baudRate;
    if (m_settings.connectionMode == 1) lineSettings.eventChar = kEtx;

    if (const auto error = m_port.open(portName, lineSettings, devices)) {
        std::cerr << "velkorsp: cannot open " << portName << " ("
                  << devices.devicePath(portName).value_or("?") << "): " << error.message()
                  << '\n';
        m_port.close();
        return false;
    }
    m_running = true;
    m_reader = std::thread([this] { readerMain(); });
    // A pseudo-terminal or an adapter without modem lines refuses DTR; the
    // link works without it.
    m_port.setDtr(true);
    m_port.setRts(true);
    return true;
}

void SerialTransport::close() {
    if (m_running.exchange(false)) {
        m_port.setEventMask(0);  // ends the reader's wait
    }
    if (m_reader.joinable()) m_reader.join();
    if (m_port.isOpen()) {
        m_port.setDtr(false);
        m_port.purge();
        m_port.close();
    }
}

bool SerialTransport::write(std::span<const std::uint8_t> bytes, Channel) {
    if (!m_port.isOpen()) return false;
    return m_port.write(bytes).ok();
}

void SerialTransport::readerMain() {
    std::array<std::uint8_t, kReadChunk> chunk;
    while (m_running) {
        const auto waited = m_port.waitEvent();
        if (waited.status == SerialPort::WaitStatus::Failed) break;
        if (waited.status != SerialPort::WaitStatus::Events) continue;
        if (!(waited.events & SerialEvent::ReceiveChar)) continue;
        for (;;) {
            const auto read = m_port.read(chunk);
            if (!read.ok() || read.count == 0) break;
            m_feed(std::span(chunk.data(), read.count), Channel::Serial);
        }
    }
}

}  // namespace velkor::link
