#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace velkor::platform {

// Maps the port names the system uses ("COM1", "COM2") to device files.
// COM1 is /dev/ttyS0 and COM2 /dev/ttyS1 until the caller names other devices
// (a USB adapter, say, from the provider's settings). Names compare without
// regard to case, as Windows port names do.
class SerialDeviceMap {
public:
    SerialDeviceMap();

    // Sets the device file for a port name. Refused (false) for an empty name,
    // a name that is itself a path, or an empty path.
    bool setDevice(std::string_view portName, std::string_view devicePath);

    // The device file for a port name; a name that starts with '/' is already
    // a path and comes back unchanged. Unknown names give nullopt.
    std::optional<std::string> devicePath(std::string_view portNameOrPath) const;

private:
    static std::string key(std::string_view portName);

    std::map<std::string, std::string> m_devices;
};

}  // namespace velkor::platform
