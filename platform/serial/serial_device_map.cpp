#include "platform/serial/serial_device_map.h"

#include <cctype>

namespace velkor::platform {

SerialDeviceMap::SerialDeviceMap() {
    m_devices.emplace("COM1", "/dev/ttyS0");
    m_devices.emplace("COM2", "/dev/ttyS1");
}

bool SerialDeviceMap::setDevice(std::string_view portName, std::string_view devicePath) {
    if (portName.empty() || portName.front() == '/' || devicePath.empty()) {
        return false;
    }
    m_devices[key(portName)] = std::string(devicePath);
    return true;
}

std::optional<std::string> SerialDeviceMap::devicePath(std::string_view portNameOrPath) const {
    if (!portNameOrPath.empty() && portNameOrPath.front() == '/') {
        return std::string(portNameOrPath);
    }
    auto found = m_devices.find(key(portNameOrPath));
    if (found == m_devices.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::string SerialDeviceMap::key(std::string_view portName) {
    std::string upper(portName);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

}  // namespace velkor::platform
