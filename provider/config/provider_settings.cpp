#include "provider/config/provider_settings.h"

#include <array>

#include "platform/text/utf8.h"

namespace velkor::config {

using platform::Hive;

namespace {

struct DwordSetting {
    std::uint32_t bit;
    const char* name;
    std::uint32_t ProviderSettings::*field;
};

struct TextSetting {
    std::uint32_t bit;
    const char* name;
    std::string ProviderSettings::*field;
};

// Every value of the provider key; the defaults are those of a
// default-constructed ProviderSettings.
constexpr std::array<DwordSetting, 8> kDwordSettings{{
    {kCommunicationMethod, "CommunicationMethod", &ProviderSettings::communicationMethod},
    {kConnectionMode, "ConnectionMode", &ProviderSettings::connectionMode},
    {kPbxAddress, "VELKORIPAddress", &ProviderSettings::pbxAddress},
    {kPbxPort, "VELKORIPPort", &ProviderSettings::pbxPort},
    {kBaudRate, "BaudRate", &ProviderSettings::baudRate},
    {kAtdEnable, "ATDEnable", &ProviderSettings::atdEnable},
    {kSystem, "System", &ProviderSettings::system},
    {kLocalAddress, "LocalIPAddress", &ProviderSettings::localAddress},
}};

constexpr std::array<TextSetting, 2> kTextSettings{{
    {kSerialDevices, "COM1Device", &ProviderSettings::com1Device},
    {kSerialDevices, "COM2Device", &ProviderSettings::com2Device},
}};

constexpr const char* kVersionName = "MPVersion";

}  // namespace

SettingsStore::SettingsStore(platform::Registry registry) : m_registry(std::move(registry)) {}

void SettingsStore::read(ProviderSettings& settings, std::uint32_t mask) {
    const ProviderSettings defaults;
    for (const auto& s : kDwordSettings) {
        if (!(mask & s.bit)) continue;
        if (auto value = m_registry.readDword(Hive::LocalMachine, kProviderKey, s.name)) {
            settings.*s.field = *value;
        } else {
            settings.*s.field = defaults.*s.field;
            m_registry.writeDword(Hive::LocalMachine, kProviderKey, s.name, defaults.*s.field);
        }
    }
    for (const auto& s : kTextSettings) {
        if (!(mask & s.bit)) continue;
        if (auto value = m_registry.readString(Hive::LocalMachine, kProviderKey, s.name)) {
            settings.*s.field = std::move(*value);
        } else {
            settings.*s.field = defaults.*s.field;
            m_registry.writeString(Hive::LocalMachine, kProviderKey, s.name, defaults.*s.field);
        }
    }
}

ProviderSettings SettingsStore::readAll() {
    ProviderSettings settings;
    read(settings, kAllSettings);
    return settings;
}

bool SettingsStore::write(const ProviderSettings& settings, std::uint32_t mask) {
    bool ok = true;
    for (const auto& s : kDwordSettings) {
        if (mask & s.bit) {
            ok = m_registry.writeDword(Hive::LocalMachine, kProviderKey, s.name,
                                       settings.*s.field) && ok;
        }
    }
    for (const auto& s : kTextSettings) {
        if (mask & s.bit) {
            ok = m_registry.writeString(Hive::LocalMachine, kProviderKey, s.name,
                                        settings.*s.field) && ok;
        }
    }
    return ok;
}

std::string SettingsStore::readVersionText() {
    if (auto text = m_registry.readString(Hive::LocalMachine, kProviderKey, kVersionName)) {
        return std::string(platform::utf8Prefix(*text, kVersionTextLimit));
    }
    m_registry.writeString(Hive::LocalMachine, kProviderKey, kVersionName, kUnknownVersion);
    return std::string(kUnknownVersion);
}

bool SettingsStore::writeVersionText(std::string_view text) {
    return m_registry.writeString(Hive::LocalMachine, kProviderKey, kVersionName, text);
}

}  // namespace velkor::config
