#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

namespace velkor::platform {

// Line settings of a port. The frame format is fixed: 8 data bits, no parity,
// one stop bit, binary, no flow control; only the rate is chosen.
struct SerialSettings {
    std::uint32_t baudRate = 57600;
    // When set, a wait for events also reports SerialEvent::EventChar once this
    // byte has arrived (the single-station mode ends its messages with ETX).
    std::optional<std::uint8_t> eventChar;
    // Upper bound for one write() to hand every byte to the driver.
    std::chrono::milliseconds writeTimeout{1000};
};

// The rates the PBX interfaces run at, lowest first.
std::span<const std::uint32_t> supportedBaudRates();

bool isSupportedBaudRate(std::uint32_t baudRate);

}  // namespace velkor::platform
