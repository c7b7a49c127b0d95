#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry/registry.h"

namespace velkor::config {

// The provider's key under HKEY_LOCAL_MACHINE.
inline constexpr std::string_view kProviderKey = "Software\\Microsoft\\PCApplication\\VELKORSP";

// Bits that select values for readSettings and writeSettings. The first
// seven are the provider's own; the last two carry what a Linux link needs
// besides (the address to bind and the serial device paths).
enum SettingBits : std::uint32_t {
    kCommunicationMethod = 0x01,
    kConnectionMode = 0x02,
    kPbxAddress = 0x04,
    kPbxPort = 0x08,
    kBaudRate = 0x10,
    kAtdEnable = 0x20,
    kSystem = 0x40,
    kLocalAddress = 0x80,
    kSerialDevices = 0x100,
    kAllSettings = 0x1FF,
};

enum class CommunicationMethod : std::uint32_t {
    Com1 = 0,
    Com2 = 1,
    Network = 2,
};

struct ProviderSettings {
    // 0 = serial COM1, 1 = serial COM2, 2 = network (UDP).
    std::uint32_t communicationMethod = 0;
    // 0 = every station, binary framing; 1 = single-station mode, STX/ETX.
    std::uint32_t connectionMode = 0;
    // IPv4 addresses with the first octet in the most significant byte.
    std::uint32_t pbxAddress = 0;
    // Shown and stored only: the link's ports are fixed.
    std::uint32_t pbxPort = 5029;
    std::uint32_t baudRate = 57600;
    // 1 = the small system (model code 24), 0 = the larger ones.
    std::uint32_t system = 0;
    // Open the ATD channel after enumeration.
    std::uint32_t atdEnable = 0;
    // Address the link binds its sockets to; 0 = any.
    std::uint32_t localAddress = 0;
    std::string com1Device = "/dev/ttyS0";
    std::string com2Device = "/dev/ttyS1";
};

// The PBX software version text as the provider last saw it.
inline constexpr std::string_view kUnknownVersion = "Unknown";
// Only this many bytes of MPVersion are read back.
inline constexpr std::size_t kVersionTextLimit = 29;

// Reads and writes the provider's values in the registry.
class SettingsStore {
public:
    explicit SettingsStore(platform::Registry registry = platform::Registry::standard());

    // Reads the values selected by `mask` into `settings`. A value that is
    // missing or of the wrong type takes its default, which is written back
    // so that the registry shows what the provider uses.
    void read(ProviderSettings& settings, std::uint32_t mask);
    ProviderSettings readAll();
    // Writes the values selected by `mask`; false when the registry cannot
    // be written.
    bool write(const ProviderSettings& settings, std::uint32_t mask);

    // MPVersion, created with "Unknown" when missing.
    std::string readVersionText();
    bool writeVersionText(std::string_view text);

    platform::Registry& registry() { return m_registry; }

private:
    platform::Registry m_registry;
};

}  // namespace velkor::config
