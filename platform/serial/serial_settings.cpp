#include "platform/serial/serial_settings.h"

#include <algorithm>
#include <array>

namespace velkor::platform {

namespace {

constexpr std::array<std::uint32_t, 7> kBaudRates{1200, 2400, 4800, 9600, 19200, 38400, 57600};

}  // namespace

std::span<const std::uint32_t> supportedBaudRates() { return kBaudRates; }

bool isSupportedBaudRate(std::uint32_t baudRate) {
    return std::find(kBaudRates.begin(), kBaudRates.end(), baudRate) != kBaudRates.end();
}

}  // namespace velkor::platform
